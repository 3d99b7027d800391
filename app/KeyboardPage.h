#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

#include "editors/CKeySetControlUI.h"
#include "editors/CMacroControlUI.h"
#include "profile/ProfileList.h"
#include "profile/ProfileOperations.h"
#include "ui/UIDefs.h"

namespace talyx {

class CComboUI;
class CDevicePageUI;
class CKestravaKeyboardDevice;
class LightingPanel;
class WindowImplBase;

// The keyboard's page half: binds the page's controls to the keyboard core. It shows
// what the core holds (key captions, the profile bar, lighting values, settings) and
// passes the user's changes to it. Runs on the user-interface thread.
class KeyboardPage : public QObject,
                     public IProfileListView,
                     public IProfilePrompt,
                     public CKeySetControlUI::Host,
                     public CMacroControlUI::Host {
    Q_OBJECT
public:
    KeyboardPage(CDevicePageUI* page, CKestravaKeyboardDevice* device, WindowImplBase* window);
    ~KeyboardPage() override;

    // The page start: the profile list, then the keyboard's start with the selected
    // profile, which runs on the command worker; `done` gets its answer once the page has
    // been refreshed.
    void Start(std::function<void(int)> done = {});
    // Shows the core's state: captions, profile bar, lighting values and settings.
    void Refresh();
    // A notification from a control of this page. True when it was this page's.
    bool HandleNotify(TNotifyUI& msg);
    ProfileList& Profiles() { return *m_profiles; }
    // Which function the page shows: 0 keys, 1 lighting, 2 macros, 3 settings.
    void ShowFunction(int function);

    // A choice of a pop-up menu that the main window passes on; true when it was this
    // page's (the macro page's context menu).
    bool HandleMenuChoice(const QString& name);
    CKeySetControlUI* KeySet() const { return m_keySet; }
    CMacroControlUI* Macros() const { return m_macros; }

    // CKeySetControlUI::Host.
    bool storeAssignment(uint32_t code) override;
    void assignmentsChanged() override;
    void writeToKeyboard(std::function<void(int macros, int result)> done) override;
    void showMessage(const QString& textKey, const int* value) override;
    // CMacroControlUI::Host.
    void libraryChanged() override;
    int usesInCurrentProfile(size_t index) override;
    void profilesRenumbered(const std::vector<std::string>& changed) override;
    bool installHook(int mode, std::string& backend, std::string& why) override;
    void uninstallHook() override;
    void setRecordingLock(bool locked) override;
    void captureKeys(bool on) override;

    // IProfileListView.
    void OnItemsReset(const std::vector<std::string>& names) override;
    void OnItemAppended(const std::string& name) override;
    void OnItemRemoved(int index) override;
    void OnItemRenamed(int index, const std::string& name) override;
    void OnItemSelected(int index, const std::string& name, bool raiseEvent) override;
    // IProfilePrompt.
    bool Confirm(const std::string& textKey) override;
    void ShowMessage(const ProfileMessage& message) override;

private:
    CControlUI* find(const QString& name) const;
    void refreshCaptions();
    // The editor pages (the keyboard page's build steps 6 and 7).
    void bindEditors();
    void showSelectedKey();
    void refreshSettings();
    bool onProfileControl(CControlUI* sender, const QString& type);
    bool onSettingControl(CControlUI* sender, const QString& type);

    QPointer<CDevicePageUI> m_page;
    CKestravaKeyboardDevice* m_device;
    WindowImplBase* m_window;
    std::unique_ptr<ProfileList> m_profiles;
    std::unique_ptr<LightingPanel> m_lighting;
    QPointer<CComboUI> m_profileCombo;
    QPointer<CKeySetControlUI> m_keySet;
    QPointer<CMacroControlUI> m_macros;
    int m_function = 0;
    bool m_showing = false;
};

} // namespace talyx
