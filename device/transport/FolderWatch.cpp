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

FolderWatch::FolderWatch(const std::string& folder) : m_folder(folder) {
    while (m_folder.size() > 1 && m_folder.back() == '/')
        m_folder.pop_back();
    const size_t slash = m_folder.rfind('/');
    m_parent = slash == std::string::npos ? "." : (slash == 0 ? "/" : m_folder.substr(0, slash));
    m_name = slash == std::string::npos ? m_folder : m_folder.substr(slash + 1);
    m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd < 0)
        return;
    watchFolder();
    if (m_folderWatch < 0 && m_parentWatch < 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

bool FolderWatch::watchFolder() {
    m_folderWatch = ::inotify_add_watch(m_fd, m_folder.c_str(), kFolderEvents);
    if (m_folderWatch < 0) {
        // Missing: its parent tells when it comes.
        if (m_parentWatch < 0)
            m_parentWatch = ::inotify_add_watch(m_fd, m_parent.c_str(), IN_CREATE | IN_MOVED_TO | IN_ONLYDIR);
        // The folder may have come between the two calls.
        m_folderWatch = ::inotify_add_watch(m_fd, m_folder.c_str(), kFolderEvents);
    }
    if (m_folderWatch >= 0 && m_parentWatch >= 0) {
        ::inotify_rm_watch(m_fd, m_parentWatch);
        m_parentWatch = -1;
    }
    return m_folderWatch >= 0;
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
            if (event->mask & IN_Q_OVERFLOW) {
                relevant = true; // something was lost
            } else if (event->wd == m_parentWatch && m_parentWatch >= 0) {
                // Something appeared beside the missing folder: is it the folder?
                if (nameRoom > 0 && std::string(event->name, strnlen(event->name, nameRoom)) == m_name && watchFolder())
                    relevant = true;
            } else if (event->wd == m_folderWatch && (event->mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF))) {
                // The folder itself went: wait for it to come back.
                if (event->mask & IN_IGNORED) {
                    m_folderWatch = -1;
                    watchFolder();
                }
                relevant = true;
            } else if (event->wd == m_folderWatch && nameRoom > 0 && namesCollection(event->name, nameRoom)) {
                relevant = true;
            }
            at += ssize_t(sizeof(inotify_event) + event->len);
        }
    }
    return relevant;
}

} // namespace talyx
