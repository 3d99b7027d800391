#pragma once

#include <QMenu>
#include <QPointer>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "profile/ProfileList.h"
#include "profile/ProfileOperations.h"
#include "ui/WindowImplBase.h"

namespace talyx {

class CComboUI;
class CControlUI;
class AppLinkSwitcher;

// The profile bar of a device page ("DeviceProfileItem"): the family's profile list in
// "device_profile_combo", and the profile menu's new, copy, delete, rename, import and
// export. It keeps the combo, "ProfileList.ini" and the documents in step, has the device
// apply the profile chosen, and tells the window's status line what it did: which profile
// it acted on, and why nothing happened when nothing could. Copy and delete ask about the
// profile by name; exported files get ".json" when the user typed no extension, so the
// import dialog lists them; a file that is not a profile is refused with a message and
// changes nothing. User-interface thread only.
class ProfileBar : public IProfileListView, public IProfilePrompt {
public:
    // `applied` runs after the device was given another profile (switch, new, delete).
    ProfileBar(CControlUI* page, const std::string& folder, IProfileTarget* target, WindowImplBase* window,
               std::function<void()> applied = {});
    ~ProfileBar() override;

    // Reads the list into the combo and applies the tab rule of the device type (the
    // lighting type: 1 keyboard, 2 mouse, 3 mouse pad, 7 headset; 0 applies none) to the
    // page's tabs.
    void Initialise(int deviceType);
    // A notification of one of the bar's controls; true when it was one.
    bool HandleNotify(CControlUI* sender, const QString& type);
    ProfileList& Profiles() { return *m_profiles; }

    // The menu's operations, for the menu and for the automation interface: `prompt`
    // answers their questions and hears their messages (for the menu, the bar itself asks
    // the user). Each has the device apply the profile it selects and tells the status
    // line what it did.
    // Selects item `index` and applies it: SwitchProfile's answer (0 when applied).
    int Switch(int index, IProfilePrompt& prompt);
    bool New(IProfilePrompt& prompt);
    bool Copy(IProfilePrompt& prompt);
    bool Delete(IProfilePrompt& prompt);
    ProfileList::RenameResult Rename(const std::string& name, IProfilePrompt& prompt);
    bool Import(const QString& path);
    bool Export(const QString& path);
    // The selected profile's name, empty with none.
    QString SelectedName() const;
    // Links the selected profile to an application (its identity as links store it), or
    // removes the link with an empty one; the bar's label and status line follow.
    bool Link(const std::string& application);
    // The "link to application..." menu for the selected profile: the window in front before
    // this program's (pick a window by bringing it to the front), the running and the
    // installed applications, and removing the link. Its actions are named
    // "link_last", "link_remove", "link_app:<id>". The caller owns it.
    QMenu* BuildLinkMenu();

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
    void applied();
    void status(const char* textId, const QStringList& args, WindowImplBase::StatusKind kind);
    void importFile();
    void exportFile();
    // Shows the selected profile's application in "device_profile_link_label".
    void showLink();
    AppLinkSwitcher* follower() const;

    QPointer<CControlUI> m_page;
    std::unique_ptr<ProfileList> m_profiles;
    IProfileTarget* m_target;
    WindowImplBase* m_window;
    std::function<void()> m_applied;
    QPointer<CComboUI> m_combo;
    // The user's answer to the last question of an operation: a "no" from the list after
    // a "yes" from the user is a failure to tell.
    bool m_confirmed = false;
};

} // namespace talyx
