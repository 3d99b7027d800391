#include "audio/program/LoopPacer.h"

#include <pulse/mainloop.h>

#include <algorithm>
#include <ctime>
#include <poll.h>

#include "audio/AudioFrame.h"

namespace talyx {

void LoopPacer::Attach(pa_mainloop* loop) {
    pa_mainloop_set_poll_func(loop, &LoopPacer::poll, this);
}

int LoopPacer::poll(pollfd* fds, unsigned long count, int timeoutMs, void* self) {
    auto* pacer = static_cast<LoopPacer*>(self);
    if (pacer->m_beforeWait)
        pacer->m_beforeWait();
    const uint64_t until = pacer->m_holdUntil;
    pacer->m_holdUntil = 0;
    // A poll that must not wait (work is pending) is never held.
    if (until != 0 && timeoutMs != 0) {
        const uint64_t now = MonotonicMicros();
        if (until > now) {
            uint64_t waitUs = std::min(until - now, kMaxHoldUs);
            if (timeoutMs > 0)
                waitUs = std::min<uint64_t>(waitUs, static_cast<uint64_t>(timeoutMs) * 1000u);
            const timespec pause{static_cast<time_t>(waitUs / 1000000u), static_cast<long>(waitUs % 1000000u) * 1000};
            nanosleep(&pause, nullptr);
            ++pacer->m_holds;
            if (timeoutMs > 0)
                timeoutMs = std::max(0, timeoutMs - static_cast<int>((waitUs + 999) / 1000));
        }
    }
    return ::poll(fds, static_cast<nfds_t>(count), timeoutMs);
}

} // namespace talyx
