#pragma once

#include <cstdint>

#include "device/LightEffect.h"
#include "device/LightTables.h"

namespace talyx {

// The synchronised effects, one colour for every light of every synchronised device.
enum LightSyncType : int {
    kSyncBreathing = 0,
    kSyncStatic = 1,
    kSyncBlinking = 2,
    kSyncColourWheel = 3,
    kSyncDark = 4,
};
constexpr int kSyncTypeCount = 5;

// What the lighting page hands over when the user synchronises the lighting: the values of
// the lighting record of the device the user synchronised from.
struct LightSyncSettings {
    int type = kSyncBreathing;      // LightSyncType; other values step nothing
    int brightnessLevel = 4;        // "Light", 0..4
    int speedIndex = 2;             // "Speed", 0..4 (4 fastest)
    bool direction = true;          // "Fx": breathing runs forward
    bool useColourWheel = false;    // "MultiColor"
    LightRgb colour{255, 255, 255}; // "Red", "Green", "Blue"
};

// The state of the synchronised effect and how one step changes it (the shared effects of
// LightEffect in the light-sync style). Pure: the caller passes the time; the light-sync
// thread owns the one instance.
class LightSyncEffect {
public:
    // How far the colour of a blink moves on at each flip, in wheel steps.
    static constexpr int kBlinkHueStep = 14;

    // The effect type for a device family's lighting mode: keyboard modes 5, 6, 23, 4, 28,
    // mouse modes 2, 3, 4, 1, 10 and mouse-pad and headset modes 2, 3, 4, 1, 8 give
    // breathing, static, blinking, colour wheel and dark. -1 for any other mode.
    static int TypeForMode(int family, int mode);
    // The other way: the mode of a family that shows an effect type; -1 for an unknown
    // family or type.
    static int ModeForType(int family, int type);

    // One step at time nowMs (milliseconds of the monotonic clock). False, with the state
    // unchanged, when the settings' type is not one of the five.
    bool Step(const LightSyncSettings& settings, uint64_t nowMs, LightColour& colour);

    int BreathingStep() const { return m_state.step; }
    int ColourIndex() const { return m_state.colourIndex; }
    bool BlinkPhase() const { return m_blink.blinkOn; }
    int BlinkPosition() const { return m_blink.step; }

private:
    LightEffectState m_state; // breathing and the colour wheel
    LightEffectState m_blink;
};

} // namespace talyx
