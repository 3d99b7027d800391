#pragma once

#include <string>
#include <vector>

#include "profile/ProfileList.h"

// The profile operations as the main window runs them from the profile bar's menu:
// confirmation first, then the list operation, then the device page loads whatever
// profile is now selected. Questions and messages go out by language key; the window
// that shows them is the user interface's.
namespace talyx {

// Language keys of the questions and messages.
inline constexpr const char* kConfirmNewProfileText = "message_text_27";
inline constexpr const char* kConfirmCopyProfileText = "message_text_26";
inline constexpr const char* kConfirmDeleteProfileText = "message_text_29";
inline constexpr const char* kNameInUseText = "message_text_5";
inline constexpr const char* kNameEmptyText = "message_text_25";
inline constexpr const char* kProfileApplyFailedText = "message_text_7";
// Its language text is a printf format with one integer, the device page's answer.
inline constexpr const char* kProfileApplyErrorText = "message_text_16";

// A message for the message window: the language key, and for format keys the number
// to fill in.
struct ProfileMessage {
    std::string key;
    bool hasValue = false;
    int value = 0;
};

// The message window, as the profile operations need it.
class IProfilePrompt {
public:
    virtual ~IProfilePrompt() = default;
    // Asks the question with this language key; true when the user confirms.
    virtual bool Confirm(const std::string& textKey) = 0;
    virtual void ShowMessage(const ProfileMessage& message) = 0;
};

// The device page that owns the profile bar.
class IProfileTarget {
public:
    virtual ~IProfileTarget() = default;
    // Loads the profile document of this UUID and sends it to the device. 0 is success;
    // -1 and any other value are failures that the user is told about.
    virtual int ApplyProfile(const std::string& uuid) = 0;
};

// Which of the device page's tabs the profile bar hides and shows, by the device's type
// number (1 keyboard, 2 mouse, 3 mouse pad, 7 headset; 4 to 6 further types). Types
// without a row change nothing.
struct ProfileTabRule {
    std::vector<std::string> hidden;
    std::vector<std::string> shown;
};
ProfileTabRule TabsForDeviceType(int deviceType);

// Each returns true when the operation changed the list.
bool RunNewProfile(ProfileList& list, IProfilePrompt& prompt, IProfileTarget* target);
bool RunCopyProfile(ProfileList& list, IProfilePrompt& prompt);
bool RunDeleteProfile(ProfileList& list, IProfilePrompt& prompt, IProfileTarget* target);
// `text` is the name edit's text; an empty text does nothing.
ProfileList::RenameResult RunRenameProfile(ProfileList& list, const std::string& text, IProfilePrompt& prompt);
// The user picked item `index` in the combo: select it without raising the combo's
// event, hand the UUID to the device page and report its answer. Returns that answer,
// or -1 when the index is not an item.
int SwitchProfile(ProfileList& list, int index, IProfilePrompt& prompt, IProfileTarget& target);

} // namespace talyx
