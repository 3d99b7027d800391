#pragma once

#include <string>

#include "device/transport/HidWatch.h"

namespace talyx {

// inotify on the folder of the virtual HID bus. A device plugs in by creating its
// listening sockets there and unplugs by removing them, so files created, removed, renamed
// or changed in their mode (which decides whether we may connect) are the hints. Files
// without the "vid_" marker are no collections and are ignored; the folder itself going
// away is a hint too (the next enumeration then fails).
class FolderWatch : public HidWatch {
public:
    explicit FolderWatch(const std::string& folder);
    ~FolderWatch() override;
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    // -1 when inotify or the watch on the folder cannot be had.
    int fd() const override { return m_fd; }
    bool drain() override;

private:
    int m_fd = -1;
};

} // namespace talyx
