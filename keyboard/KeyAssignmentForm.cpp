#include "keyboard/KeyAssignmentForm.h"

#include <algorithm>

#include "keyboard/AssignmentTables.h"
#include "keyboard/KeyTables.h"

namespace talyx {
namespace {

constexpr int kModifierRows = 8;

uint8_t clampByte(int value, int low, int high) {
    return static_cast<uint8_t>(std::clamp(value, low, high));
}

uint8_t scrollHigh(const ScrollForm& s) {
    return static_cast<uint8_t>((clampByte(s.delay, 0, 15) << 4) | clampByte(s.speed, 0, 15));
}

ScrollForm scrollOf(uint8_t high, uint8_t low, bool vertical) {
    ScrollForm s;
    s.delay = high >> 4;
    s.speed = high & 0x0F;
    s.direction = (low & 0x80) ? 1 : 0;
    // The wheel's second direction counts down from 128.
    s.count = (vertical && s.direction == 1) ? 128 - (low & 0x7F) : (low & 0x7F);
    return s;
}

} // namespace

int ModifierChoiceOfMask(uint8_t mask) {
    // Left and right variants of a modifier fold onto one choice.
    const uint8_t kinds = static_cast<uint8_t>((mask & 0x0F) | (mask >> 4));
    switch (kinds) {
    case 0x00:
        return 0;
    case 0x01:
        return 1;
    case 0x02:
        return 2;
    case 0x04:
        return 3;
    case 0x08:
        return 4;
    default:
        return -1;
    }
}

uint8_t ModifierMaskOfChoice(int choice) {
    return choice >= 1 && choice < kModifierChoices ? static_cast<uint8_t>(1u << (choice - 1)) : 0;
}

uint32_t BuildAssignmentCode(const KeyAssignmentForm& f, uint32_t current, uint32_t defaultCode, int macroCount) {
    switch (f.category) {
    case kCategoryMouseButton:
        return NamedCodeAt(kMouseButtonActions, f.mouseButton, current);
    case kCategoryHorizontalScroll: {
        const uint8_t count = clampByte(f.horizontal.count, 1, 127);
        return MakeAssignment(kAssignHorizontalScroll, scrollHigh(f.horizontal),
                              f.horizontal.direction == 1 ? static_cast<uint8_t>(count | 0x80) : count);
    }
    case kCategoryVerticalScroll: {
        const uint8_t count = clampByte(f.vertical.count, 1, 127);
        return MakeAssignment(kAssignVerticalScroll, scrollHigh(f.vertical),
                              f.vertical.direction == 1 ? static_cast<uint8_t>((128 - count) | 0x80) : count);
    }
    case kCategoryDpi:
        return NamedCodeAt(kDpiStepActions, f.dpi, current);
    case kCategoryFireKey:
        return MakeAssignment(kAssignFireKey, clampByte(f.fireInterval, 0, 255), clampByte(f.fireShots, 0, 255));
    case kCategoryKeyboardKey:
        return MakeAssignment(kAssignKeyboardKey, f.modifierMask, f.keyUsage);
    case kCategoryMedia:
        return NamedCodeAt(kMediaActions, f.media, current);
    case kCategorySystem:
        return NamedCodeAt(kSystemActions, f.system, current);
    case kCategoryMacro:
        if (f.macro < 0 || f.macro >= macroCount || f.macro > 0xFF || f.playMode < 0 || f.playMode > kPlayModeRepeat)
            return current;
        if (f.playMode == kPlayModeRepeat)
            return MakeAssignment(kAssignMacroRepeat, static_cast<uint8_t>(f.macro), clampByte(f.repeatCount, 1, 255));
        return MakeAssignment(kAssignMacroPlayMode, static_cast<uint8_t>(f.macro), static_cast<uint8_t>(f.playMode));
    case kCategoryRecoil:
        if (f.recoil < 0 || f.recoil >= static_cast<int>(TableSize(kRecoilPatternNames)))
            return current;
        return MakeAssignment(kAssignRecoil, static_cast<uint8_t>(f.recoil), 0);
    case kCategoryShortcut:
        return NamedCodeAt(kShortcutActions, f.shortcut, current);
    default:
        return defaultCode;
    }
}

KeyAssignmentForm FormForAssignment(uint32_t code, int macroCount) {
    KeyAssignmentForm f;
    code &= 0xFFFFFF;
    const uint8_t high = AssignmentHigh(code);
    const uint8_t low = AssignmentLow(code);
    switch (AssignmentType(code)) {
    case kAssignMouseButton:
        f.category = kCategoryMouseButton;
        f.mouseButton = FindNamedCode(kMouseButtonActions, code);
        break;
    case kAssignHorizontalScroll:
        f.category = kCategoryHorizontalScroll;
        f.horizontal = scrollOf(high, low, false);
        break;
    case kAssignVerticalScroll:
        f.category = kCategoryVerticalScroll;
        f.vertical = scrollOf(high, low, true);
        break;
    case kAssignDpiStep:
        f.category = kCategoryDpi;
        f.dpi = FindNamedCode(kDpiStepActions, code);
        break;
    case kAssignFireKey:
        f.category = kCategoryFireKey;
        f.fireInterval = high;
        f.fireShots = low;
        break;
    case kAssignKeyboardKey:
        f.shortcut = FindNamedCode(kShortcutActions, code);
        if (f.shortcut >= 0) {
            f.category = kCategoryShortcut;
            break;
        }
        f.category = kCategoryKeyboardKey;
        f.modifierMask = high;
        // The key edit shows only keys it can name; a usage it cannot is shown empty.
        f.keyUsage = FindKeyNameRow(MakeAssignment(kAssignKeyboardKey, 0, low)) >= kModifierRows ? low : 0;
        break;
    case kAssignConsumer:
        f.category = kCategoryMedia;
        f.media = FindNamedCode(kMediaActions, code);
        break;
    case kAssignSystem:
        f.category = kCategorySystem;
        f.system = FindNamedCode(kSystemActions, code);
        break;
    case kAssignMacroPlayMode:
    case kAssignMacroRepeat:
        f.category = kCategoryMacro;
        f.macro = high < macroCount ? high : -1;
        if (AssignmentType(code) == kAssignMacroRepeat) {
            f.playMode = kPlayModeRepeat;
            f.repeatCount = low;
        } else {
            f.playMode = low <= 3 ? low : 0;
        }
        break;
    case kAssignRecoil:
        f.category = kCategoryRecoil;
        f.recoil = high < TableSize(kRecoilPatternNames) ? high : -1;
        break;
    default:
        break;
    }
    return f;
}

bool CaptureKeyIntoForm(KeyAssignmentForm& form, uint8_t scanCode, bool extended) {
    for (int row = 0; row < kPlainKeyRows; ++row) {
        const KeyScanCode& sc = kPlainKeyScanCodes[row];
        if (sc.code != scanCode || sc.extended != extended)
            continue;
        const uint32_t code = kKeyNameTable[row].code;
        if (AssignmentType(code) != kAssignKeyboardKey)
            return false;
        if (row < kModifierRows) {
            // A modifier pressed after a whole combination starts the next one.
            if (form.keyUsage != 0)
                form.modifierMask = 0;
            // The page offers one choice per kind of modifier, so a right-hand modifier is
            // taken as its kind: the left-hand bit (right Ctrl + C gives 0x200106). The right-hand
            // bits stay for codes that already hold them and for the shortcut rows.
            uint8_t bit = AssignmentHigh(code);
            if (bit >= 0x10)
                bit = static_cast<uint8_t>(bit >> 4);
            form.modifierMask = static_cast<uint8_t>(form.modifierMask | bit);
            form.keyUsage = 0;
        } else {
            form.keyUsage = AssignmentLow(code);
        }
        return true;
    }
    return false;
}

} // namespace talyx
