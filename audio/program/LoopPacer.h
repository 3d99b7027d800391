#pragma once

#include <cstdint>
#include <functional>

struct pa_mainloop;
struct pollfd;

namespace talyx {

// Lets the recorder's main loop sleep through wake-ups that would bring nothing to show.
// While another program plays with a low latency, the sound server renders (and a monitor
// delivers) in pieces of a few milliseconds, far shorter than a frame, and each piece
// would wake the recorder. Instead the source asks the loop to hold its next poll until
// the frames it waits for are due; the pieces that arrived meanwhile are then taken in at
// once. Nothing is lost: the server keeps them until they are read.
//
// A hold delays the loop's other work (bus calls, timers) by at most the hold, which is
// at most kMaxHoldUs.
class LoopPacer {
public:
    static constexpr uint64_t kMaxHoldUs = 100000;

    // This pacer's poll becomes the loop's.
    void Attach(pa_mainloop* loop);
    // Runs each time the loop is about to wait, before any hold: what the pass has made
    // ready goes out together (the recorder's queued frames).
    void SetBeforeWait(std::function<void()> fn) { m_beforeWait = std::move(fn); }
    // The next poll waits until this time (MonotonicMicros) before it looks at the
    // descriptors; 0 for none. Applies once.
    void HoldUntil(uint64_t monotonicUs) { m_holdUntil = monotonicUs; }
    uint64_t Holds() const { return m_holds; }

private:
    static int poll(pollfd* fds, unsigned long count, int timeoutMs, void* self);

    std::function<void()> m_beforeWait;
    uint64_t m_holdUntil = 0;
    uint64_t m_holds = 0;
};

} // namespace talyx
