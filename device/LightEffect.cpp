#include "device/LightEffect.h"

namespace talyx {
namespace {

int moveHue(int index, int by, bool wrapsAbove) {
    const int next = index + by;
    if (wrapsAbove)
        return next > kWheelSteps ? 0 : next;
    return next >= kWheelSteps ? 0 : next;
}

LightRgb colourAt(int index, bool fourColours, const LightEffectSetting& s) {
    if (fourColours)
        return kFourColours[((index % 4) + 4) % 4];
    return s.multiColor ? WheelColour(index) : s.colour;
}

LightColour withBrightness(const LightRgb& rgb, int brightness) {
    return LightColour{rgb.r, rgb.g, rgb.b, static_cast<uint8_t>(brightness)};
}

} // namespace

int StepWrapped(int index, int limit, bool forward) {
    if (limit <= 0)
        return 0;
    if (forward)
        return (index + 1 >= limit) ? 0 : index + 1;
    return (index <= 0) ? limit - 1 : index - 1;
}

LightColour StepLightEffect(LightEffectKind kind, const LightEffectStyle& style, const LightEffectSetting& s,
                            LightEffectState& state, uint64_t nowMs) {
    const int brightness = BrightnessForLevel(s.brightnessLevel);
    switch (kind) {
    case LightEffectKind::Breathing:
    case LightEffectKind::BreathingFourColours: {
        const bool four = kind == LightEffectKind::BreathingFourColours;
        state.step = StepWrapped(state.step, kBreathingSteps, s.forward);
        if (four) {
            if (state.step == 0)
                state.colourIndex = (state.colourIndex + 1) % 4;
        } else if (style.hueNearDark ? (s.multiColor && state.step < 2) : state.step == 0) {
            state.colourIndex = moveHue(state.colourIndex, 16, style.breathHueWrapsAbove);
        }
        return withBrightness(colourAt(state.colourIndex, four, s), kBreathingCurve[state.step] * brightness / 256);
    }
    case LightEffectKind::Static:
        return withBrightness(s.colour, brightness);
    case LightEffectKind::ColourWheel: {
        int& index = style.wheelAlwaysForward ? state.colourIndex : state.step;
        index = StepWrapped(index, kWheelSteps, style.wheelAlwaysForward || s.forward);
        return withBrightness(WheelColour(index), brightness);
    }
    case LightEffectKind::Blinking:
    case LightEffectKind::BlinkingFourColours: {
        const bool four = kind == LightEffectKind::BlinkingFourColours;
        int& hue = style.blinkMovesStep ? state.step : state.colourIndex;
        if (nowMs - state.lastBlinkMs >= BlinkPeriodMs(s.speedIndex)) {
            state.blinkOn = !state.blinkOn;
            state.lastBlinkMs = nowMs;
            hue = four ? (hue + 1) % 4 : moveHue(hue, style.blinkHueStep, false);
        }
        if (!state.blinkOn)
            return LightColour{};
        return withBrightness(colourAt(hue, four, s), brightness);
    }
    case LightEffectKind::Dark:
        break;
    }
    return LightColour{};
}

bool FindLightEffect(const LightEffectMode* table, int rows, int mode, LightEffectKind& kind) {
    for (int i = 0; i < rows; ++i) {
        if (table[i].mode == mode) {
            kind = table[i].kind;
            return true;
        }
    }
    return false;
}

} // namespace talyx
