#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>
#include <functional>

namespace talyx::test {

// Runs the event loop until the condition holds or the time is up. True when it held.
inline bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// The program data folder of the build tree (skin, DefaultData, lang beside the binaries).
inline QString buildDataDir() { return QCoreApplication::applicationDirPath(); }

} // namespace talyx::test
