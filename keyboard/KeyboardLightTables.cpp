#include "keyboard/KeyboardLightTables.h"

#include <array>

namespace talyx {

// clang-format off
const uint8_t kColumnTable[kLightColumns][kLightRows] = {
    {kNoSlot, 120, 121, 122, 123, 124},
    {kNoSlot, 21, 42, 63, 84, 105},
    {0, 22, 43, 64, 102, 106},
    {1, 23, 44, 65, 85, 20},
    {2, 24, 45, 66, 86, 107},
    {3, 25, 46, 67, 87, 126},
    {4, 26, 47, 68, 88, 127},
    {18, 27, 48, 69, 89, 108},
    {5, 28, 49, 70, 90, 128},
    {6, 29, 50, 71, 91, 129},
    {7, 30, 51, 72, 92, 109},
    {8, 31, 52, 73, 93, 125},
    {9, 32, 53, 74, 94, 110},
    {10, 33, 54, 62, 100, 17},
    {11, 34, 55, 75, 19, 130},
    {12, 101, 103, 79, 95, 112},
    {13, 35, 56, 82, 80, 113},
    {14, 36, 57, 83, 96, 114},
    {15, 37, 58, 111, 81, 115},
    {kNoSlot, 38, 59, 76, 97, 116},
    {kNoSlot, 39, 60, 77, 98, 104},
    {kNoSlot, 40, 61, 78, 99, 117},
    {kNoSlot, 41, 16, 119, 118, 131},
};

// Function row right to left, down the left edge, along the bottom row and the keypad's
// right edge, then back and forth through the number, shift, top-letter and home rows.
const uint8_t kLightPath[kLightPathLength] = {
    15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0,
    21, 42, 63, 84,
    105, 106, 107, 108, 109,
    125, 110, 17,
    112, 113, 114, 115, 116, 117, 118, 119,
    41, 40, 39, 38, 37, 36, 35, 34, 33, 32, 31, 30, 29, 28, 27, 26, 25, 24, 23, 22,
    43, 64, 102,
    85, 86, 87, 88, 89, 90, 91, 92, 93, 94,
    100,
    95, 96, 97, 98, 99,
    78,
    61, 60, 59, 58, 57, 56, 55, 54, 53, 52, 51, 50, 49, 48, 47, 46, 45, 44,
    65, 66, 67, 68, 69, 70, 71, 72, 73, 74,
    62, 75, 76, 77,
};

const uint8_t kWaveCurve[kWaveSteps] = {
    22, 24, 27, 30, 33, 36, 39, 42, 45, 49, 53, 57, 61, 65, 69, 73,
    77, 81, 85, 89, 94, 99, 104, 109, 114, 119, 124, 129, 134, 140, 146, 152,
    158, 164, 170, 176, 182, 188, 194, 200, 206, 213, 220, 227, 234, 241, 248, 255,
    255, 248, 241, 234, 227, 220, 213, 206, 200, 194, 188, 182, 176, 170, 164, 158,
    152, 146, 140, 134, 129, 124, 119, 114, 109, 104, 99, 94, 89, 85, 81, 77,
    73, 69, 65, 61, 57, 53, 49, 45, 42, 39, 36, 33, 30, 27, 24, 22,
};

const uint8_t kRippleCurve[kRippleSteps] = {
    0, 4, 8, 14, 22, 33, 45, 61, 77, 84, 100, 110, 120, 130, 140, 150,
    158, 166, 175, 182, 191, 204, 220, 234, 255, 248, 241, 234, 227, 220, 213, 206,
    200, 194, 188, 182, 176, 170, 164, 158, 152, 146, 140, 134, 129, 124, 119, 114,
    109, 104, 99, 94, 89, 85, 81, 77, 73, 69, 65, 61, 57, 53, 49, 45,
    42, 39, 36, 33, 30, 27, 24, 22, 20, 18, 16, 14, 12, 10, 9, 8,
    7, 6, 5, 4, 3, 2, 2, 1, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
};

// Rows by mode 0 to 30, columns by "Speed" 0 to 4. The fast wave (2) runs on a slower
// base so its tight bands stay readable; the zone presets (17) and the heartbeat (19) keep
// one pace whatever the speed.
const uint8_t kModePace[kModeCount][kBrightnessLevels] = {
    {8, 5, 3, 1, 0},  // 0
    {8, 5, 3, 1, 0},  // 1
    {12, 8, 5, 0, 0}, // 2
    {8, 5, 3, 1, 0},  // 3
    {8, 5, 3, 1, 0},  // 4
    {8, 5, 3, 1, 0},  // 5
    {8, 5, 3, 1, 0},  // 6
    {8, 5, 3, 1, 0},  // 7
    {8, 5, 3, 1, 0},  // 8
    {8, 5, 3, 1, 0},  // 9
    {8, 5, 3, 1, 0},  // 10
    {8, 5, 3, 1, 0},  // 11
    {8, 5, 3, 1, 0},  // 12
    {8, 5, 3, 1, 0},  // 13
    {8, 5, 3, 1, 0},  // 14
    {8, 5, 3, 1, 0},  // 15
    {8, 5, 3, 1, 0},  // 16
    {3, 3, 3, 3, 0},  // 17
    {8, 5, 3, 1, 0},  // 18
    {3, 3, 3, 3, 0},  // 19
    {8, 5, 3, 1, 0},  // 20
    {8, 5, 3, 1, 0},  // 21
    {8, 5, 3, 1, 0},  // 22
    {8, 5, 3, 1, 0},  // 23
    {8, 5, 3, 1, 0},  // 24
    {8, 5, 3, 1, 0},  // 25
    {8, 5, 3, 1, 0},  // 26
    {8, 5, 3, 1, 0},  // 27
    {8, 5, 3, 1, 0},  // 28
    {8, 5, 3, 1, 0},  // 29
    {8, 5, 3, 1, 0},  // 30
};

const uint8_t kSparkleSlots[kSparkleSlotCount] = {
    0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15,
    21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41,
    42, 43, 44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60, 61,
    63, 64, 65, 66, 67, 68, 69, 70, 71, 72, 73, 74, 75, 76, 77, 78,
    84, 85, 86, 87, 88, 89, 90, 91, 92, 93, 94, 95, 96, 97, 98, 99,
    105, 106, 107, 108, 109, 110, 111, 112, 113, 114, 115, 116, 117, 118, 119,
};

const uint8_t kVortexAngle[kKeySlots] = {
    13, 15, 16, 19, 21, 29, 34, 41, 48, 55, 62, 67, 71, 75, 77, 80,
    94, 130, 25, 117, 177, 7, 8, 9, 10, 12, 14, 17, 21, 27, 36, 48,
    60, 69, 75, 82, 84, 86, 87, 88, 89, 89, 3, 3, 3, 4, 4, 5,
    6, 8, 12, 21, 48, 75, 84, 88, 91, 92, 92, 93, 93, 93, 108, 189,
    189, 189, 188, 188, 187, 186, 184, 180, 171, 144, 117, 104, 99, 99, 99, 102,
    110, 106, 101, 100, 185, 183, 182, 180, 178, 175, 171, 165, 156, 144, 132, 113,
    108, 105, 104, 103, 123, 79, 184, 90, 109, 180, 179, 176, 167, 151, 137, 100,
    121, 117, 115, 112, 111, 108, 103, 98, 7, 2, 190, 185, 181, 144, 173, 171,
    163, 158, 125, 107, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
};

const ReactiveFade kReactiveFades[3] = {{7, 5}, {10, 8}, {25, 5}};

const uint8_t kHeartbeatCurve[kHeartbeatSteps] = {
    0, 94, 206, 255, 206, 94, 33, 10, 0, 45, 140, 182, 140, 61, 20, 4,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
};

const uint8_t kRainTail[kRainTailLength] = {255, 140, 57, 16};
const uint8_t kMeteorTail[kMeteorTailLength] = {255, 206, 164, 129, 99, 73, 53, 36, 24, 14, 8, 3};

const uint8_t kOverlayBlinkFactor[kBrightnessLevels] = {10, 7, 5, 3, 2};
const uint8_t kOverlayCycleStep[kBrightnessLevels] = {1, 2, 3, 4, 6};

const uint8_t kMusicBarShape[kLightColumns] = {
    120, 150, 180, 205, 225, 240, 250, 255, 250, 240, 225, 210,
    225, 240, 250, 255, 250, 240, 225, 205, 180, 150, 120,
};
// clang-format on

namespace {

struct SlotPlaces {
    std::array<int8_t, kKeySlots> column;
    std::array<int8_t, kKeySlots> row;
    std::array<int16_t, kKeySlots> pathIndex;
};

SlotPlaces buildPlaces() {
    SlotPlaces p{};
    p.column.fill(-1);
    p.row.fill(-1);
    p.pathIndex.fill(-1);
    for (int c = 0; c < kLightColumns; ++c) {
        for (int r = 0; r < kLightRows; ++r) {
            const int slot = kColumnTable[c][r];
            if (slot < kKeySlots) {
                p.column[slot] = static_cast<int8_t>(c);
                p.row[slot] = static_cast<int8_t>(r);
            }
        }
    }
    for (int k = 0; k < kLightPathLength; ++k)
        p.pathIndex[kLightPath[k]] = static_cast<int16_t>(k);
    return p;
}

const SlotPlaces& places() {
    static const SlotPlaces p = buildPlaces();
    return p;
}

} // namespace

int SlotColumn(int slot) {
    return slot >= 0 && slot < kKeySlots ? places().column[slot] : -1;
}

int SlotRow(int slot) {
    return slot >= 0 && slot < kKeySlots ? places().row[slot] : -1;
}

int PathIndexOfSlot(int slot) {
    return slot >= 0 && slot < kKeySlots ? places().pathIndex[slot] : -1;
}

int ModePace(int mode, int speed) {
    if (mode < 0 || mode >= kModeCount)
        mode = 0;
    if (speed < 0)
        speed = 0;
    if (speed >= kBrightnessLevels)
        speed = kBrightnessLevels - 1;
    return kModePace[mode][speed];
}

uint8_t ReactiveFadeAmount(int mode) {
    for (const ReactiveFade& f : kReactiveFades) {
        if (f.mode == mode)
            return f.amount;
    }
    return 5;
}

} // namespace talyx
