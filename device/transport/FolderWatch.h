#pragma once

#include <string>

#include "device/transport/HidWatch.h"

namespace talyx {

// inotify on the folder of the virtual HID bus. A device plugs in by creating its
// listening sockets there and unplugs by removing them, so files created, removed, renamed
// or changed in their mode (which decides whether we may connect) are the hints. Files
// without the "vid_" marker are no collections and are ignored; the folder itself going
// away is a hint too (the next enumeration then fails). While the folder is missing (the
// bus was not started yet, or went), its parent is watched for it to appear, so a bus
// started after the program is noticed at once, not at the next slow rescan.
class FolderWatch : public HidWatch {
public:
    explicit FolderWatch(const std::string& folder);
    ~FolderWatch() override;
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    // -1 when inotify cannot be had, or neither the folder nor its parent can be watched.
    int fd() const override { return m_fd; }
    bool drain() override;

private:
    // Watches the folder, or its parent while the folder is missing; true once the folder is.
    bool watchFolder();

    int m_fd = -1;
    std::string m_folder;
    std::string m_parent;
    std::string m_name;
    int m_folderWatch = -1;
    int m_parentWatch = -1;
};

} // namespace talyx
