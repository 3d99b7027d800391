#include "focus/ReportedFocusSource.h"

#include "focus/ApplicationCatalog.h"

namespace talyx {

bool ReportedFocusSource::Start(Listener listener, std::string&) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_listener = std::move(listener);
    m_reported = false;
    return true;
}

void ReportedFocusSource::Stop() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_listener = nullptr;
}

bool ReportedFocusSource::Report(const FocusedApplication& app) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_listener)
        return false;
    m_reported = true;
    FocusedApplication known = app;
    if (known.executable.empty())
        known.executable = ExecutableOfProcess(known.pid);
    m_listener(known);
    return true;
}

bool ReportedFocusSource::HasReported() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_reported;
}

} // namespace talyx
