#pragma once

// The program as a process for tests: a private session bus, and talyx run with private
// folders, its debug output collected.

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

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

// Runs the program with private folders and collects what it writes.
class Program {
public:
    Program(const QString& runtime, const QString& busAddress, const QString& dataDir = QString()) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("TALYX_DEBUG", "1");
        env.insert("XDG_RUNTIME_DIR", runtime);
        env.insert("XDG_DATA_HOME", runtime + "/data");
        env.insert("XDG_CONFIG_HOME", runtime + "/config");
        env.remove("TALYX_HID_BUS");
        if (busAddress.isEmpty())
            env.remove("DBUS_SESSION_BUS_ADDRESS");
        else
            env.insert("DBUS_SESSION_BUS_ADDRESS", busAddress);
        if (!dataDir.isEmpty())
            env.insert("TALYX_DATA_DIR", dataDir);
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
    }
    ~Program() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }
    void start(const QStringList& extraEnv = {}) {
        QProcessEnvironment env = m_process.processEnvironment();
        for (const QString& kv : extraEnv)
            env.insert(kv.section('=', 0, 0), kv.section('=', 1));
        m_process.setProcessEnvironment(env);
        m_process.start(talyxBinary(), {});
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
    QProcess& process() { return m_process; }

private:
    QProcess m_process;
    QString m_err;
};

inline QString privateRuntime(QTemporaryDir& dir) {
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return dir.path();
}

} // namespace talyx::test
