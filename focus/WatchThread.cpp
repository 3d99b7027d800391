#include "focus/WatchThread.h"

#include <cstdint>

#include <sys/eventfd.h>
#include <unistd.h>

namespace talyx {

bool WatchThread::Open() {
    if (m_stopFd < 0)
        m_stopFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    return m_stopFd >= 0;
}

void WatchThread::Start(std::function<void()> body) {
    m_thread = std::thread(std::move(body));
}

void WatchThread::Stop() {
    if (m_thread.joinable()) {
        const uint64_t one = 1;
        (void)!::write(m_stopFd, &one, sizeof one);
        m_thread.join();
    }
    if (m_stopFd >= 0)
        ::close(m_stopFd);
    m_stopFd = -1;
}

} // namespace talyx
