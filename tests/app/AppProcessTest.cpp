// The program as a process: one copy per session, start-up without fonts.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>

#include "tests/app/ProgramProcess.h"

using talyx::test::PrivateBus;
using talyx::test::Program;

namespace {

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
    EXPECT_FALSE(QFile::exists(runtime.path() + "/TALYX RGB Gaming keyboard.lock")) << "the bus name is the lock";

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
