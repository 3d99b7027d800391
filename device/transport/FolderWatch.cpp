#include "device/transport/FolderWatch.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include <sys/inotify.h>
#include <unistd.h>

namespace talyx {
namespace {

constexpr uint32_t kFolderEvents =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF;

bool namesCollection(const char* name, size_t length) {
    std::string lower(name, strnlen(name, length));
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    return lower.find("vid_") != std::string::npos;
}

} // namespace

FolderWatch::FolderWatch(const std::string& folder) {
    m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd >= 0 && ::inotify_add_watch(m_fd, folder.c_str(), kFolderEvents) < 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

FolderWatch::~FolderWatch() {
    if (m_fd >= 0)
        ::close(m_fd);
}

bool FolderWatch::drain() {
    if (m_fd < 0)
        return false;
    bool relevant = false;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        for (ssize_t at = 0; at + ssize_t(sizeof(inotify_event)) <= n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            const size_t nameRoom = std::min<size_t>(event->len, size_t(n - at) - sizeof(inotify_event));
            if (event->mask & (IN_Q_OVERFLOW | IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF))
                relevant = true; // something was lost, or the folder itself went
            else if (nameRoom > 0 && namesCollection(event->name, nameRoom))
                relevant = true;
            at += ssize_t(sizeof(inotify_event) + event->len);
        }
    }
    return relevant;
}

} // namespace talyx
