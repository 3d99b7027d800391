#pragma once

#include <cstdint>

#include "device/LightTables.h"
#include "keyboard/KeyTables.h"

// The tables the keyboard's lighting engine computes its frames from: where each key slot
// sits in the picture of the keyboard, the path the path effects run along, the curves,
// the pace of every mode and the keyboard's own tuning values. The hue wheel, the
// breathing curve and the brightness levels are the device layer's (device/LightTables.h).
namespace talyx {

// The picture of the keyboard in 23 columns of six rows, left to right; kNoSlot marks a row
// of a column that holds no key.
constexpr int kLightColumns = 23;
constexpr int kLightRows = 6;
constexpr uint8_t kNoSlot = 170;
extern const uint8_t kColumnTable[kLightColumns][kLightRows];

// Column and row of a slot (derived from kColumnTable), or -1 for a slot that is not in
// the picture.
int SlotColumn(int slot);
int SlotRow(int slot);

// The snake-like route through the main block that the path effects follow.
constexpr int kLightPathLength = 108;
extern const uint8_t kLightPath[kLightPathLength];
// Position of a slot on the path, or -1.
int PathIndexOfSlot(int slot);

// The breathing curve from its value 22 up to 255 and back down to 22: a wave that never
// goes fully dark, so a wave across the keys always shows its shape.
constexpr int kWaveSteps = 96;
extern const uint8_t kWaveCurve[kWaveSteps];

// A quick rise and a long breathing-like fall, then darkness: one pass of a ripple front.
constexpr int kRippleSteps = 128;
extern const uint8_t kRippleCurve[kRippleSteps];

// Lighting modes (the mode value the keyboard and the presets use).
constexpr int kModeCount = 31; // 0 and 1 to 30

// Light-thread ticks between two steps of a mode's routine, by "Speed" 0 to 4 (4 fastest).
// 0 means every pass.
extern const uint8_t kModePace[kModeCount][kBrightnessLevels];
int ModePace(int mode, int speed);

// The 104 keys of the full-size block, from which the sparkle picks its keys.
constexpr int kSparkleSlotCount = 104;
extern const uint8_t kSparkleSlots[kSparkleSlotCount];

// Angle of each slot around the middle of the keyboard as a wheel index (0 to 191), for the
// vortex. Slots outside the picture hold 0.
extern const uint8_t kVortexAngle[kKeySlots];

// How far a lit key fades per step of the reactive and sparkle modes, after its release.
// Presses fade slowly so a typed word stays readable a moment; sparkles a little faster so
// a few overlap but the keyboard never fills up. (Ripple fronts follow the ripple curve.)
struct ReactiveFade {
    int mode;
    uint8_t amount;
};
extern const ReactiveFade kReactiveFades[3];
uint8_t ReactiveFadeAmount(int mode);

// The double beat of the heartbeat mode, 32 steps.
constexpr int kHeartbeatSteps = 32;
extern const uint8_t kHeartbeatCurve[kHeartbeatSteps];

// Tails: rain drops (4 rows) and the meteor (12 path steps), brightest first.
constexpr int kRainTailLength = 4;
extern const uint8_t kRainTail[kRainTailLength];
constexpr int kMeteorTailLength = 12;
extern const uint8_t kMeteorTail[kMeteorTailLength];

// Per-key overlays: blink period in units of 200 ms, and wheel steps per tick of the
// colour cycle, both by the overlay's own speed 0 to 4.
extern const uint8_t kOverlayBlinkFactor[kBrightnessLevels];
extern const uint8_t kOverlayCycleStep[kBrightnessLevels];

// Height of the sound bars per column (255 = full height at full level): higher in the
// middle of each half, so a steady tone draws two hills rather than a flat block.
extern const uint8_t kMusicBarShape[kLightColumns];

} // namespace talyx
