// The real main window on the offscreen platform, built from the shipped skin.
#include <QTest>
#include <gtest/gtest.h>

#include "app/AppMessages.h"
#include "app/CMainWnd.h"
#include "app/ControlRegistry.h"
#include "app/Language.h"
#include "app/SystemEvents.h"
#include "platform/Debug.h"
#include "platform/Product.h"
#include "profile/ProfileFiles.h"
#include "tests/support/QtTestSupport.h"
#include "tests/support/TestSupport.h"
#include "ui/CButtonUI.h"
#include "ui/CMsgWnd.h"
#include "ui/CPaintManagerUI.h"
#include "ui/CResourceManager.h"
#include "ui/CTrayIcon.h"
#include "ui/WindowMessages.h"

using namespace talyx;
using talyx::test::ScopedEnv;
using talyx::test::ScratchDir;
using talyx::test::waitUntil;

namespace {

class MainWindowFixture : public ::testing::Test {
protected:
    void SetUp() override {
        CPaintManagerUI::SetInstancePath(talyx::test::buildDataDir());
        CPaintManagerUI::SetResourcePath(talyx::test::buildDataDir() + "/skin");
        CResourceManager::GetInstance().LoadResource("res.xml");
        RegisterInstanceMessage();
        RegisterAppMessages();
        RegisterControlClasses();
        // What the first start on an English desktop stores.
        StoreDesktopLanguage();
        wnd = std::make_unique<CMainWnd>();
        ASSERT_TRUE(wnd->Create(nullptr, QString::fromUtf8(kProductTitle), QRect(0, 0, 800, 572)));
    }
    void TearDown() override {
        wnd.reset();
        CPaintManagerUI::SetResourcePath(QString());
        CPaintManagerUI::SetInstancePath(QString());
    }

    ScratchDir data;
    ScopedEnv dataHome{"XDG_DATA_HOME", data.path()};
    ScopedEnv configHome{"XDG_CONFIG_HOME", data.path() + "/config"};
    ScopedEnv lang{"LANG", "en_US.UTF-8"};
    ScopedEnv lcAll{"LC_ALL", "en_US.UTF-8"};
    DebugCapture debug;
    std::unique_ptr<CMainWnd> wnd;
};

} // namespace

TEST_F(MainWindowFixture, StartsHiddenThenComesForwardWithTheNoDeviceNotice) {
    // "windowinit" hides the window; the instance message start-up posts brings it back.
    ASSERT_TRUE(waitUntil([&] { return debug.contains("windowinit root"); }));
    ASSERT_TRUE(waitUntil([&] { return wnd->isVisible(); }));
    EXPECT_TRUE(debug.contains("InitWindow"));
    char text[64];
    std::snprintf(text, sizeof text, "软件标示 %d，%xd%xd", int(WM_APP_INSTANCE), 0u, 0u);
    EXPECT_TRUE(debug.contains(text));
    CControlUI* notice = wnd->FindControl("No_device_Link");
    ASSERT_NE(notice, nullptr);
    EXPECT_TRUE(notice->IsVisible());
    for (const char* name : {"closebtn", "maxbtn", "restorebtn", "minbtn", "skinbtn", "gamemodebtn", "cloudbtn",
                             "smarteyesbtn", "setbtn", "device_switch", "device_power_switch", "device_select_layout"})
        EXPECT_NE(wnd->FindControl(name), nullptr) << name;
    // A fresh English desktop gets English.
    EXPECT_EQ(wnd->FindControl("nodevice_title")->GetText(), "No device connected");
}

TEST_F(MainWindowFixture, LightControlComesFromOtherProgramsAndTheTitleBar) {
    ASSERT_TRUE(waitUntil([&] { return wnd->isVisible(); }));
    CControlUI* status = wnd->FindControl("control_light_status");
    ASSERT_NE(status, nullptr);
    wnd->postMessage(WM_APP_LIGHT_CONTROL, 1, 0);
    ASSERT_TRUE(waitUntil([&] { return wnd->LightControlState() == 0; }));
    EXPECT_EQ(status->GetText(), QString::fromUtf8("不控制灯光"));
    wnd->postMessage(WM_APP_LIGHT_CONTROL, 2, 1);
    QTest::qWait(20);
    EXPECT_EQ(wnd->LightControlState(), 0) << "wParam must be 1";
    QTest::mouseClick(status, Qt::LeftButton);
    EXPECT_EQ(wnd->LightControlState(), 1);
    EXPECT_EQ(status->GetText(), QString::fromUtf8("控制灯光"));
}

TEST_F(MainWindowFixture, SleepingWindowIgnoresTimersButKeepsRegisteredMessages) {
    ASSERT_TRUE(waitUntil([&] { return wnd->isVisible(); }));
    wnd->sendMessage(WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
    EXPECT_FALSE(wnd->IsAwake());
    wnd->sendMessage(kMsgShowProgress, 0, 0);
    EXPECT_FALSE(wnd->FindControl("setting_progress")->IsVisible()) << "ignored while asleep";
    wnd->sendMessage(WM_APP_LIGHT_CONTROL, 1, 0);
    EXPECT_EQ(wnd->LightControlState(), 0) << "registered messages still count";
    wnd->sendMessage(WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    EXPECT_TRUE(wnd->IsAwake());
    wnd->sendMessage(kMsgShowProgress, 0, 0);
    EXPECT_TRUE(wnd->FindControl("setting_progress")->IsVisible());
}

TEST_F(MainWindowFixture, SleepNoticesFromTheSystemReachTheWindow) {
    ASSERT_TRUE(waitUntil([&] { return wnd->isVisible(); }));
    SystemEvents events(wnd.get());
    events.onPrepareForSleep(true);
    ASSERT_TRUE(waitUntil([&] { return !wnd->IsAwake(); }));
    events.onPrepareForSleep(false);
    ASSERT_TRUE(waitUntil([&] { return wnd->IsAwake(); }));
    events.onScreensChanged();
    EXPECT_TRUE(waitUntil([&] { return debug.contains("显示器分辨率发生变化"); }));
}

TEST_F(MainWindowFixture, WithATrayCloseAndGotItHideThereWithoutOneCloseEndsTheProgram) {
    ASSERT_TRUE(waitUntil([&] { return wnd->isVisible(); }));
    CControlUI* close = wnd->FindControl("closebtn");
    CControlUI* gotIt = wnd->FindControl("nodevice_ok_btn");
    // The title bar asks the desktop about its tray every fifth second.
    auto askTheDesktop = [&] {
        for (int tick = 0; tick < 5; ++tick)
            wnd->sendMessage(WM_TIMER, 1033, 0);
    };

    // A tray: both buttons hide the window there, and the tray brings it back.
    CTrayIcon::SetAvailabilityForTest(1);
    askTheDesktop();
    EXPECT_TRUE(gotIt->IsVisible());
    EXPECT_EQ(close->accessibleName(), "Close to the tray");
    QTest::mouseClick(close, Qt::LeftButton);
    EXPECT_FALSE(wnd->isVisible());
    EXPECT_FALSE(wnd->IsDestroyed());
    wnd->sendMessage(kMsgTray, 0, WM_LBUTTONUP);
    EXPECT_TRUE(wnd->isVisible());
    QTest::mouseClick(gotIt, Qt::LeftButton);
    EXPECT_FALSE(wnd->isVisible());
    wnd->sendMessage(kMsgTray, 0, WM_LBUTTONUP);
    ASSERT_TRUE(wnd->isVisible());

    // The tray goes away: "Got it" is no longer offered, and close quits, the window
    // manager's close as well as the title bar's.
    CTrayIcon::SetAvailabilityForTest(0);
    askTheDesktop();
    EXPECT_FALSE(wnd->HasTray());
    EXPECT_FALSE(gotIt->IsVisible());
    EXPECT_EQ(close->accessibleName(), "Quit TALYX");
    QTest::mouseClick(gotIt, Qt::LeftButton);
    EXPECT_TRUE(wnd->isVisible()) << "a hidden button that is clicked anyway loses nothing";
    wnd->close(); // as the window manager's close button does
    EXPECT_TRUE(wnd->IsDestroyed());
    CTrayIcon::SetAvailabilityForTest(-1);
    EXPECT_TRUE(debug.contains("退出测试"));
    EXPECT_TRUE(debug.contains("抓取设备线程设定退出"));
    EXPECT_TRUE(debug.contains("同步灯光线程设定退出"));
    EXPECT_EQ(debug.count("错误\n1"), 1u) << "every slot is joined once, empty ones say so";
    EXPECT_FALSE(wnd->isVisible());
}

TEST_F(MainWindowFixture, TitleBarShowsOnlyWhatWorksAndTheBulbShowsWhoDrivesTheLights) {
    ASSERT_TRUE(waitUntil([&] { return wnd->isVisible(); }));
    for (const char* hidden : {"cloudbtn", "smarteyesbtn", "gamemodebtn", "restorebtn"})
        EXPECT_FALSE(wnd->FindControl(hidden)->IsVisible()) << hidden << ": nothing behind it here";
    for (const char* shown : {"control_light_status", "skinbtn", "setbtn", "minbtn", "maxbtn", "closebtn"}) {
        EXPECT_TRUE(wnd->FindControl(shown)->IsVisible()) << shown;
        EXPECT_FALSE(wnd->FindControl(shown)->accessibleName().isEmpty()) << shown;
    }
    auto* bulb = qobject_cast<CButtonUI*>(wnd->FindControl("control_light_status"));
    ASSERT_NE(bulb, nullptr);
    const QString onImage = bulb->GetNormalImage();
    EXPECT_TRUE(onImage.contains("btn_light.svg"));
    QTest::mouseClick(bulb, Qt::LeftButton);
    EXPECT_EQ(wnd->LightControlState(), 0);
    EXPECT_TRUE(bulb->GetNormalImage().contains("btn_light_off.svg"));
    EXPECT_TRUE(bulb->accessibleName().startsWith("The device and other programs drive the lights"));
    EXPECT_EQ(wnd->FindControl("status_text")->GetText(), "TALYX leaves the lights to the device and other programs");
    // Another program hands control back: the bulb follows without a click.
    wnd->sendMessage(WM_APP_LIGHT_CONTROL, 1, 1);
    EXPECT_EQ(bulb->GetNormalImage().toStdString(), onImage.toStdString());

    // The settings button and the tray's "Settings" open the settings window, and it stays.
    ScopedEnv updateUrl{"TALYX_UPDATE_URL", "http://127.0.0.1:9/api/"};
    QTest::mouseClick(wnd->FindControl("setbtn"), Qt::LeftButton);
    ASSERT_NE(wnd->SettingsWindow(), nullptr);
    QTest::qWait(300);
    EXPECT_TRUE(wnd->SettingsWindow()->isVisible());
    wnd->SettingsWindow()->Close();
    wnd->hide();
    const QString choice = "setwnd_menu";
    wnd->sendMessage(kMsgMenuChoice, reinterpret_cast<WPARAM>(&choice), 0);
    ASSERT_NE(wnd->SettingsWindow(), nullptr);
    QTest::qWait(300);
    EXPECT_TRUE(wnd->SettingsWindow()->isVisible()) << "opened from the tray while the main window is hidden";
    wnd->SettingsWindow()->Close();
}

TEST_F(MainWindowFixture, StatusLineTellsWhatHappenedInTheUsersLanguageThenSaysReadyAgain) {
    ASSERT_TRUE(waitUntil([&] { return wnd->isVisible(); }));
    CControlUI* line = wnd->FindControl("status_text");
    EXPECT_EQ(line->GetText(), "Ready");
    // Arguments fill in one pass: one that holds "%2" stays as written.
    WindowImplBase::ShowStatusFor(wnd->FindControl("device_select_layout"), "status_profile_copied",
                                  {"50%2 off", "Game"}, WindowImplBase::StatusKind::Success);
    EXPECT_EQ(line->GetText(), QString::fromUtf8("“50%2 off” copied as “Game”"));
    EXPECT_EQ(line->accessibleName(), line->GetText());
    // A language change translates the status shown.
    int chinese = -1;
    const std::vector<LanguageEntry> languages = ReadLanguageConfig();
    for (size_t i = 0; i < languages.size(); ++i)
        if (languages[i].file == "lan_cn.xml")
            chinese = static_cast<int>(i);
    ASSERT_GE(chinese, 0);
    wnd->ApplyLanguage(chinese);
    EXPECT_EQ(line->GetText(), QString::fromUtf8("已将“50%2 off”复制为“Game”"));
    ASSERT_TRUE(waitUntil([&] { return wnd->StatusTextId() == "status_ready"; }, 10000));
    EXPECT_EQ(line->GetText(), QString::fromUtf8("就绪"));
}

TEST_F(MainWindowFixture, AFailedProfileSaveIsToldOnceUntilSavingWorksAgain) {
    ASSERT_TRUE(waitUntil([&] { return wnd->isVisible(); }));
    const int shownBefore = CMsgWnd::ShownCount();
    const std::string gone = data.path() + "/gone";
    // Every profile write goes through here; a folder that went away fails like a full disk.
    CMsgWnd::SetNextAnswer(IDOK);
    EXPECT_FALSE(WriteProfileFile(gone + "/a.Json", Json::Value(Json::objectValue)));
    EXPECT_FALSE(WriteProfileFile(gone + "/b.Json", Json::Value(Json::objectValue)));
    ASSERT_TRUE(waitUntil([&] { return wnd->StatusTextId() == "status_save_failed"; }));
    QTest::qWait(50);
    EXPECT_EQ(CMsgWnd::ShownCount(), shownBefore + 1) << "one message for a run of failures";
    EXPECT_EQ(CMsgWnd::LastTextKey(), "message_save_failed");
    EXPECT_TRUE(CMsgWnd::LastText().contains(QString::fromStdString(gone)));
    EXPECT_TRUE(wnd->FindControl("status_text")->GetText().contains(QString::fromStdString(gone)));
    // A save that works ends the run; the next failure is told again.
    EXPECT_TRUE(WriteProfileFile(data.path() + "/ok.Json", Json::Value(Json::objectValue)));
    CMsgWnd::SetNextAnswer(IDOK);
    EXPECT_FALSE(WriteProfileFile(gone + "/c.Json", Json::Value(Json::objectValue)));
    ASSERT_TRUE(waitUntil([&] { return CMsgWnd::ShownCount() == shownBefore + 2; }));
}
