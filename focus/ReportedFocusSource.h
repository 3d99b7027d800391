#pragma once

#include <mutex>

#include "focus/FocusSource.h"

namespace talyx {

// The window in front as a script inside the compositor reports it over the bus (our
// KWin script, our GNOME Shell extension): Wayland desktops tell no ordinary client which
// window is active, but their own scripts know. The program's bus method hands each
// report to Report().
class ReportedFocusSource : public IFocusSource {
public:
    // `name`: "kwin" or "gnome", as Name() reports it.
    explicit ReportedFocusSource(const char* name) : m_name(name) {}

    const char* Name() const override { return m_name; }
    // Always succeeds: the reports come when the script runs.
    bool Start(Listener listener, std::string& why) override;
    void Stop() override;

    // One report; the listener runs before this returns. False when the source is stopped.
    bool Report(const FocusedApplication& app);
    // True once a report came since Start: the script is installed and enabled.
    bool HasReported() const;

private:
    const char* m_name;
    mutable std::mutex m_mutex;
    Listener m_listener;
    bool m_reported = false;
};

} // namespace talyx
