#include "keyboard/KeyCaptions.h"

#include "keyboard/AssignmentTables.h"
#include "keyboard/KeyTables.h"

namespace talyx {
namespace {

template <size_t N> const char* nameOf(const NamedCode (&table)[N], uint32_t code) {
    for (const NamedCode& row : table) {
        if (row.code == code)
            return row.name;
    }
    return nullptr;
}

KeyCaption keys(std::initializer_list<std::string> list) {
    KeyCaption c;
    c.keys = list;
    return c;
}

KeyCaption keyboardKeyCaption(uint8_t modifiers, uint8_t usage) {
    if (const char* shortcut = nameOf(kShortcutActions, MakeAssignment(kAssignKeyboardKey, modifiers, usage)))
        return keys({shortcut});
    KeyCaption c;
    // The modifier rows 0 to 7 carry one bit each, in bit order.
    for (int row = 0; row < 8; ++row) {
        if (modifiers & AssignmentHigh(kKeyNameTable[row].code))
            c.keys.push_back(kKeyNameTable[row].name);
    }
    if (usage != 0) {
        const int row = FindKeyNameRow(MakeAssignment(kAssignKeyboardKey, 0, usage));
        if (row >= 8)
            c.keys.push_back(kKeyNameTable[row].name);
    }
    return c;
}

KeyCaption captionOf(uint32_t code, uint32_t defaultCode, const std::vector<std::string>& macroNames, int depth) {
    const uint8_t type = AssignmentType(code);
    const uint8_t high = AssignmentHigh(code);
    const uint8_t low = AssignmentLow(code);
    switch (type) {
    case kAssignNone:
        return keys({kNoActionCaption});
    case kAssignKeyboardKey:
        if (high == 0 && low == 0)
            return keys({kNoActionCaption});
        return keyboardKeyCaption(high, low);
    case kAssignMouseButton:
        if (const char* n = nameOf(kMouseButtonActions, code))
            return keys({n});
        break;
    case kAssignHorizontalScroll:
        return keys({(low & 0x80) ? "mouse_key_right_Swing" : "mouse_key_left_Swing"});
    case kAssignVerticalScroll:
        return keys({(low & 0x80) ? "mouse_key_down_Swing" : "mouse_key_up_Swing"});
    case kAssignDpiStep:
        if (const char* n = nameOf(kDpiStepActions, code))
            return keys({n});
        break;
    case kAssignFireKey:
        return keys({"mouse_key_fire_key"});
    case kAssignConsumer:
        if (const char* n = nameOf(kMediaActions, code))
            return keys({n});
        break;
    case kAssignSystem:
        if (const char* n = nameOf(kSystemActions, code))
            return keys({n});
        break;
    case kAssignMacroPlayMode:
    case kAssignMacroRepeat:
        if (high < macroNames.size()) {
            KeyCaption c;
            c.text = macroNames[high];
            return c;
        }
        // The keyboard gets the default in place of a macro the library no longer has.
        if (depth == 0)
            return captionOf(defaultCode, defaultCode, macroNames, 1);
        return KeyCaption{};
    case kAssignRecoil:
        if (high < 4)
            return keys({kRecoilPatternNames[high]});
        break;
    default:
        break;
    }
    // Media, system, M and function keys of the key name table.
    const int row = FindKeyNameRow(code);
    if (row >= 0)
        return keys({kKeyNameTable[row].name});
    return KeyCaption{};
}

} // namespace

KeyCaption CaptionForAssignment(uint32_t code, uint32_t defaultCode, const std::vector<std::string>& macroNames) {
    return captionOf(code & 0xFFFFFF, defaultCode & 0xFFFFFF, macroNames, 0);
}

std::string CaptionText(const KeyCaption& caption, const std::function<std::string(const std::string&)>& translate) {
    if (!caption.text.empty() || caption.keys.empty())
        return caption.text;
    std::string out;
    for (size_t i = 0; i < caption.keys.size(); ++i) {
        if (i > 0)
            out += "+";
        out += translate ? translate(caption.keys[i]) : caption.keys[i];
    }
    return out;
}

} // namespace talyx
