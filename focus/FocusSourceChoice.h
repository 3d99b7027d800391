#pragma once

#include <memory>
#include <string>

#include "focus/FocusSource.h"

namespace talyx {

// What the session tells about its desktop, from the environment.
struct FocusSession {
    std::string sessionType; // XDG_SESSION_TYPE: "x11", "wayland", ...
    std::string desktop;     // XDG_CURRENT_DESKTOP, e.g. "KDE" or "ubuntu:GNOME"
    std::string display;     // DISPLAY
    std::string wayland;     // WAYLAND_DISPLAY

    static FocusSession FromEnvironment();
};

enum class FocusSourceKind {
    kNone,
    kX11,            // the X server's active window
    kKWinScript,     // our KWin script, Plasma on Wayland
    kGnomeExtension, // our GNOME Shell extension, GNOME on Wayland
    kWlrToplevels,   // the compositor's toplevel list, wlroots compositors (sway and others)
};

// Which source the session offers, or kNone with the reason in `why`:
//  - a Wayland session under Plasma or GNOME: their script (X11 would see only the
//    XWayland windows);
//  - another Wayland session with a display to connect to: the compositor's toplevel
//    list, which wlroots compositors offer (whether this one does shows when it starts);
//  - otherwise a session with an X display: X11;
//  - no display at all: none.
FocusSourceKind ChooseFocusSource(const FocusSession& session, std::string& why);
// A stopped source of that kind; nullptr for kNone.
std::unique_ptr<IFocusSource> MakeFocusSource(FocusSourceKind kind, const FocusSession& session);

// The session's source, chosen, made and started with `listener`.
struct StartedFocusSource {
    // What was chosen. A compositor that offers no toplevel list falls back to kNone.
    FocusSourceKind kind = FocusSourceKind::kNone;
    // Running; nullptr when none is, with the reason in `why`.
    std::unique_ptr<IFocusSource> source;
    std::string why;
};
StartedFocusSource StartFocusSource(const FocusSession& session, IFocusSource::Listener listener);

} // namespace talyx
