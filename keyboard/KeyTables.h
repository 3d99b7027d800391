#pragma once

#include <cstdint>

namespace talyx {

// Assignment code: what a key does, 24 bits = type << 16 | code high << 8 | code low. The
// profile stores it as one integer; the keyboard takes the same three bytes in that order.
constexpr uint8_t AssignmentType(uint32_t code) {
    return static_cast<uint8_t>((code >> 16) & 0xFF);
}
constexpr uint8_t AssignmentHigh(uint32_t code) {
    return static_cast<uint8_t>((code >> 8) & 0xFF);
}
constexpr uint8_t AssignmentLow(uint32_t code) {
    return static_cast<uint8_t>(code & 0xFF);
}
constexpr uint32_t MakeAssignment(uint8_t type, uint8_t high, uint8_t low) {
    return (static_cast<uint32_t>(type) << 16) | (static_cast<uint32_t>(high) << 8) | low;
}

// Assignment types.
constexpr uint8_t kAssignNone = 0x00;
constexpr uint8_t kAssignMouseButton = 0x10;
constexpr uint8_t kAssignHorizontalScroll = 0x11;
constexpr uint8_t kAssignVerticalScroll = 0x12;
constexpr uint8_t kAssignDpiStep = 0x13;
constexpr uint8_t kAssignFireKey = 0x14;
constexpr uint8_t kAssignDpiShift = 0x16;
constexpr uint8_t kAssignKeyboardKey = 0x20;
constexpr uint8_t kAssignShowWindow = 0x23;
constexpr uint8_t kAssignConsumer = 0x30;
constexpr uint8_t kAssignSystem = 0x40;
constexpr uint8_t kAssignMacroPlayMode = 0x70;
constexpr uint8_t kAssignMacroRepeat = 0x71;
constexpr uint8_t kAssignRecoil = 0x72;
constexpr uint8_t kAssignKeyboardFunction = 0xA0;
constexpr uint8_t kAssignMKey = 0xD0;

// One row of the key name table: the language key of its name, the virtual-key code a
// captured or recorded key arrives with (0 for keys that only exist on this keyboard),
// and its assignment code.
struct KeyNameRow {
    const char* name;
    uint16_t virtualKey;
    uint32_t code;
};

constexpr int kKeyNameRows = 143;
// Rows 0 to 112 are the plain keys; key capture searches only those.
constexpr int kPlainKeyRows = 113;
extern const KeyNameRow kKeyNameTable[kKeyNameRows];

// The set-1 make code of a plain key and whether it carries the 0xE0 prefix (the extended
// flag of a key event). Num Lock and Pause share 0x45: Num Lock is reported extended, Pause
// (whose real sequence starts with 0xE1) is not, as keyboard hooks deliver them.
struct KeyScanCode {
    uint8_t code;
    bool extended;
};
extern const KeyScanCode kPlainKeyScanCodes[kPlainKeyRows];

// The key slot table: one slot per key button of the keyboard page ("key_" + slot and
// "light_" + slot), holding the factory code of the physical key at that place. The
// keyboard's own key numbers are found by matching these codes against the factory codes
// it reports.
constexpr int kKeySlots = 170;
// Slots 126 to 169 are empty on every layout and never written to the keyboard.
constexpr int kWrittenKeySlots = 126;
constexpr uint32_t kEmptySlot = 0x200000;
extern const uint32_t kKeySlotTable[kKeySlots];

// The slot of the Fn key, which the function mode enables and disables.
constexpr int kFnKeySlot = 110;

// Row of the key name table with this assignment code, or -1. Plain keys only when
// plainOnly is set.
int FindKeyNameRow(uint32_t code, bool plainOnly = false);
// Row of a plain key with this virtual-key code, or -1.
int FindPlainKeyByVirtualKey(uint16_t virtualKey);

} // namespace talyx
