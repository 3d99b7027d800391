#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "keyboard/KeyTables.h"

namespace talyx {

constexpr uint8_t kNoDeviceKey = 255;

// For each key slot, the keyboard's own key number and the key's LED position
// (kNoDeviceKey for none).
struct KeySlotMaps {
    std::array<uint8_t, kKeySlots> keyMap;
    std::array<uint8_t, kKeySlots> ledMap;
    KeySlotMaps() {
        keyMap.fill(kNoDeviceKey);
        ledMap.fill(kNoDeviceKey);
    }
};

// Matches each slot's code against the keyboard's factory codes (3 bytes per device key:
// type, high, low) and takes the first, lowest-numbered device key with that code; the LED
// map then takes that key's LED position. keyCount is what the keyboard reported (at most
// 170; more gives empty maps, since the block that holds the codes cannot).
KeySlotMaps BuildKeySlotMaps(const uint8_t* factoryCodes, const uint8_t* ledPositions, int keyCount);

// One entry of a profile's key list: the current and the default assignment of a slot.
struct KeyAssignment {
    uint32_t assignment = 0;
    uint32_t defaultAssignment = 0;
};

// The block of key assignments written to the keyboard (3 bytes per device key) and the
// list of library macros the block refers to, in the order the block numbers them.
struct KeyAssignmentBlock {
    std::vector<uint8_t> block;
    std::vector<int> usedMacros;
};

// Builds the key assignment block: it starts as the factory codes, so device keys that no
// slot reaches keep them; then slots 0 to 125 that map to a device key write their
// assignment there. keyList is indexed by slot (slots past its end keep the factory code).
// A macro assignment (0x70, 0x71) whose macro number is inside the library (below
// macroCount) is renumbered to the macro's place in usedMacros, which grows in order of
// first use; one that points past the library is replaced by the slot's default. The key
// list itself is not changed.
KeyAssignmentBlock BuildKeyAssignmentBlock(const uint8_t* factoryCodes, int keyCount, const KeySlotMaps& maps,
                                           const std::vector<KeyAssignment>& keyList, int macroCount);

// The used-macro list alone, formed as the block builder forms it.
std::vector<int> CollectUsedMacros(const KeySlotMaps& maps, const std::vector<KeyAssignment>& keyList, int macroCount);

} // namespace talyx
