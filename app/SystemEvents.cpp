#include "app/SystemEvents.h"

#include <QDBusConnection>
#include <QGuiApplication>
#include <QScreen>

#include "ui/WindowMessages.h"

namespace talyx {

SystemEvents::SystemEvents(MessageTarget* window, QObject* parent) : QObject(parent), m_window(window) {
    QDBusConnection system = QDBusConnection::systemBus();
    if (system.isConnected())
        m_sleep = system.connect(QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                                 QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"),
                                 this, SLOT(onPrepareForSleep(bool)));
    connect(qGuiApp, &QGuiApplication::screenAdded, this, [this](QScreen* screen) {
        watchScreen(screen);
        onScreensChanged();
    });
    connect(qGuiApp, &QGuiApplication::screenRemoved, this, &SystemEvents::onScreensChanged);
    for (QScreen* screen : QGuiApplication::screens())
        watchScreen(screen);
}

void SystemEvents::watchScreen(QScreen* screen) {
    connect(screen, &QScreen::geometryChanged, this, &SystemEvents::onScreensChanged);
    connect(screen, &QScreen::logicalDotsPerInchChanged, this, &SystemEvents::onScreensChanged);
}

void SystemEvents::onPrepareForSleep(bool sleeping) {
    if (m_window)
        m_window->postMessage(WM_POWERBROADCAST, sleeping ? PBT_APMSUSPEND : PBT_APMRESUMEAUTOMATIC, 0);
}

void SystemEvents::onScreensChanged() {
    if (m_window)
        m_window->postMessage(WM_DISPLAYCHANGE, 0, 0);
}

} // namespace talyx
