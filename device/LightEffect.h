#pragma once

#include <cstdint>

#include "device/LightTables.h"

namespace talyx {

// The software effects that give every light the same colour, shared by every family:
// the device base's generators, the keyboard's modes 4, 5, 6, 23, 26, 27 and 28 and the
// light-sync thread all step them here.
enum class LightEffectKind {
    Breathing,
    BreathingFourColours,
    Static,
    ColourWheel,
    Blinking,
    BlinkingFourColours,
    Dark,
};

// Where the families' effects differ in their details (the devices were tuned apart).
struct LightEffectStyle {
    // Breathing moves the hue on at each wrap of the breath to 0, or (light-sync) while
    // the breath is at its two darkest steps, where the change is not seen.
    bool hueNearDark = false;
    // Breathing's hue index wraps to 0 once above 192 (the keyboard visits 192, the same
    // colour as 0), or at 192.
    bool breathHueWrapsAbove = false;
    // Wheel steps a blink's hue moves on at each flip.
    int blinkHueStep = 16;
    // A blink moves the step index (the device base) or the colour index.
    bool blinkMovesStep = false;
    // The colour wheel turns forward whatever the direction (light-sync).
    bool wheelAlwaysForward = false;
};

// The lighting values an effect reads.
struct LightEffectSetting {
    int brightnessLevel = 4;        // 0..4
    int speedIndex = 2;             // 0..4, 4 fastest (blink period)
    bool forward = true;            // "Fx"
    bool multiColor = false;        // colours from the wheel instead of the fixed colour
    LightRgb colour{255, 255, 255}; // the fixed colour
};

// What an effect keeps between steps.
struct LightEffectState {
    int step = 0;
    int colourIndex = 0;
    bool blinkOn = false;
    uint64_t lastBlinkMs = 0;
};

// One entry of a family's mode table: the mode value and the effect that shows it.
struct LightEffectMode {
    int mode;
    LightEffectKind kind;
};

// Index stepping of every effect: forward adds 1 and wraps to 0 at limit; backward
// subtracts 1 and wraps from 0 to limit − 1.
int StepWrapped(int index, int limit, bool forward);

// One step of an effect at time nowMs (monotonic milliseconds): the colour every light
// takes, brightness in the fourth byte.
LightColour StepLightEffect(LightEffectKind kind, const LightEffectStyle& style, const LightEffectSetting& setting,
                            LightEffectState& state, uint64_t nowMs);

// The effect a mode value has in a table, false when it has none.
bool FindLightEffect(const LightEffectMode* table, int rows, int mode, LightEffectKind& kind);

} // namespace talyx
