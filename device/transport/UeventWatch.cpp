#include "device/transport/UeventWatch.h"

#include <cerrno>
#include <cstring>

#include <linux/netlink.h>
#include <sys/socket.h>
#include <unistd.h>

namespace talyx {
namespace {

constexpr uint32_t kKernelGroup = 1;
constexpr uint32_t kUdevGroup = 2;
// udev's header: "libudev\0", a magic number (big-endian), then its own size and where
// the properties lie, in host order.
constexpr char kUdevPrefix[8] = {'l', 'i', 'b', 'u', 'd', 'e', 'v', '\0'};
constexpr uint32_t kUdevMagic = 0xfeedcafe;
constexpr size_t kUdevHeaderMin = 24;
// Room for the longest message either side sends (the kernel's limit is 2 KiB of
// environment; udev adds its properties).
constexpr size_t kMessageRoom = 8192;

uint32_t hostU32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

uint32_t bigEndianU32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

// NUL-separated KEY=VALUE strings; the last may lack its NUL.
void parseProperties(const uint8_t* data, size_t length, UeventWatch::Uevent& event) {
    size_t at = 0;
    while (at < length) {
        const void* end = std::memchr(data + at, '\0', length - at);
        const size_t stop = end ? size_t(static_cast<const uint8_t*>(end) - data) : length;
        const std::string property(reinterpret_cast<const char*>(data + at), stop - at);
        const size_t eq = property.find('=');
        if (eq != std::string::npos) {
            const std::string key = property.substr(0, eq);
            const std::string value = property.substr(eq + 1);
            if (key == "ACTION")
                event.action = value;
            else if (key == "SUBSYSTEM")
                event.subsystem = value;
            else if (key == "DEVNAME")
                event.devName = value.substr(value.find_last_of('/') + 1);
        }
        at = stop + 1;
    }
}

} // namespace

std::unique_ptr<UeventWatch> UeventWatch::Open(const std::string& subsystem) {
    int fd = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, NETLINK_KOBJECT_UEVENT);
    if (fd >= 0) {
        sockaddr_nl address{};
        address.nl_family = AF_NETLINK;
        address.nl_groups = kKernelGroup | kUdevGroup;
        const int on = 1;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::setsockopt(fd, SOL_SOCKET, SO_PASSCRED, &on, sizeof on) != 0) {
            ::close(fd);
            fd = -1;
        }
    }
    return std::make_unique<UeventWatch>(fd, subsystem, true);
}

UeventWatch::UeventWatch(int fd, std::string subsystem, bool netlink)
    : m_fd(fd), m_subsystem(std::move(subsystem)), m_netlink(netlink) {}

UeventWatch::~UeventWatch() {
    if (m_fd >= 0)
        ::close(m_fd);
}

bool UeventWatch::Parse(const uint8_t* data, size_t length, Uevent& event) {
    event = Uevent{};
    if (!data || length == 0)
        return false;
    if (length >= kUdevHeaderMin && std::memcmp(data, kUdevPrefix, sizeof kUdevPrefix) == 0) {
        if (bigEndianU32(data + 8) != kUdevMagic)
            return false;
        const uint32_t headerSize = hostU32(data + 12);
        const uint32_t offset = hostU32(data + 16);
        const uint32_t size = hostU32(data + 20);
        if (headerSize < kUdevHeaderMin || offset < headerSize || offset > length || size > length - offset)
            return false;
        parseProperties(data + offset, size, event);
        return !event.action.empty();
    }
    // The kernel's: "ACTION@DEVPATH" first.
    const void* end = std::memchr(data, '\0', length);
    const size_t first = end ? size_t(static_cast<const uint8_t*>(end) - data) : length;
    if (!std::memchr(data, '@', first))
        return false;
    if (first < length)
        parseProperties(data + first + 1, length - first - 1, event);
    if (event.action.empty())
        event.action.assign(reinterpret_cast<const char*>(data),
                            static_cast<const char*>(std::memchr(data, '@', first)) -
                                reinterpret_cast<const char*>(data));
    return true;
}

bool UeventWatch::drain() {
    if (m_fd < 0)
        return false;
    bool relevant = false;
    uint8_t buffer[kMessageRoom];
    for (;;) {
        iovec io = {buffer, sizeof buffer};
        sockaddr_nl sender{};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(ucred))];
        msghdr message{};
        message.msg_iov = &io;
        message.msg_iovlen = 1;
        if (m_netlink) {
            message.msg_name = &sender;
            message.msg_namelen = sizeof sender;
            message.msg_control = control;
            message.msg_controllen = sizeof control;
        }
        const ssize_t n = ::recvmsg(m_fd, &message, MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == ENOBUFS) {
                relevant = true; // messages were dropped: one of them may have been ours
                continue;
            }
            break;
        }
        if (n == 0) {
            if (!m_netlink)
                break; // the test's end of the pair is closed
            continue;
        }
        if (message.msg_flags & MSG_TRUNC)
            continue;
        if (m_netlink) {
            const bool fromKernel = sender.nl_pid == 0 && (sender.nl_groups & kKernelGroup);
            bool fromRoot = false;
            for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
                if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_CREDENTIALS) {
                    ucred credentials;
                    std::memcpy(&credentials, CMSG_DATA(c), sizeof credentials);
                    fromRoot = credentials.uid == 0;
                }
            }
            if (!fromKernel && !fromRoot)
                continue;
        }
        Uevent event;
        if (Parse(buffer, static_cast<size_t>(n), event) && event.subsystem == m_subsystem)
            relevant = true;
    }
    return relevant;
}

} // namespace talyx
