#include "device/transport/FdConnection.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace talyx {
namespace {

// Large enough for the longest HID report (16 KiB plus the id byte) and any message of
// the virtual bus, whose hello is the longest thing it sends.
constexpr size_t kMessageBuffer = 65536 + 16;

int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int64_t deadlineFor(int timeoutMs) {
    return timeoutMs < 0 ? -1 : nowMs() + timeoutMs;
}

} // namespace

FdConnection::FdConnection(int fd, std::string node)
    : m_fd(fd), m_cancelFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), m_node(std::move(node)) {
    struct stat info {};
    m_socket = fd >= 0 && ::fstat(fd, &info) == 0 && S_ISSOCK(info.st_mode);
}

FdConnection::~FdConnection() {
    if (m_fd >= 0)
        ::close(m_fd);
    if (m_cancelFd >= 0)
        ::close(m_cancelFd);
}

void FdConnection::cancel() {
    if (m_cancelFd < 0)
        return;
    // The counter is never read back: once cancelled the connection stays cancelled. The
    // flag answers the later calls without a system call; the eventfd wakes a waiting one.
    m_cancelled.store(true);
    const uint64_t one = 1;
    ssize_t written;
    do {
        written = ::write(m_cancelFd, &one, sizeof one);
    } while (written < 0 && errno == EINTR);
}

HidStatus FdConnection::waitFor(short events, int64_t deadlineMs, const char* call) {
    for (;;) {
        int timeout = -1;
        if (deadlineMs >= 0)
            timeout = static_cast<int>(std::max<int64_t>(0, deadlineMs - nowMs()));
        pollfd fds[2] = {{m_cancelFd, POLLIN, 0}, {m_fd, events, 0}};
        const int n = ::poll(fds, 2, timeout);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return TranslateErrno(errno, call, m_node);
        }
        // The cancel is looked at first, so a Close() wins over a report that arrived in
        // the same instant.
        if (fds[0].revents)
            return HidStatus::Cancelled;
        if (n == 0)
            return HidStatus::TimedOut;
        if (fds[1].revents & events)
            return HidStatus::Ok;
        // hidraw says POLLHUP | POLLERR once its device is removed; a bus socket hangs up
        // when the device closes it.
        if (fds[1].revents & (POLLERR | POLLHUP))
            return HidStatus::Gone;
        if (fds[1].revents & POLLNVAL)
            return TranslateErrno(EBADF, call, m_node);
    }
}

bool FdConnection::accept(std::vector<uint8_t>&) {
    return true;
}

ssize_t FdConnection::takeNow(uint8_t* buffer, size_t len) {
    // hidraw nodes are opened non-blocking; a bus socket is asked not to block.
    return m_socket ? ::recv(m_fd, buffer, len, MSG_DONTWAIT) : ::read(m_fd, buffer, len);
}

HidStatus FdConnection::read(uint8_t* buffer, size_t len, size_t& got, int timeoutMs) {
    got = 0;
    if (!valid() || !buffer || len == 0)
        return HidStatus::IoError;
    const int64_t deadline = deadlineFor(timeoutMs);
    bool polled = false;
    for (;;) {
        if (m_cancelled.load())
            return HidStatus::Cancelled;
        // The report is tried for first: one that is already there (the replies of a frame
        // written back to back) costs one call instead of a poll and a read.
        if (m_buffer.empty())
            m_buffer.resize(kMessageBuffer);
        const ssize_t n = takeNow(m_buffer.data(), m_buffer.size());
        if (n < 0) {
            const int error = errno;
            if (error == EINTR)
                continue;
            if (error != EAGAIN && error != EWOULDBLOCK && polled)
                return TranslateErrno(error, "read", m_node);
            // Nothing yet (another reader of the same descriptor may have taken it), or an
            // error that poll tells better: a removed hidraw node hangs up.
            if (const HidStatus waited = waitFor(POLLIN, deadline, "read"); waited != HidStatus::Ok)
                return waited;
            polled = true;
            continue;
        }
        if (n == 0)
            return HidStatus::Gone; // the device or the bus peer went away
        std::vector<uint8_t> report(m_buffer.begin(), m_buffer.begin() + n);
        if (!accept(report))
            continue;
        got = std::min(len, report.size());
        std::memcpy(buffer, report.data(), got);
        return HidStatus::Ok;
    }
}

HidStatus FdConnection::write(const uint8_t* buffer, size_t len, size_t& written, int timeoutMs) {
    written = 0;
    if (!valid() || !buffer || len == 0)
        return HidStatus::IoError;
    const int64_t deadline = deadlineFor(timeoutMs);
    for (;;) {
        if (m_cancelled.load())
            return HidStatus::Cancelled;
        // Written at once when the descriptor takes it; waited for only when it is full.
        // send() keeps a vanished bus peer from raising SIGPIPE; hidraw nodes are not
        // sockets and take a plain write().
        const ssize_t n =
            m_socket ? ::send(m_fd, buffer, len, MSG_NOSIGNAL | MSG_DONTWAIT) : ::write(m_fd, buffer, len);
        if (n < 0) {
            const int error = errno;
            if (error == EINTR)
                continue;
            if (error == EAGAIN || error == EWOULDBLOCK) {
                if (const HidStatus waited = waitFor(POLLOUT, deadline, "write"); waited != HidStatus::Ok)
                    return waited;
                continue;
            }
            return TranslateErrno(error, "write", m_node);
        }
        written = static_cast<size_t>(n);
        return HidStatus::Ok;
    }
}

} // namespace talyx
