#include "online/TransferAbort.h"

#include <algorithm>
#include <sys/socket.h>

namespace talyx {

void TransferAbort::Abort() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_aborted.store(true);
    // Only sockets still registered are shut down: the client removes a socket under
    // the same lock before it closes it, so a reused descriptor number is never hit.
    for (int fd : m_sockets)
        ::shutdown(fd, SHUT_RDWR);
}

void TransferAbort::Reset() {
    m_aborted.store(false);
}

void TransferAbort::AddSocket(int fd) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sockets.push_back(fd);
    if (m_aborted.load())
        ::shutdown(fd, SHUT_RDWR);
}

void TransferAbort::RemoveSocket(int fd) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sockets.erase(std::remove(m_sockets.begin(), m_sockets.end(), fd), m_sockets.end());
}

} // namespace talyx
