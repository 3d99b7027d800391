// The program as a process: one copy per session, start-up without fonts.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>

#include "tests/support/QtTestSupport.h"

using talyx::test::waitUntil;

namespace {

QString talyxBinary() { return QStringLiteral(TALYX_BIN_DIR) + "/talyx"; }

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

QString privateRuntime(QTemporaryDir& dir) {
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return dir.path();
}

} // namespace

TEST(Process, SecondCopyBringsTheFirstForwardAndEndsWithoutAWindow) {
    PrivateBus bus;
    if (!bus.start())
        GTEST_SKIP() << "dbus-daemon is not available";
    QTemporaryDir runtime;
    Program first(privateRuntime(runtime), bus.address());
    first.start();
    ASSERT_TRUE(first.waitForText(QString::fromUtf8("，0d0d"))) << first.errors().toStdString();

    Program second(runtime.path(), bus.address());
    second.start();
    ASSERT_TRUE(second.process().waitForFinished(10000));
    EXPECT_EQ(second.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.process().exitCode(), 0);
    EXPECT_FALSE(second.errors().contains("InitWindow")) << "no window in the second copy";
    // The first copy got the instance message with lParam 1 and came to the front.
    EXPECT_TRUE(first.waitForText(QString::fromUtf8("，0d1d"))) << first.errors().toStdString();

    ::kill(static_cast<pid_t>(first.process().processId()), SIGTERM);
    ASSERT_TRUE(first.process().waitForFinished(10000));
    EXPECT_EQ(first.process().exitCode(), 0);
    EXPECT_TRUE(first.errors().contains(QString::fromUtf8("退出测试")));
}

TEST(Process, WithoutASessionBusTheLockFileKeepsOneCopy) {
    QTemporaryDir runtime;
    Program first(privateRuntime(runtime), QString());
    first.start();
    ASSERT_TRUE(first.waitForText("InitWindow")) << first.errors().toStdString();
    Program second(runtime.path(), QString());
    second.start();
    ASSERT_TRUE(second.process().waitForFinished(10000));
    EXPECT_EQ(second.process().exitCode(), 0);
    EXPECT_FALSE(second.errors().contains("InitWindow"));
    EXPECT_EQ(first.process().state(), QProcess::Running);
}

TEST(Process, StartsWithoutTheFontFolder) {
    QTemporaryDir runtime;
    QTemporaryDir data;
    const QString from = talyx::test::buildDataDir();
    for (const char* folder : {"skin", "DefaultData", "lang"})
        ASSERT_EQ(QProcess::execute("cp", {"-r", from + "/" + folder, data.path() + "/"}), 0);
    ASSERT_FALSE(QDir(data.path() + "/Font").exists());
    const QString shot = runtime.path() + "/window.png";
    Program program(privateRuntime(runtime), QString(), data.path());
    program.start({"TALYX_SCREENSHOT=" + shot});
    ASSERT_TRUE(program.process().waitForFinished(20000));
    EXPECT_EQ(program.process().exitCode(), 0);
    EXPECT_TRUE(QFile(shot).size() > 1000) << program.errors().toStdString();
}
