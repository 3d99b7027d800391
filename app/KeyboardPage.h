#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

#include "app/ProfileBar.h"
#include "editors/CKeySetControlUI.h"
#include "editors/CMacroControlUI.h"
#include "ui/UIDefs.h"
#include "ui/WindowImplBase.h"

namespace talyx {

class CDevicePageUI;
class CKestravaKeyboardDevice;

// The keyboard's page half: binds the page's controls to the keyboard core. It shows
// what the core holds (key captions, the profile bar, lighting values, settings) and
// passes the user's changes to it. Runs on the user-interface thread.
class KeyboardPage : public QObject, public CKeySetControlUI::Host, public CMacroControlUI::Host {
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
    ProfileList& Profiles() { return m_bar->Profiles(); }
    ProfileBar* Bar() const { return m_bar.get(); }
    // The keyboard said its profile changed: the profile list is read again and its
    // selected profile applied to the keyboard.
    void ReloadProfiles();
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

private:
    CControlUI* find(const QString& name) const;
    void refreshCaptions();
    // The editor pages (the keyboard page's build steps 6 and 7).
    void bindEditors();
    void showSelectedKey();
    void refreshSettings();
    // Tells the window's status line what the page did.
    void status(const char* textId, const QStringList& args, WindowImplBase::StatusKind kind);
    void clearKeySelection();
    bool onSettingControl(CControlUI* sender, const QString& type);

    QPointer<CDevicePageUI> m_page;
    CKestravaKeyboardDevice* m_device;
    WindowImplBase* m_window;
    std::unique_ptr<ProfileBar> m_bar;
    QPointer<CKeySetControlUI> m_keySet;
    QPointer<CMacroControlUI> m_macros;
    int m_function = 0;
    bool m_showing = false;
};

} // namespace talyx
