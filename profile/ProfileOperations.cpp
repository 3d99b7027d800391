#include "profile/ProfileOperations.h"

namespace talyx {
namespace {

struct TabRow {
    int deviceType;
    std::vector<std::string> hidden;
    std::vector<std::string> shown;
};

const std::vector<TabRow>& tabTable() {
    static const std::vector<TabRow> kTable = {
        {1, {"cursor_Op_tab"}, {}},
        {2, {}, {}},
        {6, {}, {}},
        {3, {"cursor_Op_tab", "macro_Op_tab", "system_Op_tab", "key_Op_tab"}, {}},
        {5, {"cursor_Op_tab", "macro_Op_tab", "system_Op_tab", "key_Op_tab"}, {}},
        {4, {"cursor_Op_tab", "macro_Op_tab", "key_Op_tab"}, {}},
        {7,
         {"cursor_Op_tab", "macro_Op_tab", "system_Op_tab", "key_Op_tab"},
         {"6533_voice_Op_tab", "magic_Op_tab", "Virtual7.1_Op_tab"}},
    };
    return kTable;
}

// After the list changed its selection (new, delete), the device follows it.
void applySelected(ProfileList& list, IProfilePrompt& prompt, IProfileTarget* target) {
    if (target && list.Selected() >= 0)
        SwitchProfile(list, list.Selected(), prompt, *target);
}

} // namespace

ProfileTabRule TabsForDeviceType(int deviceType) {
    for (const TabRow& row : tabTable()) {
        if (row.deviceType == deviceType)
            return {row.hidden, row.shown};
    }
    return {};
}

bool RunNewProfile(ProfileList& list, IProfilePrompt& prompt, IProfileTarget* target) {
    if (!prompt.Confirm(kConfirmNewProfileText))
        return false;
    if (!list.New())
        return false;
    applySelected(list, prompt, target);
    return true;
}

bool RunCopyProfile(ProfileList& list, IProfilePrompt& prompt) {
    if (!prompt.Confirm(kConfirmCopyProfileText))
        return false;
    return list.Copy();
}

bool RunDeleteProfile(ProfileList& list, IProfilePrompt& prompt, IProfileTarget* target) {
    if (!prompt.Confirm(kConfirmDeleteProfileText))
        return false;
    if (!list.Delete())
        return false;
    applySelected(list, prompt, target);
    return true;
}

ProfileList::RenameResult RunRenameProfile(ProfileList& list, const std::string& text, IProfilePrompt& prompt) {
    if (text.empty())
        return ProfileList::kRenameNotDone;
    const ProfileList::RenameResult result = list.Rename(text);
    if (result == ProfileList::kRenameNameInUse)
        prompt.ShowMessage({kNameInUseText});
    else if (result == ProfileList::kRenameEmpty)
        prompt.ShowMessage({kNameEmptyText});
    return result;
}

int SwitchProfile(ProfileList& list, int index, IProfilePrompt& prompt, IProfileTarget& target) {
    if (!list.Select(index, false))
        return -1;
    const int answer = target.ApplyProfile(list.CurrentUUID());
    if (answer == -1)
        prompt.ShowMessage({kProfileApplyFailedText});
    else if (answer != 0)
        prompt.ShowMessage({kProfileApplyErrorText, true, answer});
    return answer;
}

} // namespace talyx
