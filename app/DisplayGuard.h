#pragma once

#include <QtGlobal>

namespace talyx {

// Qt ends the process with an abort when its platform cannot start: a DISPLAY that no
// X server answers, a Wayland socket that is gone. While a guard lives (around the
// construction of the application object) that end becomes the program's own message
// and exit code kExitNoDisplay. Other messages go on to the handler that was there.
class DisplayGuard {
public:
    DisplayGuard();
    ~DisplayGuard();
    DisplayGuard(const DisplayGuard&) = delete;
    DisplayGuard& operator=(const DisplayGuard&) = delete;

private:
    QtMessageHandler m_previous;
};

} // namespace talyx
