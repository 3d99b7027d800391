#pragma once

// The program as a process for tests: a private session bus, and talyx started with
// private folders, its debug output collected.

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <csignal>
#include <grp.h>
#include <unistd.h>

#include "tests/support/QtTestSupport.h"

namespace talyx::test {

// talyx beside the test executable.
inline QString talyxBinary() {
    return QCoreApplication::applicationDirPath() + "/talyx";
}

// A session bus of the test's own, so that the program's bus name is private.
class PrivateBus {
public:
    bool start() {
        m_daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        if (!m_daemon.waitForStarted(5000) || !m_daemon.waitForReadyRead(5000))
            return false;
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        return !m_address.isEmpty();
    }
    ~PrivateBus() {
        m_daemon.kill();
        m_daemon.waitForFinished(2000);
    }
    QString address() const { return m_address; }

private:
    QProcess m_daemon;
    QString m_address;
};

// Runs the program with private folders under `runtime` and collects what it writes.
// No bus address: no session bus at all.
class Program {
public:
    Program(const QString& runtime, const QString& busAddress, const QString& dataDir = QString()) {
        m_env = QProcessEnvironment::systemEnvironment();
        m_env.insert("QT_QPA_PLATFORM", "offscreen");
        m_env.insert("TALYX_DEBUG", "1");
        m_env.insert("XDG_RUNTIME_DIR", runtime);
        m_env.insert("XDG_DATA_HOME", runtime + "/data");
        m_env.insert("XDG_CONFIG_HOME", runtime + "/config");
        m_env.remove("TALYX_HID_BUS");
        if (busAddress.isEmpty())
            m_env.remove("DBUS_SESSION_BUS_ADDRESS");
        else
            m_env.insert("DBUS_SESSION_BUS_ADDRESS", busAddress);
        if (!dataDir.isEmpty())
            m_env.insert("TALYX_DATA_DIR", dataDir);
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
    }
    ~Program() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }
    // An environment variable for the next start; an empty value removes it.
    void setEnv(const QString& name, const QString& value) {
        if (value.isEmpty())
            m_env.remove(name);
        else
            m_env.insert(name, value);
    }
    // The next start runs as this user, with only its own group (the test must be root).
    void runAs(uid_t uid, gid_t gid) {
        m_process.setChildProcessModifier([uid, gid] {
            if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)
                ::_exit(126);
        });
    }
    void start(const QStringList& extraEnv = {}, const QStringList& args = {}) {
        QProcessEnvironment env = m_env;
        for (const QString& kv : extraEnv)
            env.insert(kv.section('=', 0, 0), kv.section('=', 1));
        m_process.setProcessEnvironment(env);
        m_process.start(talyxBinary(), args);
        m_process.waitForStarted(5000);
    }
    bool waitForText(const QString& text, int ms = 10000) {
        return waitUntil(
            [&] {
                m_err += QString::fromUtf8(m_process.readAllStandardError());
                return m_err.contains(text);
            },
            ms);
    }
    QString errors() {
        m_err += QString::fromUtf8(m_process.readAllStandardError());
        return m_err;
    }
    // Ends the program as the desktop would (SIGTERM), once it is up: its scan has made its
    // first pass (the instance message from the scan, lParam 0). True when it closed its
    // window and ended with code 0.
    bool stop() {
        if (m_process.state() == QProcess::NotRunning || !waitForText(QString::fromUtf8("，0d0d")))
            return false;
        ::kill(static_cast<pid_t>(m_process.processId()), SIGTERM);
        return m_process.waitForFinished(10000) && m_process.exitStatus() == QProcess::NormalExit &&
               m_process.exitCode() == 0 && errors().contains(QString::fromUtf8("退出测试"));
    }
    QProcess& process() { return m_process; }
    // Memory of the running program in KiB, from /proc: "VmRSS:" resident now, "VmHWM:"
    // the most it has been resident. -1 when it has none.
    long memoryKiB(const char* field = "VmRSS:") const {
        QFile status(QString("/proc/%1/status").arg(m_process.processId()));
        if (!status.open(QIODevice::ReadOnly))
            return -1;
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith(field))
                return line.mid(int(qstrlen(field))).trimmed().split(' ').value(0).toLong();
        return -1;
    }

private:
    QProcessEnvironment m_env;
    QProcess m_process;
    QString m_err;
};

// A runtime folder of the test's own, private as a session's is.
inline QString privateRuntime(QTemporaryDir& dir) {
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return dir.path();
}

} // namespace talyx::test
