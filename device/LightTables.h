#pragma once

#include <cstdint>

namespace talyx {

struct LightRgb {
    uint8_t r;
    uint8_t g;
    uint8_t b;
};

// The colour of one light: red, green, blue and its brightness (0..255). Frames scale each
// colour byte by the brightness and keep the high byte.
struct LightColour {
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;
    uint8_t brightness = 0;
};

// The tables every software lighting effect is computed from. They are shared by the
// device base's generators, the keyboard's lighting engine and the light-sync worker.

constexpr int kBrightnessLevels = 5;
constexpr int kBreathingSteps = 128;
// Hue steps of one turn of the colour wheel (six segments of 32).
constexpr int kWheelSteps = 192;
constexpr int kWheelSegment = 32;
constexpr int kBlinkUnitMs = 200;

// Light byte for brightness level 0..4.
extern const uint8_t kBrightnessByLevel[kBrightnessLevels];

// Breathing intensity over one breath: 64 rising values, then the same values falling.
extern const uint8_t kBreathingCurve[kBreathingSteps];

// The colours of the four-colour effects: teal, green, white, red.
extern const LightRgb kFourColours[4];

// Hue circle: red → yellow → green → cyan → blue → magenta → red, in six segments of 32.
// Entry 192 repeats entry 0 so that an index that touches the end of a turn still reads
// a valid colour.
extern const LightRgb kColourWheel[kWheelSteps + 1];

// Blink period by speed index 0..4, in units of kBlinkUnitMs.
extern const uint8_t kBlinkPeriodFactor[kBrightnessLevels];

// Guarded look-ups: out-of-range indices are clamped, not read past the tables.
uint8_t BrightnessForLevel(int level);
uint32_t BlinkPeriodMs(int speedIndex);
LightRgb WheelColour(int index);

} // namespace talyx
