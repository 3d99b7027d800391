#pragma once

#include <cstdint>

// What the key assignment page shows for one assignment code, and the code its controls
// stand for. The page keeps the state of its controls in a KeyAssignmentForm; the two
// functions below turn a code into a form and a form back into the code, so the page
// itself only moves values between the form and its controls.
namespace talyx {

// Action categories, as the page's category combo numbers them.
enum KeyCategory : int {
    kCategoryNone = 0,
    kCategoryMouseButton = 1,
    kCategoryHorizontalScroll = 2,
    kCategoryVerticalScroll = 3,
    kCategoryDpi = 4,
    kCategoryFireKey = 5,
    kCategoryKeyboardKey = 6,
    kCategoryMedia = 7,
    kCategorySystem = 8,
    kCategoryMacro = 9,
    kCategoryRecoil = 10,
    kCategoryShortcut = 11,
};
constexpr int kCategoryCount = 12;

// The modifier choices of the keyboard key page: none, Ctrl, Shift, Alt, Windows.
constexpr int kModifierChoices = 5;
// The play mode item that repeats a macro a number of times (type 0x71); items 0 to 3
// are the keyboard's own play modes (type 0x70, low byte = item).
constexpr int kPlayModeRepeat = 4;

struct ScrollForm {
    int direction = 0; // 0 the first direction item, 1 the second
    int count = 1;     // 1 to 127
    int delay = 0;     // 0 to 15
    int speed = 0;     // 0 to 15
};

struct KeyAssignmentForm {
    int category = kCategoryNone;
    int mouseButton = -1; // rows of kMouseButtonActions
    ScrollForm horizontal;
    ScrollForm vertical;
    int dpi = -1; // rows of kDpiStepActions
    int fireInterval = 0, fireShots = 0;
    // The modifier bits of the keyboard key. Choosing a modifier option sets the left bit
    // of that modifier; a captured modifier key keeps its own side, and modifiers captured
    // one after the other add up, so a code with several modifiers, or a right one, comes
    // back as it was when it is shown and applied again.
    uint8_t modifierMask = 0;
    uint8_t keyUsage = 0; // 0 while the key edit is empty
    int media = -1;       // rows of kMediaActions
    int system = -1;      // rows of kSystemActions
    int macro = -1;       // position in the macro list
    int playMode = 0;     // 0 to 4
    int repeatCount = 1;  // 1 to 255
    int recoil = -1;      // 0 to 3
    int shortcut = -1;    // rows of kShortcutActions
};

// The code the form stands for. A list position outside its table, a macro position
// outside the list (or no macro chosen) and an unknown category give `current` (or, for
// the unknown category, `defaultCode`) instead of indexing anything. Numbers are held to
// what their fields carry.
uint32_t BuildAssignmentCode(const KeyAssignmentForm& form, uint32_t current, uint32_t defaultCode, int macroCount);

// The form that shows `code`. Category kCategoryNone when no category shows it (type
// 0x00, and the keyboard's own function and M keys).
KeyAssignmentForm FormForAssignment(uint32_t code, int macroCount);

// The modifier choice (0 to 4) that shows a modifier mask: the one modifier it holds,
// left or right; -1 when it holds several kinds; 0 for none.
int ModifierChoiceOfMask(uint8_t mask);
// The left bit of a modifier choice (0 for none or out of range).
uint8_t ModifierMaskOfChoice(int choice);

// A key taken from the keyboard by its set-1 scan code and extended flag, into the form
// of the keyboard key page. A modifier key adds its bit (after a plain key it starts a new
// combination) and empties the key; any other plain key becomes the key and keeps the
// modifiers. False, form unchanged, for a key that is not a plain key.
bool CaptureKeyIntoForm(KeyAssignmentForm& form, uint8_t scanCode, bool extended);

} // namespace talyx
