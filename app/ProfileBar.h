#pragma once

#include <QPointer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "profile/ProfileList.h"
#include "profile/ProfileOperations.h"

namespace talyx {

class CComboUI;
class CControlUI;
class WindowImplBase;

// The profile bar of a device page ("DeviceProfileItem"): the profile list of the family
// in "device_profile_combo", and the profile menu's new, copy, delete, rename, import and
// export. It keeps the combo, "ProfileList.ini" and the documents in step and has the
// device apply the profile chosen. User-interface thread only.
class ProfileBar : public IProfileListView, public IProfilePrompt {
public:
    // `applied` runs after the device was given another profile (the page shows it).
    ProfileBar(CControlUI* page, const std::string& folder, IProfileTarget* target, WindowImplBase* window,
               std::function<void()> applied = {});
    ~ProfileBar() override;

    // Reads the list into the combo and applies the tab rule of the device type (the
    // lighting type: 1 keyboard, 2 mouse, 3 mouse pad, 7 headset) to the page's tabs.
    void Initialise(int deviceType);
    // A notification of one of the bar's controls; true when it was one.
    bool HandleNotify(CControlUI* sender, const QString& type);
    ProfileList& Profiles() { return *m_profiles; }

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

    QPointer<CControlUI> m_page;
    std::unique_ptr<ProfileList> m_profiles;
    IProfileTarget* m_target;
    WindowImplBase* m_window;
    std::function<void()> m_applied;
    QPointer<CComboUI> m_combo;
};

} // namespace talyx
