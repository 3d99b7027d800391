#pragma once

#include <functional>
#include <thread>

namespace talyx {

// The thread of a focus source that waits on its display connection, and the descriptor
// that tells it to stop: the body polls StopFd() beside its connection and returns when it
// turns readable. Stop() (and the destructor) signals it, joins, and closes the descriptor.
class WatchThread {
public:
    WatchThread() = default;
    ~WatchThread() { Stop(); }
    WatchThread(const WatchThread&) = delete;
    WatchThread& operator=(const WatchThread&) = delete;

    // Makes the stop descriptor; false when none can be had.
    bool Open();
    // Runs the body on the thread (after Open).
    void Start(std::function<void()> body);
    void Stop();
    int StopFd() const { return m_stopFd; }

private:
    std::thread m_thread;
    int m_stopFd = -1;
};

} // namespace talyx
