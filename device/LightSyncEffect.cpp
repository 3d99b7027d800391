#include "device/LightSyncEffect.h"

#include "device/CKestravaUSBDevice.h"
#include "device/transport/DeviceIdentification.h"

namespace talyx {

namespace {

// The modes that show the five synchronised effects, per family, in effect type order.
struct SyncModes {
    int family;
    int modes[kSyncTypeCount];
};
constexpr SyncModes kSyncModeTable[] = {
    {DeviceTypeKeyboard, {5, 6, 23, 4, 28}},
    {DeviceTypeMouse, {2, 3, 4, 1, 10}},
    {DeviceTypeMousePad, {2, 3, 4, 1, 8}},
    {DeviceTypeHeadset, {2, 3, 4, 1, 8}},
};

LightColour withBrightness(const LightRgb& rgb, uint8_t brightness) {
    return LightColour{rgb.r, rgb.g, rgb.b, brightness};
}

// Moves a wheel position on; a position that reaches the end of the wheel starts again at 0.
int advanceHue(int index, int by) {
    const int next = index + by;
    return next >= kWheelSteps ? 0 : next;
}

} // namespace

int LightSyncEffect::TypeForMode(int family, int mode) {
    for (const SyncModes& row : kSyncModeTable) {
        if (row.family != family)
            continue;
        for (int type = 0; type < kSyncTypeCount; ++type)
            if (row.modes[type] == mode)
                return type;
    }
    return -1;
}

bool LightSyncEffect::Step(const LightSyncSettings& s, uint64_t nowMs, LightColour& colour) {
    const uint8_t brightness = BrightnessForLevel(s.brightnessLevel);
    switch (s.type) {
    case kSyncBreathing: {
        m_breathingStep = CKestravaUSBDevice::StepWrapped(m_breathingStep, kBreathingSteps, s.direction);
        // The hue moves on while the lights are at their darkest, where the change is not seen.
        if (s.useColourWheel && m_breathingStep < 2)
            m_colourIndex = advanceHue(m_colourIndex, kBreathHueStep);
        const LightRgb rgb = s.useColourWheel ? WheelColour(m_colourIndex) : s.colour;
        colour = withBrightness(rgb, static_cast<uint8_t>(brightness * kBreathingCurve[m_breathingStep] / 256));
        return true;
    }
    case kSyncStatic:
        colour = withBrightness(s.colour, brightness);
        return true;
    case kSyncBlinking:
        if (nowMs - m_lastBlinkMs >= BlinkPeriodMs(s.speedIndex)) {
            m_blinkPhase = !m_blinkPhase;
            m_lastBlinkMs = nowMs;
            m_blinkPosition = advanceHue(m_blinkPosition, kBlinkHueStep);
        }
        if (!m_blinkPhase)
            colour = LightColour{};
        else
            colour = withBrightness(s.useColourWheel ? WheelColour(m_blinkPosition) : s.colour, brightness);
        return true;
    case kSyncColourWheel:
        m_colourIndex = CKestravaUSBDevice::StepWrapped(m_colourIndex, kWheelSteps, true);
        colour = withBrightness(WheelColour(m_colourIndex), brightness);
        return true;
    case kSyncDark:
        colour = LightColour{};
        return true;
    default:
        return false;
    }
}

} // namespace talyx
