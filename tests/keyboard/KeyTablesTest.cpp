#include "keyboard/KeyTables.h"

#include <set>
#include <string>

#include <gtest/gtest.h>

#include "keyboard/KeySlotMaps.h"

namespace talyx {
namespace {

std::string hex(const std::vector<uint8_t>& bytes) {
    std::string out;
    char b[4];
    for (uint8_t v : bytes) {
        std::snprintf(b, sizeof b, "%02x ", v);
        out += b;
    }
    return out;
}

int rowNamed(const std::string& name) {
    for (int i = 0; i < kKeyNameRows; ++i) {
        if (name == kKeyNameTable[i].name)
            return i;
    }
    return -1;
}

TEST(KeyNameTable, RowsCarryTheirCodesAndVirtualKeys) {
    struct Expect {
        int row;
        const char* name;
        uint16_t vk;
        uint32_t code;
    };
    const Expect rows[] = {
        {0, "keyboard_key_LCtrl", 0xA2, 0x200100},
        {7, "keyboard_key_RWin", 0x5C, 0x208000},
        {8, "keyboard_key_A", 0x41, 0x200004},
        {33, "keyboard_key_Z", 0x5A, 0x20001D},
        {43, "keyboard_key_0", 0x30, 0x200027},
        {48, "keyboard_key_Space", 0x20, 0x20002C},
        {53, "keyboard_key_xiegang", 0xDC, 0x200031},
        {54, "keyboard_key_;", 0xBA, 0x200033},
        {72, "keyboard_key_F12", 0x7B, 0x200045},
        {91, "keyboard_key_Num Enter", 0x101, 0x200058},
        {101, "keyboard_key_Num 0", 0x60, 0x200062},
        {103, "keyboard_key_App", 0x5D, 0x200065},
        {112, "keyboard_key_K151", 0xFF, 0x200090},
        {113, "keyboard_key_K42", 0xBF, 0x200032},
        {116, "keyboard_key_Media Play Pause", 0xB3, 0x30CD00},
        {114, "keyboard_key_Launch App2", 0xB7, 0x309201},
        {130, "wed_stop", 0xA9, 0x302602},
        {132, "keyboard_key_Power", 0x103, 0x400100},
        {139, "keyboard_key_M5", 0, 0xD0A205},
        {141, "keyboard_key_GM", 0, 0xA01B00},
        {142, "keyboard_key_COLOR", 0, 0xA01100},
    };
    for (const Expect& e : rows) {
        EXPECT_STREQ(kKeyNameTable[e.row].name, e.name) << e.row;
        EXPECT_EQ(kKeyNameTable[e.row].virtualKey, e.vk) << e.name;
        EXPECT_EQ(kKeyNameTable[e.row].code, e.code) << e.name;
    }
    std::set<uint32_t> codes;
    for (int i = 0; i < kPlainKeyRows; ++i) {
        if (i >= 8) {
            EXPECT_EQ(AssignmentType(kKeyNameTable[i].code), kAssignKeyboardKey) << i;
            EXPECT_EQ(AssignmentHigh(kKeyNameTable[i].code), 0) << i;
        }
        EXPECT_TRUE(codes.insert(kKeyNameTable[i].code).second) << "duplicate code in row " << i;
    }
    EXPECT_EQ(FindKeyNameRow(0x200032, true), -1); // K42 is not a plain key
    EXPECT_EQ(FindKeyNameRow(0x200032), 113);
    EXPECT_EQ(FindPlainKeyByVirtualKey(0x41), 8);
}

TEST(KeyNameTable, PlainKeysHaveDistinctSetOneScanCodes) {
    std::set<std::pair<int, bool>> seen;
    for (int i = 0; i < kPlainKeyRows; ++i) {
        const KeyScanCode s = kPlainKeyScanCodes[i];
        EXPECT_NE(s.code, 0) << kKeyNameTable[i].name;
        EXPECT_TRUE(seen.insert({s.code, s.extended}).second) << "scan code shared by " << kKeyNameTable[i].name;
    }
    auto scan = [](const char* name) { return kPlainKeyScanCodes[rowNamed(name)]; };
    EXPECT_EQ(scan("keyboard_key_Esc").code, 0x01);
    EXPECT_EQ(scan("keyboard_key_A").code, 0x1E);
    EXPECT_EQ(scan("keyboard_key_F11").code, 0x57);
    EXPECT_TRUE(scan("keyboard_key_RCtrl").extended);
    EXPECT_FALSE(scan("keyboard_key_LCtrl").extended);
    EXPECT_TRUE(scan("keyboard_key_Up").extended);
    EXPECT_FALSE(scan("keyboard_key_Num 8").extended);
    EXPECT_EQ(scan("keyboard_key_Num 8").code, scan("keyboard_key_Up").code);
}

TEST(KeySlotTable, SlotsHoldTheKeysOfTheLayout) {
    auto codeOf = [](const char* name) { return kKeyNameTable[rowNamed(name)].code; };
    EXPECT_EQ(kKeySlotTable[0], codeOf("keyboard_key_Esc"));
    EXPECT_EQ(kKeySlotTable[15], codeOf("keyboard_key_Pause"));
    EXPECT_EQ(kKeySlotTable[16], codeOf("keyboard_key_GM"));
    EXPECT_EQ(kKeySlotTable[21], codeOf("keyboard_key_`"));
    EXPECT_EQ(kKeySlotTable[41], codeOf("keyboard_key_Num -"));
    EXPECT_EQ(kKeySlotTable[62], codeOf("keyboard_key_K42"));
    EXPECT_EQ(kKeySlotTable[83], codeOf("keyboard_key_K133"));
    EXPECT_EQ(kKeySlotTable[103], codeOf("keyboard_key_K107"));
    EXPECT_EQ(kKeySlotTable[kFnKeySlot], codeOf("keyboard_key_FN"));
    EXPECT_EQ(kKeySlotTable[119], codeOf("keyboard_key_Num +"));
    EXPECT_EQ(kKeySlotTable[124], codeOf("keyboard_key_M5"));
    EXPECT_EQ(kKeySlotTable[125], codeOf("keyboard_key_RWin"));
    int empty = 0;
    std::set<uint32_t> used;
    for (int s = 0; s < kKeySlots; ++s) {
        if (kKeySlotTable[s] == kEmptySlot) {
            ++empty;
            continue;
        }
        EXPECT_GE(FindKeyNameRow(kKeySlotTable[s]), 0) << "slot " << s;
        EXPECT_TRUE(used.insert(kKeySlotTable[s]).second) << "slot " << s << " repeats a key";
    }
    EXPECT_EQ(empty, 3 + 1 + 44); // 18-20, 104, 126-169
}

// Three factory bytes per device key.
std::vector<uint8_t> codes(const std::vector<uint32_t>& keys) {
    std::vector<uint8_t> out;
    for (uint32_t k : keys) {
        out.push_back(AssignmentType(k));
        out.push_back(AssignmentHigh(k));
        out.push_back(AssignmentLow(k));
    }
    return out;
}

TEST(KeySlotMaps, FirstMatchingDeviceKeyWinsAndEmptySlotsMatchOnlyAReportedEmptyCode) {
    // Device keys: 0 Esc, 1 A, 2 Esc again, 3 an unknown code, 4 F1.
    const auto factory = codes({0x200029, 0x200004, 0x200029, 0x20FFEE, 0x20003A});
    const std::vector<uint8_t> leds = {10, 11, 12, 13, 14};
    KeySlotMaps maps = BuildKeySlotMaps(factory.data(), leds.data(), 5);
    EXPECT_EQ(maps.keyMap[0], 0);
    EXPECT_EQ(maps.ledMap[0], 10);
    EXPECT_EQ(maps.keyMap[1], 4);
    EXPECT_EQ(maps.ledMap[1], 14);
    EXPECT_EQ(maps.keyMap[64], 1); // A
    EXPECT_EQ(maps.keyMap[18], kNoDeviceKey);
    EXPECT_EQ(maps.ledMap[18], kNoDeviceKey);
    int mapped = 0;
    for (int s = 0; s < kKeySlots; ++s)
        mapped += maps.keyMap[s] != kNoDeviceKey;
    EXPECT_EQ(mapped, 3);

    const auto withEmpty = codes({0x200029, kEmptySlot});
    maps = BuildKeySlotMaps(withEmpty.data(), leds.data(), 2);
    EXPECT_EQ(maps.keyMap[18], 1);
    EXPECT_EQ(maps.keyMap[104], 1);
    EXPECT_EQ(maps.keyMap[169], 1);

    // More keys than the block can hold: no maps.
    std::vector<uint8_t> many(3 * 171, 0x20);
    maps = BuildKeySlotMaps(many.data(), nullptr, 171);
    EXPECT_EQ(maps.keyMap[0], kNoDeviceKey);
}

TEST(KeyAssignmentBlock, MacrosAreRenumberedAndUnknownOnesFallBackToTheDefault) {
    // Device keys: 0 Esc, 1 F1, 2 F2, 3 F3, 4 a key no slot holds.
    const auto factory = codes({0x200029, 0x20003A, 0x20003B, 0x20003C, 0x20FFEE});
    const std::vector<uint8_t> leds = {0, 1, 2, 3, 4};
    const KeySlotMaps maps = BuildKeySlotMaps(factory.data(), leds.data(), 5);
    std::vector<KeyAssignment> list(kKeySlots);
    for (int s = 0; s < kKeySlots; ++s)
        list[s] = {kKeySlotTable[s], kKeySlotTable[s]};
    list[0].assignment = MakeAssignment(kAssignMacroPlayMode, 3, 1); // Esc → macro 3
    list[1].assignment = MakeAssignment(kAssignMacroRepeat, 3, 9);   // F1 → macro 3 again
    list[2].assignment = MakeAssignment(kAssignMacroPlayMode, 1, 0); // F2 → macro 1
    list[3].assignment = MakeAssignment(kAssignMacroPlayMode, 7, 0); // F3 → beyond the library
    list[3].defaultAssignment = 0x200005;
    const KeyAssignmentBlock out = BuildKeyAssignmentBlock(factory.data(), 5, maps, list, 5);
    ASSERT_EQ(out.block.size(), 15u);
    const std::vector<uint8_t> expected = {0x70, 0, 1, 0x71, 0, 9, 0x70, 1, 0, 0x20, 0x00, 0x05, 0x20, 0xFF, 0xEE};
    EXPECT_EQ(out.block, expected) << hex(out.block);
    EXPECT_EQ(out.usedMacros, (std::vector<int>{3, 1}));
    EXPECT_EQ(CollectUsedMacros(maps, list, 5), out.usedMacros);
    EXPECT_EQ(list[0].assignment, MakeAssignment(kAssignMacroPlayMode, 3, 1)); // the list is untouched

    // Slots from 126 on are never written, and a short key list leaves the rest alone.
    KeySlotMaps far;
    far.keyMap[130] = 2;
    far.keyMap[5] = 1;
    std::vector<KeyAssignment> shortList(3, KeyAssignment{0x200004, 0x200004});
    const KeyAssignmentBlock none = BuildKeyAssignmentBlock(factory.data(), 5, far, shortList, 0);
    EXPECT_EQ(none.block, factory) << hex(none.block);
}

} // namespace
} // namespace talyx
