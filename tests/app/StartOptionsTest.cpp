// How the program is started: its options without a display, the missing display, the
// start in the background (as a process against talyx-vdev, and the window itself), and
// the start with the desktop session in the settings window.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "app/AppMessages.h"
#include "app/BackgroundMainWnd.h"
#include "app/CDevicePageUI.h"
#include "online/CSetWnd.h"
#include "online/UpdateTable.h"
#include "platform/Autostart.h"
#include "platform/FileIO.h"
#include "platform/JsonFile.h"
#include "platform/Paths.h"
#include "profile/ProfileFiles.h"
#include "tests/app/DeviceWindowFixture.h"
#include "tests/app/ProgramProcess.h"
#include "tests/support/PreparedProfiles.h"
#include "ui/CMsgWnd.h"
#include "ui/COptionUI.h"
#include "ui/WindowMessages.h"
#include "vdev/VdevFraming.h"

using namespace talyx;
using namespace talyx::test;

namespace {

const auto* const kBusEnvironment = ::testing::AddGlobalTestEnvironment(new BusEnvironment);

struct Finished {
    int code = -1;
    QString out;
    QString err;
};

// Runs talyx to its end from a terminal with no desktop (no display, no session bus)
// and private folders, with `extra` added to its environment.
Finished runWithoutDesktop(const QStringList& args, const QString& home, const QStringList& extra = {}) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "DBUS_SESSION_BUS_ADDRESS"})
        env.remove(name);
    env.insert("XDG_RUNTIME_DIR", home);
    env.insert("XDG_DATA_HOME", home + "/data");
    env.insert("XDG_CONFIG_HOME", home + "/config");
    for (const QString& kv : extra)
        env.insert(kv.section('=', 0, 0), kv.section('=', 1));
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(talyxBinary(), args);
    if (!process.waitForFinished(20000))
        process.kill();
    process.waitForFinished(2000);
    // A crash (Qt's abort) counts as no exit code at all.
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
}

bool saidSomething(const DebugCapture& debug, const std::string& part) {
    for (const std::string& text : debug.texts())
        if (text.find(part) != std::string::npos)
            return true;
    return false;
}

std::vector<uint8_t> bytes(const Json::Value& hex) {
    std::vector<uint8_t> out;
    vdev::FromHex(hex.asString(), out);
    return out;
}

// The keyboard's light record holds the prepared profile: static mode 6, colour (10, 200, 30).
bool holdsPreparedLighting(const Json::Value& firmware) {
    const std::vector<uint8_t> record = bytes(firmware["records"]);
    return record.size() >= 9 && record[1] == 6 && record[6] == 10 && record[7] == 200 && record[8] == 30;
}

// One profile with a lighting the keyboard does not start with, in the keyboard's folder
// of the data folder the environment names now.
void prepareLightingProfile() {
    Json::Value entry = readjsonFile(DefaultDocumentPath("keyboard"))["Device"][0];
    ASSERT_TRUE(entry.isObject());
    Json::Value& light = entry["LightInfo"];
    light["SelectItem"] = 6;
    light["Light"] = 3;
    light["Red"] = 10;
    light["Green"] = 200;
    light["Blue"] = 30;
    WriteProfile(FamilyDataDir("keyboard"), "2026_01_02_03_04_05_006", "Prepared", entry, true);
}

} // namespace

TEST(StartOptions, AnswersWithoutADisplayAndSaysSoWhenOneIsNeeded) {
    QTemporaryDir home;
    const QString usage = "Usage: talyx";
    const QString version = QString("talyx %1\n").arg(ProgramVersion());
    const QString noDisplay = "neither DISPLAY nor WAYLAND_DISPLAY is set";
    const struct {
        QStringList args;
        QStringList env;
        int code;
        QString out; // what standard output starts with
        QString err; // what standard error holds
    } cases[] = {
        {{"--help"}, {}, 0, usage, ""},
        {{"-h"}, {}, 0, usage, ""},
        {{"--background", "--help"}, {}, 0, usage, ""},
        {{"--version"}, {}, 0, version, ""},
        // Usage errors: what was wrong, then the usage, on standard error only.
        {{"--bogus"}, {}, 2, "", "unknown option '--bogus'"},
        {{"--help", "--bogus"}, {}, 2, "", "unknown option '--bogus'"},
        {{"profile.json"}, {}, 2, "", "unexpected argument 'profile.json'"},
        {{"-platform"}, {}, 2, "", "option '-platform' needs a value"},
        {{"--background=yes"}, {}, 2, "", "unknown option '--background=yes'"},
        // No display: a clear message, not Qt's abort.
        {{}, {}, 1, "", noDisplay},
        {{"--background"}, {}, 1, "", noDisplay},
        {{}, {"DISPLAY=:97"}, 1, "", "the display could not be opened (DISPLAY=:97"},
        // A platform named on the command line is a display too.
        {{"-platform", "offscreen"}, {"TALYX_EXIT_WHEN_SHOWN=1"}, 0, "", ""},
    };
    for (const auto& c : cases) {
        if (c.env.contains("DISPLAY=:97") && QFile::exists("/tmp/.X11-unix/X97"))
            continue; // an X server listens there
        const Finished f = runWithoutDesktop(c.args, home.path(), c.env);
        const std::string what = c.args.join(' ').toStdString() + " " + c.env.join(' ').toStdString() + ": exit " +
                                 std::to_string(f.code) + "\n" + f.out.toStdString() + f.err.toStdString();
        EXPECT_EQ(f.code, c.code) << what;
        if (!c.out.isEmpty()) {
            EXPECT_TRUE(f.out.startsWith(c.out)) << what;
            EXPECT_TRUE(f.err.isEmpty()) << what;
        }
        if (!c.err.isEmpty()) {
            EXPECT_TRUE(f.err.contains(c.err)) << what;
            EXPECT_TRUE(f.err.contains(c.code == 2 ? usage : QString("QT_QPA_PLATFORM=offscreen"))) << what;
            EXPECT_TRUE(f.out.isEmpty()) << what;
        }
    }
}

// The whole program started in the background on a private bus and a private data folder,
// with a virtual keyboard: no window, the profile reaches the keyboard, again after a
// replug; a second start in the background leaves it hidden, a plain one shows it.
TEST(StartOptions, BackgroundStartWritesTheProfileWithoutShowingTheWindow) {
    PrivateBus bus;
    if (!bus.start())
        GTEST_SKIP() << "dbus-daemon is not available";
    QTemporaryDir runtime;
    QFile::setPermissions(runtime.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const std::string busFolder = runtime.path().toStdString() + "/hid";
    vdev::VdevProcess vdev;
    ASSERT_TRUE(vdev.start(busFolder, {"keyboard"})) << vdev.lastError();
    {
        ScopedEnv data("XDG_DATA_HOME", runtime.path().toStdString() + "/data");
        prepareLightingProfile();
    }
    auto program = [&] {
        auto p = std::make_unique<Program>(runtime.path(), bus.address());
        p->setEnv("TALYX_HID_BUS", QString::fromStdString(busFolder));
        return p;
    };
    // The first copy ends as soon as its window is painted: while it runs, it never was.
    auto first = program();
    first->start({"TALYX_EXIT_WHEN_SHOWN=1"}, {"--background"});
    auto firmware = [&] { return vdev.state()[0]["firmware"]; };
    ASSERT_TRUE(waitUntil([&] { return holdsPreparedLighting(firmware()); }, 20000))
        << firmware().toStyledString() << first->errors().toStdString();
    ASSERT_TRUE(waitUntil([&] { return firmware()["frame"]["count"].asUInt64() > 10; }, 10000));
    EXPECT_TRUE(first->errors().contains("starting in the background"));
    EXPECT_TRUE(first->waitForText(QString::fromUtf8("，0d0d"))) << "the scan's first pass did not show the window";
    EXPECT_EQ(first->process().state(), QProcess::Running) << first->errors().toStdString();

    // Unplugged and plugged again: the profile is written once more.
    ASSERT_TRUE(vdev.request(R"({"cmd":"unplug"})")["ok"].asBool());
    ASSERT_TRUE(first->waitForText(QString::fromUtf8("删除一个键盘设备"))) << first->errors().toStdString();
    ASSERT_TRUE(vdev.request(R"({"cmd":"set","area":"records","offset":1,"hex":"00"})")["ok"].asBool());
    ASSERT_FALSE(holdsPreparedLighting(firmware()));
    ASSERT_TRUE(vdev.request(R"({"cmd":"plug"})")["ok"].asBool());
    EXPECT_TRUE(waitUntil([&] { return holdsPreparedLighting(firmware()); }, 20000))
        << firmware().toStyledString() << first->errors().toStdString();
    EXPECT_EQ(first->process().state(), QProcess::Running) << "the arrival did not show the window either";

    // A second start in the background ends at once and leaves the first as it is.
    auto second = program();
    second->start({}, {"--background"});
    ASSERT_TRUE(second->process().waitForFinished(10000));
    EXPECT_EQ(second->process().exitCode(), 0);
    EXPECT_FALSE(second->errors().contains("InitWindow"));

    // A plain start brings the window up: the first paints it and so ends.
    auto third = program();
    third->start();
    ASSERT_TRUE(third->process().waitForFinished(10000));
    EXPECT_EQ(third->process().exitCode(), 0);
    ASSERT_TRUE(first->process().waitForFinished(15000)) << first->errors().toStdString();
    EXPECT_EQ(first->process().exitCode(), 0);
    const QString said = first->errors();
    EXPECT_EQ(said.count(QString::fromUtf8("，0d1d")), 1) << "only the plain start asked for the window";
    EXPECT_TRUE(said.contains("background start: the window is asked for"));
    EXPECT_TRUE(said.contains(QString::fromUtf8("退出测试")));
}

class BackgroundWindow : public DeviceWindowFixture {};

TEST_F(BackgroundWindow, StaysHiddenWhileTheKeyboardStartsAndComesUpFromTheTray) {
    ASSERT_TRUE(plug({"keyboard"})) << vdev.lastError();
    auto* background = new BackgroundMainWnd();
    wnd.reset(background);
    ASSERT_TRUE(wnd->Create(nullptr, QString::fromUtf8(kProductTitle), QRect(0, 0, 800, 572)));
    ASSERT_TRUE(waitUntil([&] { return !wnd->Pages(DeviceTypeKeyboard).empty(); }, 15000));
    ASSERT_TRUE(waitUntil([&] { return wnd->Pages(DeviceTypeKeyboard).front()->IsStarted(); }, 15000));
    ASSERT_TRUE(waitUntil([&] { return saidSomething(debug, "，0d0d"); }));
    // The scan's instance message and the fit to the screen came; the window stays hidden.
    EXPECT_FALSE(wnd->isVisible());
    EXPECT_TRUE(background->InBackground());

    wnd->postMessage(kMsgTray, 0, WM_LBUTTONUP);
    ASSERT_TRUE(waitUntil([&] { return wnd->isVisible(); }));
    EXPECT_FALSE(background->InBackground());
    EXPECT_EQ(wnd->size(), QSize(1000, 640)) << "fitted to the screen while it was hidden";
}

// The start with the desktop session on the settings window's general page.
class SessionStartBox : public DeviceWindowFixture {
protected:
    COptionUI* openBox() {
        openWindow();
        wnd->OpenSettings(CSetWnd::kPageLanguage);
        CSetWnd* settings = wnd->SettingsWindow();
        return settings ? qobject_cast<COptionUI*>(settings->FindControl("set_autostart_check")) : nullptr;
    }
    void closeSettings() {
        wnd->SettingsWindow()->Close();
        ASSERT_TRUE(waitUntil([&] { return !wnd->SettingsWindow() || wnd->SettingsWindow()->IsDestroyed(); }));
    }
    ScopedEnv updateUrl{"TALYX_UPDATE_URL", "http://127.0.0.1:9/api/"};
};

TEST_F(SessionStartBox, TickingWritesTheEntryUntickingRemovesItAndAFailureIsTold) {
    const std::string entry = AutostartEntryPath();
    ASSERT_EQ(entry.rfind(data.path() + "/config/", 0), 0u) << entry;
    COptionUI* box = openBox();
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->IsVisible());
    EXPECT_EQ(box->accessibleName(), "Start with the desktop session");
    EXPECT_FALSE(box->IsSelected());
    QTest::mouseClick(box, Qt::LeftButton);
    ASSERT_TRUE(box->IsSelected());
    // With TALYX_SCREENSHOT_DIR set (scripts/screenshots), the page is saved there.
    if (const QByteArray dir = qgetenv("TALYX_SCREENSHOT_DIR"); !dir.isEmpty()) {
        QDir().mkpath(QString::fromLocal8Bit(dir));
        wnd->SettingsWindow()->grab().save(QString::fromLocal8Bit(dir) + "/settings-general.png", "PNG");
    }
    EXPECT_TRUE(IsAutostartEnabled());

    // Opened again, the window shows what the file says.
    closeSettings();
    box = openBox();
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->IsSelected());
    QTest::mouseClick(box, Qt::LeftButton);
    EXPECT_FALSE(box->IsSelected());
    EXPECT_FALSE(FileExists(entry));

    // The autostart folder is taken by a file: the box goes back and the user is told.
    ASSERT_TRUE(QDir().rmdir(QString::fromStdString(data.path() + "/config/autostart")));
    ASSERT_TRUE(WriteFileAtomic(data.path() + "/config/autostart", "x"));
    CMsgWnd::SetNextAnswer(IDOK);
    QTest::mouseClick(box, Qt::LeftButton);
    EXPECT_FALSE(box->IsSelected());
    EXPECT_EQ(CMsgWnd::LastTextKey(), "set_autostart_failed_text");
    EXPECT_TRUE(saidSomething(debug, "autostart: ")) << "the reason goes to the debug output";
}
