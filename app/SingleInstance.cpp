#include "app/SingleInstance.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/Paths.h"
#include "platform/Product.h"

namespace talyx {

SingleInstance::~SingleInstance() { release(); }

QString SingleInstance::lockPath() const {
    return QString::fromStdString(JoinPath(RuntimeDir(), std::string(kProductTitle) + ".lock"));
}

SingleInstance::Claim SingleInstance::claim() {
    m_lockFd = ::open(lockPath().toLocal8Bit().constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_lockFd >= 0 && ::flock(m_lockFd, LOCK_EX | LOCK_NB) != 0) {
        ::close(m_lockFd);
        m_lockFd = -1;
        return Claim::AlreadyRunning;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected() && bus.interface()) {
        const auto reply = bus.interface()->registerService(QString::fromLatin1(kBusName),
                                                            QDBusConnectionInterface::DontQueueService,
                                                            QDBusConnectionInterface::DontAllowReplacement);
        if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) {
            m_ownsBusName = true;
        } else if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceNotRegistered) {
            release();
            return Claim::AlreadyRunning;
        }
    }
    return Claim::Owner;
}

bool SingleInstance::activateRunning() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(kBusName), QString::fromLatin1(kBusPath),
                                                      QString::fromLatin1(kBusInterface), QStringLiteral("Instance"));
    call << 0u << static_cast<qlonglong>(1);
    const QDBusMessage reply = bus.call(call, QDBus::Block, 2000);
    return reply.type() == QDBusMessage::ReplyMessage;
}

void SingleInstance::release() {
    if (m_ownsBusName) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (bus.isConnected() && bus.interface())
            bus.interface()->unregisterService(QString::fromLatin1(kBusName));
        m_ownsBusName = false;
    }
    if (m_lockFd >= 0) {
        ::flock(m_lockFd, LOCK_UN);
        ::close(m_lockFd);
        m_lockFd = -1;
    }
}

} // namespace talyx
