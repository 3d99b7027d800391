#include "app/SingleInstance.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Debug.h"
#include "platform/Paths.h"
#include "platform/Product.h"

namespace talyx {
namespace {

std::string lockName() {
    return std::string(kProductTitle) + ".lock";
}

// An open folder that only this user can enter: a folder, owned by the user, with no
// access for group or others. Checked on the open descriptor, so the folder cannot be
// swapped between the check and the use.
bool isPrivateFolder(int fd) {
    struct stat st {};
    return fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 077) == 0;
}

// The folder for the lock, opened; -1 when there is none of the user's own.
int openLockFolder(std::string* path) {
    for (const std::string& folder : {RuntimeDir(), ProductDataDir()}) {
        if (folder.empty())
            continue;
        const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            continue;
        if (isPrivateFolder(fd)) {
            if (path)
                *path = folder;
            return fd;
        }
        DebugOutputF("single instance: %s is not a private folder of this user\n", folder.c_str());
        ::close(fd);
    }
    return -1;
}

} // namespace

SingleInstance::~SingleInstance() {
    release();
}

QString SingleInstance::lockPath() const {
    std::string folder;
    const int fd = openLockFolder(&folder);
    if (fd < 0)
        return QString();
    ::close(fd);
    return QString::fromStdString(JoinPath(folder, lockName()));
}

SingleInstance::LockResult SingleInstance::lockFile() {
    const int dir = openLockFolder(nullptr);
    if (dir < 0)
        return LockResult::Unavailable;
    const int fd = ::openat(dir, lockName().c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    ::close(dir);
    if (fd < 0)
        return LockResult::Unavailable;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid()) {
        ::close(fd);
        return LockResult::Unavailable;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool taken = errno == EWOULDBLOCK;
        ::close(fd);
        return taken ? LockResult::HeldElsewhere : LockResult::Unavailable;
    }
    m_lockFd = fd;
    return LockResult::Held;
}

SingleInstance::Claim SingleInstance::claim() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected() && bus.interface()) {
        const auto reply =
            bus.interface()->registerService(QString::fromLatin1(kBusName), QDBusConnectionInterface::DontQueueService,
                                             QDBusConnectionInterface::DontAllowReplacement);
        if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) {
            m_ownsBusName = true;
            return Claim::Owner;
        }
        if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceNotRegistered)
            return Claim::AlreadyRunning;
        // A bus that gives no answer about the name: the lock file keeps the rule.
    }
    switch (lockFile()) {
    case LockResult::Held:
        return Claim::Owner;
    case LockResult::HeldElsewhere:
        return Claim::AlreadyRunning;
    case LockResult::Unavailable:
        break;
    }
    DebugOutput("single instance: no session bus and no lock file; another copy cannot be told apart");
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
