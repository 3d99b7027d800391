#include "device/LightPacer.h"

#include <algorithm>

namespace talyx {

namespace {
int normalPace(int pace) {
    return std::max(pace, 1);
}

int msUntil(uint64_t nowMs, uint64_t thenMs) {
    if (thenMs <= nowMs)
        return 1;
    return static_cast<int>(std::min<uint64_t>(thenMs - nowMs, 1u << 30));
}
} // namespace

constexpr int LightPacer::kPaceBySpeed[5];

int LightPacer::PaceForSpeed(int speedIndex) {
    return kPaceBySpeed[std::clamp(speedIndex, 0, 4)];
}

void LightPacer::Restart(uint64_t nowMs) {
    m_originMs = nowMs;
    m_lastStepTick = 0;
}

uint64_t LightPacer::TicksAt(uint64_t nowMs) const {
    if (nowMs <= m_originMs)
        return 0;
    return (nowMs - m_originMs) * kTicksPerSecond / 1000;
}

uint64_t LightPacer::TickStartMs(uint64_t tick) const {
    return m_originMs + (tick * 1000 + kTicksPerSecond - 1) / kTicksPerSecond;
}

int LightPacer::StepsDue(uint64_t nowMs, int pace) {
    const uint64_t p = static_cast<uint64_t>(normalPace(pace));
    const uint64_t ticks = TicksAt(nowMs);
    if (ticks < m_lastStepTick + p)
        return 0;
    const uint64_t due = (ticks - m_lastStepTick) / p;
    if (due > static_cast<uint64_t>(kMaxCatchUpSteps)) {
        // Too far behind: take a few and count on from now.
        m_lastStepTick = ticks;
        return kMaxCatchUpSteps;
    }
    m_lastStepTick += due * p;
    return static_cast<int>(due);
}

int LightPacer::MsUntilNextStep(uint64_t nowMs, int pace) const {
    const uint64_t p = static_cast<uint64_t>(normalPace(pace));
    return msUntil(nowMs, TickStartMs(m_lastStepTick + p));
}

int LightPacer::MsUntilNextTick(uint64_t nowMs) const {
    return msUntil(nowMs, TickStartMs(TicksAt(nowMs) + 1));
}

} // namespace talyx
