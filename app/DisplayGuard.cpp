#include "app/DisplayGuard.h"

#include <QString>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/ProgramOptions.h"

namespace talyx {
namespace {

QtMessageHandler g_previous = nullptr;

std::string shown(const char* name) {
    const char* value = std::getenv(name);
    return std::string(name) + "=" + (value ? value : "");
}

void onMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type != QtFatalMsg) {
        if (g_previous)
            g_previous(type, context, message);
        else
            std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
        return;
    }
    const std::string text = NoDisplayMessage("the display could not be opened (" + shown("DISPLAY") + ", " +
                                              shown("WAYLAND_DISPLAY") + ", " + shown("QT_QPA_PLATFORM") + ")");
    std::fputs(text.c_str(), stderr);
    std::fflush(stderr);
    // Nothing has started yet that would need an orderly end.
    std::_Exit(kExitNoDisplay);
}

} // namespace

DisplayGuard::DisplayGuard() : m_previous(qInstallMessageHandler(onMessage)) {
    g_previous = m_previous;
}

DisplayGuard::~DisplayGuard() {
    qInstallMessageHandler(m_previous);
    g_previous = nullptr;
}

} // namespace talyx
