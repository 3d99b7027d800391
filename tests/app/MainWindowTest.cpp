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
#include "tests/support/QtTestSupport.h"
#include "tests/support/TestSupport.h"
#include "ui/CPaintManagerUI.h"
#include "ui/CResourceManager.h"
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
                             "smarteyesbtn", "setbtn", "device_switch", "device_power_switch",
                             "device_select_layout"})
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

TEST_F(MainWindowFixture, CloseButtonKeepsTheProgramReachableAndDestroyStopsEverything) {
    ASSERT_TRUE(waitUntil([&] { return wnd->isVisible(); }));
    QTest::mouseClick(wnd->FindControl("closebtn"), Qt::LeftButton);
    if (wnd->HasTray())
        EXPECT_FALSE(wnd->isVisible());
    else
        EXPECT_TRUE(wnd->isMinimized()) << "without a tray the window minimises instead of hiding";
    wnd->sendMessage(kMsgTray, 0, WM_LBUTTONUP);
    EXPECT_TRUE(wnd->isVisible());
    wnd->Close();
    EXPECT_TRUE(debug.contains("退出测试"));
    EXPECT_TRUE(debug.contains("抓取设备线程设定退出"));
    EXPECT_TRUE(debug.contains("同步灯光线程设定退出"));
    EXPECT_EQ(debug.count("错误\n1"), 1u) << "every slot is joined once, empty ones say so";
    EXPECT_FALSE(wnd->isVisible());
}
