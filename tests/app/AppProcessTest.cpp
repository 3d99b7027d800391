// The program as a process: one copy per session, start-up without fonts, a prompt stop.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <gtest/gtest.h>

#include "tests/app/ProgramProcess.h"
#include "tests/support/QtTestSupport.h"
#include "vdev/VdevProcess.h"

using talyx::test::PrivateBus;
using talyx::test::privateRuntime;
using talyx::test::Program;
using talyx::test::waitUntil;

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

// Whatever the keyboard does, a stop ends the program within about 2 s: a command that
// waits for a silent keyboard (1 s time-outs on the cable, 5 s through the receiver) ends
// when the window closes its channel, and nothing the interface thread does waits on it.
TEST(Process, SigtermEndsTheProgramPromptlyWhileTheKeyboardIsSilent) {
    for (const char* kind : {"keyboard", "keyboard-receiver"}) {
        SCOPED_TRACE(kind);
        QTemporaryDir runtime;
        const std::string bus = runtime.path().toStdString() + "/bus";
        talyx::vdev::VdevProcess vdev;
        ASSERT_TRUE(vdev.start(bus, {kind})) << vdev.lastError();
        ASSERT_TRUE(vdev.request(R"({"cmd":"fault","kind":"no-reply","count":100000})")["ok"].asBool());
        Program program(privateRuntime(runtime), QString());
        program.start({"TALYX_HID_BUS=" + QString::fromStdString(bus)});
        ASSERT_TRUE(program.waitForText(QString::fromUtf8("添加一个键盘设备"))) << program.errors().toStdString();
        // The page start (or the receiver's online query) is now waiting for a reply.
        QTest::qWait(1200);
        QElapsedTimer clock;
        clock.start();
        ::kill(static_cast<pid_t>(program.process().processId()), SIGTERM);
        ASSERT_TRUE(program.process().waitForFinished(15000));
        std::printf("[ figure ] %s: SIGTERM to exit %lld ms with a silent device\n", kind,
                    static_cast<long long>(clock.elapsed()));
        EXPECT_EQ(program.process().exitCode(), 0);
        EXPECT_LT(clock.elapsed(), 2000);
    }
}
