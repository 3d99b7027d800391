#pragma once

#include <atomic>
#include <mutex>
#include <vector>

namespace talyx {

// Lets one thread end the transfers another thread runs, at once. The HTTP client
// registers the sockets of its transfers here; Abort() marks the transfers aborted and
// shuts those sockets down, so a transfer waiting for data wakes up and fails instead of
// waiting for its next time-out. Thread-safe.
class TransferAbort {
public:
    void Abort();
    bool IsAborted() const { return m_aborted.load(); }
    // Allows new transfers again after an Abort().
    void Reset();

    // The client's socket hooks: a socket opened while aborted is shut down at once.
    void AddSocket(int fd);
    void RemoveSocket(int fd);

private:
    std::atomic<bool> m_aborted{false};
    std::mutex m_mutex;
    std::vector<int> m_sockets;
};

} // namespace talyx
