#pragma once

#include <string>

#include "focus/FocusSource.h"
#include "focus/WatchThread.h"

namespace talyx {

// The window in front on an X11 display: the root window's _NET_ACTIVE_WINDOW, which the
// window manager keeps, and of that window its WM_CLASS and _NET_WM_PID (the X resource
// extension's client id when the window does not say). One connection of its own and one
// thread that waits on it and on a stop signal, so nothing polls.
class X11FocusSource : public IFocusSource {
public:
    // `display` as DISPLAY names it; empty takes $DISPLAY.
    explicit X11FocusSource(std::string display = {});
    ~X11FocusSource() override;

    const char* Name() const override { return "x11"; }
    // False when the display cannot be opened.
    bool Start(Listener listener, std::string& why) override;
    void Stop() override;

private:
    struct Connection;
    void run();
    void reportActive();

    std::string m_display;
    Connection* m_x = nullptr;
    Listener m_listener;
    WatchThread m_watch;
    uint32_t m_lastWindow = 0xFFFFFFFFu;
};

} // namespace talyx
