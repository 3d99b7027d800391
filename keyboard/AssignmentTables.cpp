#include "keyboard/AssignmentTables.h"

namespace talyx {

// clang-format off
const NamedCode kMouseButtonActions[5] = {
    {0x100100, "mouse_key_left"}, {0x100400, "mouse_key_middle"}, {0x100200, "mouse_key_right"},
    {0x101000, "mouse_key_forward"}, {0x100800, "mouse_key_back"},
};
const NamedCode kDpiStepActions[3] = {
    {0x130100, "mouse_key_DPI_add"}, {0x130200, "mouse_key_DPI_sub"}, {0x130300, "mouse_key_DPI_loop"},
};
const NamedCode kSystemActions[3] = {
    {0x400100, "system_power"}, {0x400200, "system_sleep"}, {0x400400, "system_wake_up"},
};
const NamedCode kMediaActions[18] = {
    {0x308301, "media_text"}, {0x30CD00, "media_play"}, {0x30B700, "media_stop"}, {0x30B600, "media_prev"},
    {0x30B500, "media_next"}, {0x30EA00, "media_vol_sub"}, {0x30E900, "media_vol_add"}, {0x30E200, "media_mute"},
    {0x302302, "web_text"}, {0x302702, "web_refresh"}, {0x302602, "wed_stop"}, {0x302402, "wed_back"},
    {0x302502, "wed_forward"}, {0x302A02, "wed_favorite"}, {0x302102, "web_search"}, {0x309401, "media_mypc"},
    {0x309201, "media_calc"}, {0x308A01, "media_mail"},
};
const NamedCode kShortcutActions[11] = {
    {0x201012, "custem_open"}, {0x201011, "custem_new"}, {0x20101D, "custem_undo"}, {0x201016, "custem_save"},
    {0x201006, "custem_copy"}, {0x20101B, "custem_cut"}, {0x201019, "custem_paste"}, {0x201009, "custem_find"},
    {0x201004, "custem_select_all"}, {0x20102D, "custem_narrow"}, {0x20102E, "custem_magnify"},
};
const char* const kRecoilPatternNames[4] = {"gun_1_txt", "gun_2_txt", "gun_3_txt", "gun_4_txt"};
// clang-format on

} // namespace talyx
