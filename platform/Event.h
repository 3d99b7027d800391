#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace talyx {

// A signalled flag that threads wait on, in two flavours:
//  - manual reset: stays signalled until reset(); every waiter wakes;
//  - auto reset: a successful wait consumes the signal; one waiter wakes.
// wait() blocks up to the time-out (negative = forever) and returns true when the
// event was signalled, false on time-out. set() wakes waiters at once.
class Event {
public:
    explicit Event(bool manualReset, bool initiallySet = false);
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void set();
    void reset();
    bool isSet() const;
    bool wait(int timeoutMs);

    template <class Rep, class Period> bool waitFor(std::chrono::duration<Rep, Period> d) {
        return wait(static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(d).count()));
    }

private:
    const bool m_manualReset;
    bool m_set;
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
};

} // namespace talyx
