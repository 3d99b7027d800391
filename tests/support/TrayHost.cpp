// tray_host: a notification-area host on the session bus, for trying the program with a
// tray where the desktop has none (Xvfb, CI). It owns the status notifier watcher's name,
// says that a host is there, lists the icons that register, and clicks them on request.
//
//   tray_host            then on standard input, one command a line:
//     click              a left click on the last icon registered (Activate)
//     menu               a right click (ContextMenu)
//     quit               end; the tray goes away
// At the end of its input it stays until it is ended.
//
// Each registration is printed as "registered <service><path>", each answer as "ok" or
// "error <message>".
#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QSocketNotifier>
#include <QStringList>
#include <cstdio>
#include <iostream>
#include <string>
#include <unistd.h>

namespace {

class Watcher : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
public:
    explicit Watcher(QObject* parent) : QDBusAbstractAdaptor(parent) {}
    QStringList items() const { return m_items; }
    bool hostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    QString lastService;
    QString lastPath;

public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString& item, const QDBusMessage& message) {
        // An item names either its object path (then the caller is the service) or its service.
        lastService = item.startsWith('/') ? message.service() : item;
        lastPath = item.startsWith('/') ? item : QStringLiteral("/StatusNotifierItem");
        m_items.append(lastService + lastPath);
        std::printf("registered %s%s\n", qPrintable(lastService), qPrintable(lastPath));
        std::fflush(stdout);
        emit StatusNotifierItemRegistered(lastService + lastPath);
    }
    void RegisterStatusNotifierHost(const QString&) {}

Q_SIGNALS:
    void StatusNotifierItemRegistered(const QString& item);
    void StatusNotifierItemUnregistered(const QString& item);
    void StatusNotifierHostRegistered();

private:
    QStringList m_items;
};

void answer(const QDBusMessage& reply) {
    if (reply.type() == QDBusMessage::ErrorMessage)
        std::printf("error %s\n", qPrintable(reply.errorMessage()));
    else
        std::printf("ok\n");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QDBusConnection bus = QDBusConnection::sessionBus();
    QObject root;
    auto* watcher = new Watcher(&root);
    if (!bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), &root, QDBusConnection::ExportAdaptors) ||
        !bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher"))) {
        std::fprintf(stderr, "tray_host: no session bus, or the watcher name is taken\n");
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        std::string line;
        if (!std::getline(std::cin, line)) {
            // No more commands: the host stays until it is ended.
            input.setEnabled(false);
            return;
        }
        if (line == "quit") {
            QCoreApplication::quit();
            return;
        }
        if (watcher->lastService.isEmpty()) {
            std::printf("error no icon\n");
            std::fflush(stdout);
            return;
        }
        const QString method = line == "menu" ? QStringLiteral("ContextMenu") : QStringLiteral("Activate");
        QDBusMessage call = QDBusMessage::createMethodCall(watcher->lastService, watcher->lastPath,
                                                           QStringLiteral("org.kde.StatusNotifierItem"), method);
        call << 10 << 10;
        answer(bus.call(call));
    });
    return QCoreApplication::exec();
}

#include "TrayHost.moc"
