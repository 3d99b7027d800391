#include "focus/FocusSourceChoice.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "focus/ReportedFocusSource.h"
#include "focus/WlrForeignToplevelSource.h"
#include "focus/X11FocusSource.h"

namespace talyx {
namespace {

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

// XDG_CURRENT_DESKTOP is a colon-separated list ("ubuntu:GNOME").
bool desktopIs(const std::string& desktops, const char* name) {
    const std::string all = ":" + lower(desktops) + ":";
    return all.find(":" + lower(name) + ":") != std::string::npos;
}

} // namespace

FocusSession FocusSession::FromEnvironment() {
    return {env("XDG_SESSION_TYPE"), env("XDG_CURRENT_DESKTOP"), env("DISPLAY"), env("WAYLAND_DISPLAY")};
}

FocusSourceKind ChooseFocusSource(const FocusSession& s, std::string& why) {
    const bool wayland = lower(s.sessionType) == "wayland" || (s.sessionType.empty() && !s.wayland.empty());
    if (wayland) {
        if (desktopIs(s.desktop, "KDE"))
            return FocusSourceKind::kKWinScript;
        if (desktopIs(s.desktop, "GNOME"))
            return FocusSourceKind::kGnomeExtension;
        if (!s.wayland.empty())
            return FocusSourceKind::kWlrToplevels;
        why = "this Wayland desktop (" + (s.desktop.empty() ? std::string("unnamed") : s.desktop) +
              ") does not tell programs which window is in front";
        return FocusSourceKind::kNone;
    }
    if (!s.display.empty())
        return FocusSourceKind::kX11;
    why = "no graphical session was found (neither DISPLAY nor WAYLAND_DISPLAY is set)";
    return FocusSourceKind::kNone;
}

std::unique_ptr<IFocusSource> MakeFocusSource(FocusSourceKind kind, const FocusSession& session) {
    switch (kind) {
    case FocusSourceKind::kX11:
        return std::make_unique<X11FocusSource>(session.display);
    case FocusSourceKind::kKWinScript:
        return std::make_unique<ReportedFocusSource>("kwin");
    case FocusSourceKind::kGnomeExtension:
        return std::make_unique<ReportedFocusSource>("gnome");
    case FocusSourceKind::kWlrToplevels:
        return std::make_unique<WlrForeignToplevelSource>(session.wayland);
    case FocusSourceKind::kNone:
        break;
    }
    return nullptr;
}

StartedFocusSource StartFocusSource(const FocusSession& session, IFocusSource::Listener listener) {
    StartedFocusSource out;
    out.kind = ChooseFocusSource(session, out.why);
    out.source = MakeFocusSource(out.kind, session);
    if (!out.source || out.source->Start(std::move(listener), out.why))
        return out;
    const auto* wlr = dynamic_cast<const WlrForeignToplevelSource*>(out.source.get());
    // Reached, but without the list: this desktop tells programs nothing, as any other
    // Wayland desktop without a source of ours.
    if (wlr && wlr->GetState() == WlrForeignToplevelSource::State::kNoManager)
        out.kind = FocusSourceKind::kNone;
    out.source.reset();
    return out;
}

} // namespace talyx
