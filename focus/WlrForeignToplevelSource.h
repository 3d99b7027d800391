#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "focus/FocusSource.h"
#include "focus/WatchThread.h"

namespace talyx {

struct WlrToplevelConnection;

// The window in front on a wlroots compositor (sway and others): the compositor's list of
// toplevel windows (zwlr_foreign_toplevel_manager_v1), each with its app id and its
// states; the one in the "activated" state is in front. A connection of its own to the
// compositor and one thread that waits on it and on a stop signal, so nothing polls.
//
// The protocol carries no process: the application is known by its app id alone (the
// window class of the report). Windows whose app id is this program's desktop-file id are
// reported as this process's, so that the follower leaves them alone.
class WlrForeignToplevelSource : public IFocusSource {
public:
    enum class State {
        kStopped,      // never started, or stopped
        kWatching,     // connected, the list comes
        kNoCompositor, // the compositor cannot be reached
        kNoManager,    // the compositor offers no toplevel list
        kLost,         // the compositor closed the connection (or broke the protocol)
        kFinished,     // the compositor ended the toplevel list
    };

    // `display` as WAYLAND_DISPLAY names it (a socket in XDG_RUNTIME_DIR or an absolute
    // path); empty takes $WAYLAND_DISPLAY.
    explicit WlrForeignToplevelSource(std::string display = {});
    ~WlrForeignToplevelSource() override;

    const char* Name() const override { return "wlroots"; }
    // False when the compositor cannot be reached, does not answer within a second, or
    // offers no toplevel list (GetState tells which).
    bool Start(Listener listener, std::string& why) override;
    void Stop() override;

    // Any thread. After kLost or kFinished the thread has ended: nothing more is reported
    // until the next Start.
    State GetState() const { return m_state.load(); }

private:
    void run();
    void reportIfChanged();
    void end(State state, const char* what);

    std::string m_display;
    WlrToplevelConnection* m_wl = nullptr;
    Listener m_listener;
    WatchThread m_watch;
    std::atomic<State> m_state{State::kStopped};
    bool m_reported = false;
    uint64_t m_lastToplevel = 0;
    std::string m_lastAppId;
};

} // namespace talyx
