#pragma once

#include <functional>
#include <memory>
#include <thread>

#include "platform/Event.h"

namespace talyx {

// One worker slot: a manual-reset stop event and the thread it stops.
//
// The body receives the stop event and returns when it sees it set. Bodies wait on the
// event with the time-out they really need (the scan pause, a light tick), so a stop
// wakes them at once and an idle worker does not spin.
class WorkerThread {
public:
    enum class JoinResult {
        Signalled,  // the thread ended within the wait
        TimedOut,   // it did not; stop() then waited for it anyway (see below)
        NotRunning, // the slot was empty
    };

    WorkerThread();
    ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Starts the body on a new thread. The stop event is reset before the body runs.
    // Returns false when a thread already runs in this slot.
    bool start(std::function<void(Event& stop)> body);

    // Sets the stop event, runs `wake` (for instance closing an interface so that a
    // blocking read returns) and waits up to timeoutMs for the thread to end.
    // A thread cannot be killed safely, so after a time-out the join still waits for the
    // body to return; the result tells the caller it was late.
    JoinResult stop(int timeoutMs, const std::function<void()>& wake = {});

    bool running() const;
    Event& stopEvent() { return *m_stop; }

private:
    struct State;
    std::shared_ptr<Event> m_stop;
    std::shared_ptr<State> m_state;
    std::thread m_thread;
};

} // namespace talyx
