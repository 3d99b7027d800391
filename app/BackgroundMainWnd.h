#pragma once

#include "app/CMainWnd.h"

namespace talyx {

// The main window of a start in the background (talyx --background, the session's
// autostart, activation through the bus). Everything runs as in a plain start: the scan,
// the pages, the profiles written to the devices, the tray icon. Only the window stays
// hidden, through the scan's first pass and every arrival, until someone asks for it:
// a left click on the tray icon, or a plain second start (the instance message with
// lParam 1). From then on it is the ordinary main window.
class BackgroundMainWnd : public CMainWnd {
    Q_OBJECT
public:
    using CMainWnd::CMainWnd;

    LRESULT HandleMessage(uint32_t msg, WPARAM wParam, LPARAM lParam) override;
    void setVisible(bool visible) override;
    // True until the window has been asked for.
    bool InBackground() const { return m_background; }

private:
    bool m_background = true;
};

} // namespace talyx
