#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "focus/FocusSource.h"

namespace talyx {

// An installed application, from its desktop file.
struct DesktopApplication {
    std::string id;      // desktop-file id: the path below "applications/" with '/' as '-'
    std::string name;    // Name
    std::string exec;    // file name of the program that Exec starts ("steam", "firefox")
    std::string wmClass; // StartupWMClass, the window class its windows have when it differs
};

// The installed applications ($XDG_DATA_HOME/applications, then each folder of
// $XDG_DATA_DIRS), and what ties a window in front to one of them. Entries hidden from
// menus (NoDisplay, Hidden) and entries that are not applications are left out; an id
// found twice is taken from the first folder, as the desktop does.
class ApplicationCatalog {
public:
    ApplicationCatalog() = default;
    // The catalog of these "applications" folders, in order of precedence.
    explicit ApplicationCatalog(const std::vector<std::string>& folders);
    // The folders of the user's session.
    static std::vector<std::string> SessionFolders();

    // Sorted by name (without regard to case).
    const std::vector<DesktopApplication>& Applications() const { return m_apps; }
    // The entry of this id ("x.desktop" or "x"), or nullptr.
    const DesktopApplication* Find(const std::string& id) const;
    // The desktop-file id of the application in front where one can be found: the id the
    // desktop reported, else the entry whose window class, file name or program matches
    // the window's class or program. Empty when none does.
    std::string IdentityOf(const FocusedApplication& app) const;
    // What a link to this application stores: IdentityOf, else the window class, else the
    // program's file name.
    std::string LinkNameOf(const FocusedApplication& app) const;
    // True when a profile's link names the application in front: the same desktop id, or
    // the window class, instance or program (compared without regard to case, ".desktop"
    // ignored), or the program or window class of the entry the link names.
    bool Matches(const std::string& link, const FocusedApplication& app) const;

    // The ids of the entries whose program runs now in a process of this user, in the
    // catalog's order.
    std::vector<std::string> Running() const;

private:
    std::vector<DesktopApplication> m_apps;
};

// The file name of the program process `pid` runs ("" for 0 or a process that is gone):
// from its executable link where it may be read, else its command name.
std::string ExecutableOfProcess(uint32_t pid);

} // namespace talyx
