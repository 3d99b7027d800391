#include "app/BackgroundMainWnd.h"

#include "app/AppMessages.h"
#include "platform/Debug.h"
#include "ui/WindowMessages.h"

namespace talyx {

LRESULT BackgroundMainWnd::HandleMessage(uint32_t msg, WPARAM wParam, LPARAM lParam) {
    if (m_background) {
        // lParam 0 is the scan's own instance message after its first pass; 1 comes from a
        // second start that was not itself told to stay in the background.
        const bool secondStart = msg == WM_APP_INSTANCE && msg && lParam != 0;
        const bool trayClick = msg == kMsgTray && lParam == WM_LBUTTONUP;
        if (secondStart || trayClick) {
            m_background = false;
            DebugOutput("background start: the window is asked for");
        }
    }
    return CMainWnd::HandleMessage(msg, wParam, lParam);
}

void BackgroundMainWnd::setVisible(bool visible) {
    // Every way the main window brings itself forward ends here, so holding the show back
    // keeps it hidden; hiding is always let through.
    if (visible && m_background)
        return;
    CMainWnd::setVisible(visible);
}

} // namespace talyx
