#pragma once

#include <QObject>

class QScreen;

#include "platform/MessageTarget.h"

namespace talyx {

// Turns the desktop's notices into the main window's messages:
//   - logind's PrepareForSleep(true/false) on the system bus → WM_POWERBROADCAST with
//     PBT_APMSUSPEND / PBT_APMRESUMEAUTOMATIC (lighting control stops and comes back);
//   - screens added, removed or resized, and DPI changes → WM_DISPLAYCHANGE (the window
//     fits itself to the screen again).
// Without a system bus only the screen notices work.
class SystemEvents : public QObject {
    Q_OBJECT
public:
    explicit SystemEvents(MessageTarget* window, QObject* parent = nullptr);
    // True when logind's signal is being listened to.
    bool ListensForSleep() const { return m_sleep; }

public slots:
    void onPrepareForSleep(bool sleeping);
    void onScreensChanged();

private:
    void watchScreen(QScreen* screen);
    MessageTarget* m_window;
    bool m_sleep = false;
};

} // namespace talyx
