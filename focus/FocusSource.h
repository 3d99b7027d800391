#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace talyx {

// The application whose window is in front, as a focus source sees it. Any field may be
// empty (0 for the process): a desktop that knows no desktop file, a window without a
// class, a client on another machine. All fields empty means no window is in front (the
// desktop itself, or the last window closed).
struct FocusedApplication {
    std::string id;          // desktop-file id ("org.example.Game.desktop"), where the desktop knows it
    std::string windowClass; // X11 WM_CLASS class, or the Wayland app id
    std::string instance;    // X11 WM_CLASS instance
    uint32_t pid = 0;        // the window's process, 0 when unknown
    std::string executable;  // file name of the process's program, from pid

    bool IsEmpty() const {
        return id.empty() && windowClass.empty() && instance.empty() && pid == 0 && executable.empty();
    }
    bool operator==(const FocusedApplication& o) const {
        return id == o.id && windowClass == o.windowClass && instance == o.instance && pid == o.pid;
    }
    bool operator!=(const FocusedApplication& o) const { return !(*this == o); }
};

// Something that tells which application is in front: the X server, a compositor
// protocol, or a script inside the compositor that reports over the bus.
class IFocusSource {
public:
    using Listener = std::function<void(const FocusedApplication&)>;
    virtual ~IFocusSource() = default;

    // A short fixed word for logs and the settings: "x11", "kwin", "gnome", "wlroots".
    virtual const char* Name() const = 0;
    // Starts watching. The listener is called from the source's own thread (or, for a
    // reported source, from the reporter's) each time another window comes to the front,
    // and once at start for the window in front then, where the source can tell. False,
    // with a reason a person can read in `why`, when this session does not offer the
    // source; nothing is running then. Does not block beyond connecting.
    virtual bool Start(Listener listener, std::string& why) = 0;
    // Stops watching; returns once no listener call is running and none will come.
    virtual void Stop() = 0;
};

} // namespace talyx
