#include "device/LightSyncEffect.h"

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

// The synchronised effects are the shared ones, in type order, with their own style: the
// breathing hue moves at the dark end, blinks move 14 hue steps, the wheel turns forward.
constexpr LightEffectKind kKindOfType[kSyncTypeCount] = {LightEffectKind::Breathing, LightEffectKind::Static,
                                                         LightEffectKind::Blinking, LightEffectKind::ColourWheel,
                                                         LightEffectKind::Dark};
constexpr LightEffectStyle kSyncStyle{true, false, LightSyncEffect::kBlinkHueStep, true, true};

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

int LightSyncEffect::ModeForType(int family, int type) {
    if (type < 0 || type >= kSyncTypeCount)
        return -1;
    for (const SyncModes& row : kSyncModeTable)
        if (row.family == family)
            return row.modes[type];
    return -1;
}

bool LightSyncEffect::Step(const LightSyncSettings& s, uint64_t nowMs, LightColour& colour) {
    if (s.type < 0 || s.type >= kSyncTypeCount)
        return false;
    const LightEffectKind kind = kKindOfType[s.type];
    const LightEffectSetting setting{s.brightnessLevel, s.speedIndex, s.direction, s.useColourWheel, s.colour};
    // A blink keeps its own position; breathing and the wheel share the hue.
    LightEffectState& state = kind == LightEffectKind::Blinking ? m_blink : m_state;
    colour = StepLightEffect(kind, kSyncStyle, setting, state, nowMs);
    return true;
}

} // namespace talyx
