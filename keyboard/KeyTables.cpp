#include "keyboard/KeyTables.h"

namespace talyx {

// clang-format off
const KeyNameRow kKeyNameTable[kKeyNameRows] = {
    {"keyboard_key_LCtrl", 0xA2, 0x200100}, // 0
    {"keyboard_key_LShift", 0xA0, 0x200200}, // 1
    {"keyboard_key_LAlt", 0xA4, 0x200400}, // 2
    {"keyboard_key_LWin", 0x5B, 0x200800}, // 3
    {"keyboard_key_RCtrl", 0xA3, 0x201000}, // 4
    {"keyboard_key_RShift", 0xA1, 0x202000}, // 5
    {"keyboard_key_RAlt", 0xA5, 0x204000}, // 6
    {"keyboard_key_RWin", 0x5C, 0x208000}, // 7
    {"keyboard_key_A", 0x41, 0x200004}, // 8
    {"keyboard_key_B", 0x42, 0x200005}, // 9
    {"keyboard_key_C", 0x43, 0x200006}, // 10
    {"keyboard_key_D", 0x44, 0x200007}, // 11
    {"keyboard_key_E", 0x45, 0x200008}, // 12
    {"keyboard_key_F", 0x46, 0x200009}, // 13
    {"keyboard_key_G", 0x47, 0x20000A}, // 14
    {"keyboard_key_H", 0x48, 0x20000B}, // 15
    {"keyboard_key_I", 0x49, 0x20000C}, // 16
    {"keyboard_key_J", 0x4A, 0x20000D}, // 17
    {"keyboard_key_K", 0x4B, 0x20000E}, // 18
    {"keyboard_key_L", 0x4C, 0x20000F}, // 19
    {"keyboard_key_M", 0x4D, 0x200010}, // 20
    {"keyboard_key_N", 0x4E, 0x200011}, // 21
    {"keyboard_key_O", 0x4F, 0x200012}, // 22
    {"keyboard_key_P", 0x50, 0x200013}, // 23
    {"keyboard_key_Q", 0x51, 0x200014}, // 24
    {"keyboard_key_R", 0x52, 0x200015}, // 25
    {"keyboard_key_S", 0x53, 0x200016}, // 26
    {"keyboard_key_T", 0x54, 0x200017}, // 27
    {"keyboard_key_U", 0x55, 0x200018}, // 28
    {"keyboard_key_V", 0x56, 0x200019}, // 29
    {"keyboard_key_W", 0x57, 0x20001A}, // 30
    {"keyboard_key_X", 0x58, 0x20001B}, // 31
    {"keyboard_key_Y", 0x59, 0x20001C}, // 32
    {"keyboard_key_Z", 0x5A, 0x20001D}, // 33
    {"keyboard_key_1", 0x31, 0x20001E}, // 34
    {"keyboard_key_2", 0x32, 0x20001F}, // 35
    {"keyboard_key_3", 0x33, 0x200020}, // 36
    {"keyboard_key_4", 0x34, 0x200021}, // 37
    {"keyboard_key_5", 0x35, 0x200022}, // 38
    {"keyboard_key_6", 0x36, 0x200023}, // 39
    {"keyboard_key_7", 0x37, 0x200024}, // 40
    {"keyboard_key_8", 0x38, 0x200025}, // 41
    {"keyboard_key_9", 0x39, 0x200026}, // 42
    {"keyboard_key_0", 0x30, 0x200027}, // 43
    {"keyboard_key_Enter", 0x0D, 0x200028}, // 44
    {"keyboard_key_Esc", 0x1B, 0x200029}, // 45
    {"keyboard_key_BackSpace", 0x08, 0x20002A}, // 46
    {"keyboard_key_Tab", 0x09, 0x20002B}, // 47
    {"keyboard_key_Space", 0x20, 0x20002C}, // 48
    {"keyboard_key_-", 0xBD, 0x20002D}, // 49
    {"keyboard_key_=", 0xBB, 0x20002E}, // 50
    {"keyboard_key_[", 0xDB, 0x20002F}, // 51
    {"keyboard_key_]", 0xDD, 0x200030}, // 52
    {"keyboard_key_xiegang", 0xDC, 0x200031}, // 53
    {"keyboard_key_;", 0xBA, 0x200033}, // 54
    {"keyboard_key_'", 0xDE, 0x200034}, // 55
    {"keyboard_key_`", 0xC0, 0x200035}, // 56
    {"keyboard_key_<", 0xBC, 0x200036}, // 57
    {"keyboard_key_.", 0xBE, 0x200037}, // 58
    {"keyboard_key_/", 0xBF, 0x200038}, // 59
    {"keyboard_key_Caplk", 0x14, 0x200039}, // 60
    {"keyboard_key_F1", 0x70, 0x20003A}, // 61
    {"keyboard_key_F2", 0x71, 0x20003B}, // 62
    {"keyboard_key_F3", 0x72, 0x20003C}, // 63
    {"keyboard_key_F4", 0x73, 0x20003D}, // 64
    {"keyboard_key_F5", 0x74, 0x20003E}, // 65
    {"keyboard_key_F6", 0x75, 0x20003F}, // 66
    {"keyboard_key_F7", 0x76, 0x200040}, // 67
    {"keyboard_key_F8", 0x77, 0x200041}, // 68
    {"keyboard_key_F9", 0x78, 0x200042}, // 69
    {"keyboard_key_F10", 0x79, 0x200043}, // 70
    {"keyboard_key_F11", 0x7A, 0x200044}, // 71
    {"keyboard_key_F12", 0x7B, 0x200045}, // 72
    {"keyboard_key_Print Scr", 0x2C, 0x200046}, // 73
    {"keyboard_key_Scroll Lock", 0x91, 0x200047}, // 74
    {"keyboard_key_Pause", 0x13, 0x200048}, // 75
    {"keyboard_key_Insert", 0x2D, 0x200049}, // 76
    {"keyboard_key_Home", 0x24, 0x20004A}, // 77
    {"keyboard_key_Page Up", 0x21, 0x20004B}, // 78
    {"keyboard_key_Delete", 0x2E, 0x20004C}, // 79
    {"keyboard_key_End", 0x23, 0x20004D}, // 80
    {"keyboard_key_Page Down", 0x22, 0x20004E}, // 81
    {"keyboard_key_Right", 0x27, 0x20004F}, // 82
    {"keyboard_key_Left", 0x25, 0x200050}, // 83
    {"keyboard_key_Down", 0x28, 0x200051}, // 84
    {"keyboard_key_Up", 0x26, 0x200052}, // 85
    {"keyboard_key_Num Lock", 0x90, 0x200053}, // 86
    {"keyboard_key_Num /", 0x6F, 0x200054}, // 87
    {"keyboard_key_Num *", 0x6A, 0x200055}, // 88
    {"keyboard_key_Num -", 0x6D, 0x200056}, // 89
    {"keyboard_key_Num +", 0x6B, 0x200057}, // 90
    {"keyboard_key_Num Enter", 0x101, 0x200058}, // 91
    {"keyboard_key_Num 1", 0x61, 0x200059}, // 92
    {"keyboard_key_Num 2", 0x62, 0x20005A}, // 93
    {"keyboard_key_Num 3", 0x63, 0x20005B}, // 94
    {"keyboard_key_Num 4", 0x64, 0x20005C}, // 95
    {"keyboard_key_Num 5", 0x65, 0x20005D}, // 96
    {"keyboard_key_Num 6", 0x66, 0x20005E}, // 97
    {"keyboard_key_Num 7", 0x67, 0x20005F}, // 98
    {"keyboard_key_Num 8", 0x68, 0x200060}, // 99
    {"keyboard_key_Num 9", 0x69, 0x200061}, // 100
    {"keyboard_key_Num 0", 0x60, 0x200062}, // 101
    {"keyboard_key_Decimal", 0x6E, 0x200063}, // 102
    {"keyboard_key_App", 0x5D, 0x200065}, // 103
    {"keyboard_key_K45", 0xE2, 0x200064}, // 104
    {"keyboard_key_K56", 0xC1, 0x200087}, // 105
    {"keyboard_key_K14", 0xFF, 0x200089}, // 106
    {"keyboard_key_K107", 0xC2, 0x200085}, // 107
    {"keyboard_key_K131", 0xEB, 0x20008B}, // 108
    {"keyboard_key_K132", 0xFF, 0x20008A}, // 109
    {"keyboard_key_K133", 0xFF, 0x200088}, // 110
    {"keyboard_key_K150", 0xE9, 0x200091}, // 111
    {"keyboard_key_K151", 0xFF, 0x200090}, // 112
    {"keyboard_key_K42", 0xBF, 0x200032}, // 113
    {"keyboard_key_Launch App2", 0xB7, 0x309201}, // 114
    {"keyboard_key_Browaer Home", 0xAC, 0x302302}, // 115
    {"keyboard_key_Media Play Pause", 0xB3, 0x30CD00}, // 116
    {"keyboard_key_Browser Search", 0xAA, 0x302102}, // 117
    {"keyboard_key_Launch Mail", 0xB4, 0x308A01}, // 118
    {"keyboard_key_Volume Up", 0xAF, 0x30E900}, // 119
    {"keyboard_key_Volume Mute", 0xAD, 0x30E200}, // 120
    {"keyboard_key_Media Stop", 0xB2, 0x30B700}, // 121
    {"keyboard_key_Volume Down", 0xAE, 0x30EA00}, // 122
    {"keyboard_key_Browser Favorites", 0xAB, 0x302A02}, // 123
    {"keyboard_key_Browser ForWard", 0xA7, 0x302502}, // 124
    {"keyboard_key_Browser Back", 0xA6, 0x302402}, // 125
    {"keyboard_key_Media Prev Track", 0xB1, 0x30B600}, // 126
    {"keyboard_key_Media Next Track", 0xB0, 0x30B500}, // 127
    {"keyboard_key_Computer", 0xB6, 0x309401}, // 128
    {"keyboard_key_Browser Refresh", 0xA8, 0x302702}, // 129
    {"wed_stop", 0xA9, 0x302602}, // 130
    {"keyboard_key_Launch Media Select", 0xB5, 0x308301}, // 131
    {"keyboard_key_Power", 0x103, 0x400100}, // 132
    {"keyboard_key_Sleep", 0x104, 0x400200}, // 133
    {"keyboard_key_Wakeup", 0x105, 0x400400}, // 134
    {"keyboard_key_M1", 0x00, 0xD0A201}, // 135
    {"keyboard_key_M2", 0x00, 0xD0A202}, // 136
    {"keyboard_key_M3", 0x00, 0xD0A203}, // 137
    {"keyboard_key_M4", 0x00, 0xD0A204}, // 138
    {"keyboard_key_M5", 0x00, 0xD0A205}, // 139
    {"keyboard_key_FN", 0x00, 0xA00100}, // 140
    {"keyboard_key_GM", 0x00, 0xA01B00}, // 141
    {"keyboard_key_COLOR", 0x00, 0xA01100}, // 142
};

const KeyScanCode kPlainKeyScanCodes[kPlainKeyRows] = {
    {0x1D, false}, // LCtrl
    {0x2A, false}, // LShift
    {0x38, false}, // LAlt
    {0x5B, true}, // LWin
    {0x1D, true}, // RCtrl
    {0x36, false}, // RShift
    {0x38, true}, // RAlt
    {0x5C, true}, // RWin
    {0x1E, false}, // A
    {0x30, false}, // B
    {0x2E, false}, // C
    {0x20, false}, // D
    {0x12, false}, // E
    {0x21, false}, // F
    {0x22, false}, // G
    {0x23, false}, // H
    {0x17, false}, // I
    {0x24, false}, // J
    {0x25, false}, // K
    {0x26, false}, // L
    {0x32, false}, // M
    {0x31, false}, // N
    {0x18, false}, // O
    {0x19, false}, // P
    {0x10, false}, // Q
    {0x13, false}, // R
    {0x1F, false}, // S
    {0x14, false}, // T
    {0x16, false}, // U
    {0x2F, false}, // V
    {0x11, false}, // W
    {0x2D, false}, // X
    {0x15, false}, // Y
    {0x2C, false}, // Z
    {0x02, false}, // 1
    {0x03, false}, // 2
    {0x04, false}, // 3
    {0x05, false}, // 4
    {0x06, false}, // 5
    {0x07, false}, // 6
    {0x08, false}, // 7
    {0x09, false}, // 8
    {0x0A, false}, // 9
    {0x0B, false}, // 0
    {0x1C, false}, // Enter
    {0x01, false}, // Esc
    {0x0E, false}, // BackSpace
    {0x0F, false}, // Tab
    {0x39, false}, // Space
    {0x0C, false}, // -
    {0x0D, false}, // =
    {0x1A, false}, // [
    {0x1B, false}, // ]
    {0x2B, false}, // xiegang
    {0x27, false}, // ;
    {0x28, false}, // '
    {0x29, false}, // `
    {0x33, false}, // <
    {0x34, false}, // .
    {0x35, false}, // /
    {0x3A, false}, // Caplk
    {0x3B, false}, // F1
    {0x3C, false}, // F2
    {0x3D, false}, // F3
    {0x3E, false}, // F4
    {0x3F, false}, // F5
    {0x40, false}, // F6
    {0x41, false}, // F7
    {0x42, false}, // F8
    {0x43, false}, // F9
    {0x44, false}, // F10
    {0x57, false}, // F11
    {0x58, false}, // F12
    {0x37, true}, // Print Scr
    {0x46, false}, // Scroll Lock
    {0x45, false}, // Pause
    {0x52, true}, // Insert
    {0x47, true}, // Home
    {0x49, true}, // Page Up
    {0x53, true}, // Delete
    {0x4F, true}, // End
    {0x51, true}, // Page Down
    {0x4D, true}, // Right
    {0x4B, true}, // Left
    {0x50, true}, // Down
    {0x48, true}, // Up
    {0x45, true}, // Num Lock
    {0x35, true}, // Num /
    {0x37, false}, // Num *
    {0x4A, false}, // Num -
    {0x4E, false}, // Num +
    {0x1C, true}, // Num Enter
    {0x4F, false}, // Num 1
    {0x50, false}, // Num 2
    {0x51, false}, // Num 3
    {0x4B, false}, // Num 4
    {0x4C, false}, // Num 5
    {0x4D, false}, // Num 6
    {0x47, false}, // Num 7
    {0x48, false}, // Num 8
    {0x49, false}, // Num 9
    {0x52, false}, // Num 0
    {0x53, false}, // Decimal
    {0x5D, true}, // App
    {0x56, false}, // K45
    {0x73, false}, // K56
    {0x7D, false}, // K14
    {0x7E, false}, // K107
    {0x7B, false}, // K131
    {0x79, false}, // K132
    {0x70, false}, // K133
    {0xF1, false}, // K150
    {0xF2, false}, // K151
};

// Empty slots hold a keyboard key with no usage; they match a device key only when the
// keyboard itself reports that code.
const uint32_t kKeySlotTable[kKeySlots] = {
    0x200029, // 0 Esc
    0x20003A, // 1 F1
    0x20003B, // 2 F2
    0x20003C, // 3 F3
    0x20003D, // 4 F4
    0x20003E, // 5 F5
    0x20003F, // 6 F6
    0x200040, // 7 F7
    0x200041, // 8 F8
    0x200042, // 9 F9
    0x200043, // 10 F10
    0x200044, // 11 F11
    0x200045, // 12 F12
    0x200046, // 13 Print Scr
    0x200047, // 14 Scroll Lock
    0x200048, // 15 Pause
    0xA01B00, // 16 GM
    0xA01100, // 17 COLOR
    kEmptySlot, // 18
    kEmptySlot, // 19
    kEmptySlot, // 20
    0x200035, // 21 `
    0x20001E, // 22 1
    0x20001F, // 23 2
    0x200020, // 24 3
    0x200021, // 25 4
    0x200022, // 26 5
    0x200023, // 27 6
    0x200024, // 28 7
    0x200025, // 29 8
    0x200026, // 30 9
    0x200027, // 31 0
    0x20002D, // 32 -
    0x20002E, // 33 =
    0x20002A, // 34 BackSpace
    0x200049, // 35 Insert
    0x20004A, // 36 Home
    0x20004B, // 37 Page Up
    0x200053, // 38 Num Lock
    0x200054, // 39 Num /
    0x200055, // 40 Num *
    0x200056, // 41 Num -
    0x20002B, // 42 Tab
    0x200014, // 43 Q
    0x20001A, // 44 W
    0x200008, // 45 E
    0x200015, // 46 R
    0x200017, // 47 T
    0x20001C, // 48 Y
    0x200018, // 49 U
    0x20000C, // 50 I
    0x200012, // 51 O
    0x200013, // 52 P
    0x20002F, // 53 [
    0x200030, // 54 ]
    0x200031, // 55 xiegang
    0x20004C, // 56 Delete
    0x20004D, // 57 End
    0x20004E, // 58 Page Down
    0x20005F, // 59 Num 7
    0x200060, // 60 Num 8
    0x200061, // 61 Num 9
    0x200032, // 62 K42
    0x200039, // 63 Caplk
    0x200004, // 64 A
    0x200016, // 65 S
    0x200007, // 66 D
    0x200009, // 67 F
    0x20000A, // 68 G
    0x20000B, // 69 H
    0x20000D, // 70 J
    0x20000E, // 71 K
    0x20000F, // 72 L
    0x200033, // 73 ;
    0x200034, // 74 '
    0x200028, // 75 Enter
    0x20005C, // 76 Num 4
    0x20005D, // 77 Num 5
    0x20005E, // 78 Num 6
    0x20008A, // 79 K132
    0x20008B, // 80 K131
    0x200090, // 81 K151
    0x200091, // 82 K150
    0x200088, // 83 K133
    0x200200, // 84 LShift
    0x20001D, // 85 Z
    0x20001B, // 86 X
    0x200006, // 87 C
    0x200019, // 88 V
    0x200005, // 89 B
    0x200011, // 90 N
    0x200010, // 91 M
    0x200036, // 92 <
    0x200037, // 93 .
    0x200038, // 94 /
    0x202000, // 95 RShift
    0x200052, // 96 Up
    0x200059, // 97 Num 1
    0x20005A, // 98 Num 2
    0x20005B, // 99 Num 3
    0x200087, // 100 K56
    0x200089, // 101 K14
    0x200064, // 102 K45
    0x200085, // 103 K107
    kEmptySlot, // 104
    0x200100, // 105 LCtrl
    0x200800, // 106 LWin
    0x200400, // 107 LAlt
    0x20002C, // 108 Space
    0x204000, // 109 RAlt
    0xA00100, // 110 FN
    0x200065, // 111 App
    0x201000, // 112 RCtrl
    0x200050, // 113 Left
    0x200051, // 114 Down
    0x20004F, // 115 Right
    0x200062, // 116 Num 0
    0x200063, // 117 Decimal
    0x200058, // 118 Num Enter
    0x200057, // 119 Num +
    0xD0A201, // 120 M1
    0xD0A202, // 121 M2
    0xD0A203, // 122 M3
    0xD0A204, // 123 M4
    0xD0A205, // 124 M5
    0x208000, // 125 RWin
    kEmptySlot, // 126
    kEmptySlot, // 127
    kEmptySlot, // 128
    kEmptySlot, // 129
    kEmptySlot, // 130
    kEmptySlot, // 131
    kEmptySlot, // 132
    kEmptySlot, // 133
    kEmptySlot, // 134
    kEmptySlot, // 135
    kEmptySlot, // 136
    kEmptySlot, // 137
    kEmptySlot, // 138
    kEmptySlot, // 139
    kEmptySlot, // 140
    kEmptySlot, // 141
    kEmptySlot, // 142
    kEmptySlot, // 143
    kEmptySlot, // 144
    kEmptySlot, // 145
    kEmptySlot, // 146
    kEmptySlot, // 147
    kEmptySlot, // 148
    kEmptySlot, // 149
    kEmptySlot, // 150
    kEmptySlot, // 151
    kEmptySlot, // 152
    kEmptySlot, // 153
    kEmptySlot, // 154
    kEmptySlot, // 155
    kEmptySlot, // 156
    kEmptySlot, // 157
    kEmptySlot, // 158
    kEmptySlot, // 159
    kEmptySlot, // 160
    kEmptySlot, // 161
    kEmptySlot, // 162
    kEmptySlot, // 163
    kEmptySlot, // 164
    kEmptySlot, // 165
    kEmptySlot, // 166
    kEmptySlot, // 167
    kEmptySlot, // 168
    kEmptySlot, // 169
};
// clang-format on

int FindKeyNameRow(uint32_t code, bool plainOnly) {
    const int rows = plainOnly ? kPlainKeyRows : kKeyNameRows;
    for (int i = 0; i < rows; ++i) {
        if (kKeyNameTable[i].code == code)
            return i;
    }
    return -1;
}

int FindPlainKeyByVirtualKey(uint16_t virtualKey) {
    for (int i = 0; i < kPlainKeyRows; ++i) {
        if (kKeyNameTable[i].virtualKey == virtualKey)
            return i;
    }
    return -1;
}

} // namespace talyx
