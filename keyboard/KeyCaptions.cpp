#include "keyboard/KeyCaptions.h"

#include "keyboard/KeyTables.h"

namespace talyx {
namespace {

// A named action of the key assignment page's lists, by its code.
struct NamedCode {
    uint32_t code;
    const char* name;
};

// clang-format off
const NamedCode kMouseButtons[] = {
    {0x100100, "mouse_key_left"}, {0x100400, "mouse_key_middle"}, {0x100200, "mouse_key_right"},
    {0x101000, "mouse_key_forward"}, {0x100800, "mouse_key_back"},
};
const NamedCode kDpiSteps[] = {
    {0x130100, "mouse_key_DPI_add"}, {0x130200, "mouse_key_DPI_sub"}, {0x130300, "mouse_key_DPI_loop"},
};
const NamedCode kSystemActions[] = {
    {0x400100, "system_power"}, {0x400200, "system_sleep"}, {0x400400, "system_wake_up"},
};
// Consumer usages are stored low byte first.
const NamedCode kMediaActions[] = {
    {0x308301, "media_text"}, {0x30CD00, "media_play"}, {0x30B700, "media_stop"}, {0x30B600, "media_prev"},
    {0x30B500, "media_next"}, {0x30EA00, "media_vol_sub"}, {0x30E900, "media_vol_add"}, {0x30E200, "media_mute"},
    {0x302302, "web_text"}, {0x302702, "web_refresh"}, {0x302602, "wed_stop"}, {0x302402, "wed_back"},
    {0x302502, "wed_forward"}, {0x302A02, "wed_favorite"}, {0x302102, "web_search"}, {0x309401, "media_mypc"},
    {0x309201, "media_calc"}, {0x308A01, "media_mail"},
};
const NamedCode kShortcuts[] = {
    {0x201012, "custem_open"}, {0x201011, "custem_new"}, {0x20101D, "custem_undo"}, {0x201016, "custem_save"},
    {0x201006, "custem_copy"}, {0x20101B, "custem_cut"}, {0x201019, "custem_paste"}, {0x201009, "custem_find"},
    {0x201004, "custem_select_all"}, {0x20102D, "custem_narrow"}, {0x20102E, "custem_magnify"},
};
const char* const kRecoilPatterns[] = {"gun_1_txt", "gun_2_txt", "gun_3_txt", "gun_4_txt"};
// clang-format on

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
    if (const char* shortcut = nameOf(kShortcuts, MakeAssignment(kAssignKeyboardKey, modifiers, usage)))
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
        if (const char* n = nameOf(kMouseButtons, code))
            return keys({n});
        break;
    case kAssignHorizontalScroll:
        return keys({(low & 0x80) ? "mouse_key_right_Swing" : "mouse_key_left_Swing"});
    case kAssignVerticalScroll:
        return keys({(low & 0x80) ? "mouse_key_down_Swing" : "mouse_key_up_Swing"});
    case kAssignDpiStep:
        if (const char* n = nameOf(kDpiSteps, code))
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
            return keys({kRecoilPatterns[high]});
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
