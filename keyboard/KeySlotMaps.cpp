#include "keyboard/KeySlotMaps.h"

#include <algorithm>

namespace talyx {
namespace {

bool isMacro(uint32_t code) {
    const uint8_t type = AssignmentType(code);
    return type == kAssignMacroPlayMode || type == kAssignMacroRepeat;
}

// Position of a library macro in the used list, appending it when new.
int usedIndex(std::vector<int>& used, int macro) {
    const auto it = std::find(used.begin(), used.end(), macro);
    if (it != used.end())
        return static_cast<int>(it - used.begin());
    used.push_back(macro);
    return static_cast<int>(used.size()) - 1;
}

} // namespace

KeySlotMaps BuildKeySlotMaps(const uint8_t* factoryCodes, const uint8_t* ledPositions, int keyCount) {
    KeySlotMaps maps;
    if (!factoryCodes || keyCount <= 0 || keyCount > kKeySlots)
        return maps;
    for (int slot = 0; slot < kKeySlots; ++slot) {
        const uint32_t code = kKeySlotTable[slot];
        for (int key = 0; key < keyCount; ++key) {
            const uint8_t* f = factoryCodes + 3 * key;
            if (f[0] == AssignmentType(code) && f[1] == AssignmentHigh(code) && f[2] == AssignmentLow(code)) {
                maps.keyMap[slot] = static_cast<uint8_t>(key);
                break;
            }
        }
        if (maps.keyMap[slot] != kNoDeviceKey && ledPositions)
            maps.ledMap[slot] = ledPositions[maps.keyMap[slot]];
    }
    return maps;
}

KeyAssignmentBlock BuildKeyAssignmentBlock(const uint8_t* factoryCodes, int keyCount, const KeySlotMaps& maps,
                                           const std::vector<KeyAssignment>& keyList, int macroCount) {
    KeyAssignmentBlock out;
    if (keyCount <= 0)
        return out;
    out.block.assign(factoryCodes, factoryCodes + 3 * keyCount);
    const int slots = std::min<int>(kWrittenKeySlots, static_cast<int>(keyList.size()));
    for (int slot = 0; slot < slots; ++slot) {
        const uint8_t key = maps.keyMap[slot];
        if (key == kNoDeviceKey || key >= keyCount)
            continue;
        uint32_t code = keyList[slot].assignment;
        if (isMacro(code)) {
            const int macro = AssignmentHigh(code);
            if (macro < macroCount)
                code = MakeAssignment(AssignmentType(code), static_cast<uint8_t>(usedIndex(out.usedMacros, macro)),
                                      AssignmentLow(code));
            else
                code = keyList[slot].defaultAssignment;
        }
        out.block[3 * key + 0] = AssignmentType(code);
        out.block[3 * key + 1] = AssignmentHigh(code);
        out.block[3 * key + 2] = AssignmentLow(code);
    }
    return out;
}

std::vector<int> CollectUsedMacros(const KeySlotMaps& maps, const std::vector<KeyAssignment>& keyList, int macroCount) {
    std::vector<int> used;
    const int slots = std::min<int>(kWrittenKeySlots, static_cast<int>(keyList.size()));
    for (int slot = 0; slot < slots; ++slot) {
        if (maps.keyMap[slot] == kNoDeviceKey)
            continue;
        const uint32_t code = keyList[slot].assignment;
        if (isMacro(code) && AssignmentHigh(code) < macroCount)
            usedIndex(used, AssignmentHigh(code));
    }
    return used;
}

} // namespace talyx
