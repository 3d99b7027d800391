#pragma once

#include <cstdint>

namespace talyx {

// When the software lighting effects take their next step.
//
// Effects advance once every `pace` ticks of 15.625 ms (64 Hz). That is the rate at which
// the lighting was designed to look right: it is the period of the desktop system timer,
// so a loop that waited 1 ms and counted the tick count's moves advanced once per timer
// period. Breathing at pace 8 takes 128 × 8 ticks = 16 s per cycle, at pace 1 2 s.
//
// Instead of polling, a thread asks how long it may sleep until the next step is due,
// waits that long on its stop event, and then asks how many steps fell due. A thread that
// woke late runs the steps it missed, but at most kMaxCatchUpSteps: after a long stall
// (a suspended machine, a debugger) it starts counting afresh rather than spinning
// through the backlog.
//
// Pure arithmetic on millisecond times from a monotonic clock; not thread-safe (each
// worker has its own).
class LightPacer {
public:
    static constexpr int kTicksPerSecond = 64; // one tick = 15.625 ms
    static constexpr int kMaxCatchUpSteps = 4;
    // Ticks between two steps by speed index 0..4 (4 fastest): the light-sync effects and
    // the base device's own effects.
    static constexpr int kPaceBySpeed[5] = {8, 6, 4, 2, 1};

    // Ticks between two steps for a speed index (clamped to 0..4).
    static int PaceForSpeed(int speedIndex);

    // Starts counting at `nowMs`: the first step is due one pace after it.
    void Restart(uint64_t nowMs);
    // Steps due at nowMs for this pace (a pace below 1 counts as 1), at most
    // kMaxCatchUpSteps, and marks them taken. A backlog beyond the cap is dropped.
    int StepsDue(uint64_t nowMs, int pace);
    // Milliseconds from nowMs until the next step of this pace is due (at least 1).
    int MsUntilNextStep(uint64_t nowMs, int pace) const;
    // Milliseconds from nowMs until the next tick begins (at least 1).
    int MsUntilNextTick(uint64_t nowMs) const;

    // Whole ticks between the start and nowMs.
    uint64_t TicksAt(uint64_t nowMs) const;
    // The time at which a tick begins (rounded up to the millisecond).
    uint64_t TickStartMs(uint64_t tick) const;

private:
    uint64_t m_originMs = 0;
    uint64_t m_lastStepTick = 0; // the tick of the last step taken (0 at the start)
};

} // namespace talyx
