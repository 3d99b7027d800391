// The main window with devices: finding, losing and reusing pages, and the workers' lives.
#include <QAccessible>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <gtest/gtest.h>

#include "app/AppMessages.h"
#include "app/CDeviceOptionUI.h"
#include "app/CDevicePageUI.h"
#include "app/CMainWnd.h"
#include "app/ControlRegistry.h"
#include "app/Language.h"
#include "device/CFamilyLightingDevice.h"
#include "device/CKestravaUSBDevice.h"
#include "keyboard/CKestravaKeyboardDevice.h"
#include "platform/Debug.h"
#include "platform/Product.h"
#include "tests/app/DeviceWindowFixture.h"
#include "tests/support/QtTestSupport.h"
#include "tests/support/TestSupport.h"
#include "ui/CPaintManagerUI.h"
#include "ui/CProgressUI.h"
#include "ui/CResourceManager.h"
#include "ui/WindowMessages.h"
#include "vdev/VdevProcess.h"

using namespace talyx;
using talyx::test::DeviceWindowFixture;
using talyx::test::ScopedEnv;
using talyx::test::ScratchDir;
using talyx::test::waitUntil;

namespace {
const auto* const kBusEnvironment = ::testing::AddGlobalTestEnvironment(new talyx::test::BusEnvironment);
} // namespace

TEST_F(DeviceWindowFixture, AKeyboardGivesOnePageAndOneItemAndUnplugAndReplugReuseThem) {
    ASSERT_TRUE(plug({"keyboard"})) << vdev.lastError();
    openWindow();
    ASSERT_TRUE(waitUntil([&] { return wnd->VisibleSelectorCount() == 1; }));
    EXPECT_FALSE(noticeShown());
    ASSERT_EQ(wnd->Pages(DeviceTypeKeyboard).size(), 1u);
    CDevicePageUI* page = wnd->Pages(DeviceTypeKeyboard).front();
    EXPECT_EQ(debug.count("添加一个键盘设备"), 2u) << "rows 0 and 1 both arrive";
    ASSERT_TRUE(waitUntil([&] { return page->IsStarted(); }));
    EXPECT_TRUE(page->Device()->Channel().IsOpen());

    // Unplugging: each attached row is removed once, soon.
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(vdev.request(R"({"cmd":"unplug"})")["ok"].asBool());
    ASSERT_TRUE(waitUntil([&] { return debug.count("删除一个键盘设备") == 2; }, 3000));
    std::printf("unplug noticed after %lld ms\n", static_cast<long long>(clock.elapsed()));
    EXPECT_LT(clock.elapsed(), 1000);
    QTest::qWait(300);
    EXPECT_EQ(debug.count("删除一个键盘设备"), 2u) << "exactly one removal per row";
    EXPECT_TRUE(noticeShown()) << "the last device gone shows the notice again";
    EXPECT_FALSE(page->Device()->Channel().IsOpen());

    ASSERT_TRUE(vdev.request(R"({"cmd":"plug"})")["ok"].asBool());
    ASSERT_TRUE(waitUntil([&] { return wnd->VisibleSelectorCount() == 1; }));
    ASSERT_EQ(wnd->Pages(DeviceTypeKeyboard).size(), 1u);
    EXPECT_EQ(wnd->Pages(DeviceTypeKeyboard).front(), page) << "the page is reused";
    EXPECT_TRUE(page->Device()->Channel().IsOpen());
}

TEST_F(DeviceWindowFixture, AWiredKeyboardAndItsReceiverShareOnePageAndItem) {
    ASSERT_TRUE(plug({"keyboard", "keyboard-receiver"})) << vdev.lastError();
    openWindow();
    ASSERT_TRUE(waitUntil([&] { return debug.count("添加一个键盘设备") == 4; }));
    QTest::qWait(200);
    EXPECT_EQ(wnd->Pages(DeviceTypeKeyboard).size(), 1u);
    EXPECT_EQ(wnd->VisibleSelectorCount(), 1);
    EXPECT_FALSE(wnd->IsSyncOffered()) << "one device: nothing to synchronise with";
}

TEST_F(DeviceWindowFixture, ClosingEndsAWaitingListenerThroughItsCancel) {
    ASSERT_TRUE(plug({"keyboard"})) << vdev.lastError();
    openWindow();
    ASSERT_TRUE(waitUntil([&] {
        auto pages = wnd->Pages(DeviceTypeKeyboard);
        return !pages.empty() && pages.front()->Device()->ListenerRunning(kCodeKeyboard);
    }));
    QElapsedTimer clock;
    clock.start();
    wnd->Close();
    const qint64 ms = clock.elapsed();
    std::printf("closing with a waiting listener took %lld ms\n", static_cast<long long>(ms));
    EXPECT_LT(ms, 500) << "the listener ends through its cancel, not after its 500 ms wait";
    EXPECT_TRUE(debug.contains("MS 设备同步线程设定退出"));
    EXPECT_FALSE(debug.contains("线程退出：：对象处于非激发状态，超时\n"));
}

TEST_F(DeviceWindowFixture, SuspendStopsLightingControlAndResumeRestoresIt) {
    ASSERT_TRUE(plug({"keyboard"})) << vdev.lastError();
    openWindow();
    ASSERT_TRUE(waitUntil([&] {
        auto pages = wnd->Pages(DeviceTypeKeyboard);
        return !pages.empty() && pages.front()->IsStarted();
    }));
    CKestravaUSBDevice* device = wnd->Pages(DeviceTypeKeyboard).front()->Device();
    auto frames = [&] { return vdev.state()[0]["firmware"]["frame"]["count"].asUInt64(); };
    ASSERT_TRUE(waitUntil([&] { return frames() > 3; }));

    // The mode byte of the active light record, as the profile wrote it.
    auto mode = [&] {
        const std::string hex = vdev.state()[0]["firmware"]["records"].asString();
        return hex.size() >= 4 ? std::stoi(hex.substr(2, 2), nullptr, 16) : -1;
    };
    const int applied = mode();
    ASSERT_GE(applied, 0);

    wnd->sendMessage(WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
    EXPECT_EQ(device->LightingControl(), 0);
    QTest::qWait(100);
    const auto asleep = frames();
    QTest::qWait(300);
    EXPECT_EQ(frames(), asleep) << "no frames while asleep";
    // The keyboard lost its state while the machine slept (a power cut, another program).
    const std::string other = applied == 0 ? "01" : "00";
    ASSERT_TRUE(vdev.request(R"({"cmd":"set","area":"records","offset":1,"hex":")" + other + "\"}")["ok"].asBool());
    ASSERT_NE(mode(), applied);

    wnd->sendMessage(WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    EXPECT_EQ(device->LightingControl(), 1);
    ASSERT_TRUE(waitUntil([&] { return frames() > asleep + 3; })) << "frames again after resume";
    EXPECT_TRUE(waitUntil([&] { return mode() == applied; }, 5000)) << "the profile is applied again after resume";
}

TEST_F(DeviceWindowFixture, OtherFamiliesGetTheirPagesAndTwoDevicesOfferSynchronisedLighting) {
    ASSERT_TRUE(plug({"keyboard", "mouse", "mousepad", "headset"})) << vdev.lastError();
    openWindow();
    ASSERT_TRUE(waitUntil([&] { return wnd->VisibleSelectorCount() == 4; }, 8000));
    EXPECT_TRUE(wnd->IsSyncOffered());
    for (int family : {int(DeviceTypeMouse), int(DeviceTypeMousePad), int(DeviceTypeHeadset)}) {
        ASSERT_EQ(wnd->Pages(family).size(), 1u) << family;
        CDevicePageUI* page = wnd->Pages(family).front();
        ASSERT_TRUE(waitUntil([&] { return page->IsStarted(); })) << family;
        EXPECT_TRUE(page->IsSyncOffered());
        EXPECT_TRUE(page->Device()->LightThreadRunning());
    }
    // The selector's items are tabs that tell a screen reader which one is selected.
    std::vector<CDeviceOptionUI*> items;
    for (CDeviceOptionUI* item : wnd->findChildren<CDeviceOptionUI*>())
        if (item->IsVisible())
            items.push_back(item);
    ASSERT_EQ(items.size(), 4u);
    const auto selectedTabs = [&] {
        std::vector<CDeviceOptionUI*> out;
        for (CDeviceOptionUI* item : items) {
            QAccessibleInterface* a11y = QAccessible::queryAccessibleInterface(item);
            EXPECT_EQ(a11y->role(), QAccessible::PageTab);
            EXPECT_TRUE(a11y->state().selectable);
            if (a11y->state().selected)
                out.push_back(item);
        }
        return out;
    };
    ASSERT_EQ(selectedTabs().size(), 1u);
    CDeviceOptionUI* other = items.front() == selectedTabs().front() ? items.back() : items.front();
    other->Selected(true);
    EXPECT_EQ(selectedTabs(), std::vector<CDeviceOptionUI*>{other});

    // The mouse's lighting panel changes its profile's lighting.
    CDevicePageUI* mouse = wnd->Pages(DeviceTypeMouse).front();
    auto* slider = qobject_cast<CSliderUI*>(mouse->FindSubControl("deng_light_slider"));
    ASSERT_NE(slider, nullptr);
    slider->SetValue(1);
    slider->SendNotify(notify::kValueChanged);
    EXPECT_EQ(static_cast<CFamilyLightingDevice*>(mouse->Device())->CurrentLightInfo().light, 1);
    EXPECT_EQ(mouse->Device()->BrightnessLevel(), 1);

    ASSERT_TRUE(vdev.request(R"({"cmd":"unplug","device":1})")["ok"].asBool());
    ASSERT_TRUE(waitUntil([&] { return wnd->VisibleSelectorCount() == 3; }));
    EXPECT_TRUE(wnd->IsSyncOffered());
}

// A flood of record-index notifications merges into one page refresh per burst: the
// window keeps answering while it lasts and is current after it.
TEST_F(DeviceWindowFixture, ANotificationFloodMergesAndTheWindowKeepsAnswering) {
    ASSERT_TRUE(plug({"keyboard"})) << vdev.lastError();
    openWindow();
    ASSERT_TRUE(waitUntil([&] {
        auto pages = wnd->Pages(DeviceTypeKeyboard);
        return !pages.empty() && pages.front()->IsStarted();
    }));
    auto* keyboard = static_cast<CKestravaKeyboardDevice*>(wnd->Pages(DeviceTypeKeyboard).front()->Device());
    ASSERT_TRUE(vdev.request(R"({"cmd":"notify","usage":4355,"count":42000})", 20000)["ok"].asBool());
    // How long a call queued now waits for the interface thread, while the listener still
    // drains the burst.
    QElapsedTimer clock;
    clock.start();
    bool ran = false;
    QTimer::singleShot(0, [&] { ran = true; });
    ASSERT_TRUE(waitUntil([&] { return ran; }, 20000));
    const qint64 waited = clock.elapsed();
    std::printf("[ figure ] a queued call waited %lld ms during a burst of 42000 notifications\n",
                static_cast<long long>(waited));
    EXPECT_LT(waited, 1000);
    EXPECT_TRUE(waitUntil([&] { return keyboard->ActiveRecord() == 3; }));
}

// Going to sleep drops what was queued and ends a transfer that waits for a silent
// keyboard; waking starts the page afresh.
TEST_F(DeviceWindowFixture, SuspendDropsTheQueueAndEndsAWaitingTransfer) {
    ASSERT_TRUE(plug({"keyboard"})) << vdev.lastError();
    openWindow();
    CDevicePageUI* page = nullptr;
    ASSERT_TRUE(waitUntil([&] {
        auto pages = wnd->Pages(DeviceTypeKeyboard);
        page = pages.empty() ? nullptr : pages.front();
        return page && page->IsStarted();
    }));
    auto* keyboard = static_cast<CKestravaKeyboardDevice*>(page->Device());
    ASSERT_TRUE(vdev.request(R"({"cmd":"fault","kind":"no-reply","count":1000})")["ok"].asBool());
    std::vector<int> results;
    LightInfo light = keyboard->CurrentLightInfo();
    light.light = 1;
    keyboard->ChangeLighting(light, [&](int r) { results.push_back(r); });
    keyboard->Commands().Post(
        "key table", DeviceCommandWorker::kNoMerge,
        [&](CommandContext&) {
            keyboard->ReadKeyTable();
            return keyboard->HasKeyTable() ? kResultSuccess : kResultNoReply;
        },
        [&](int r) { results.push_back(r); });
    QTest::qWait(100);
    EXPECT_FALSE(keyboard->Commands().Idle()) << "the record write waits for its reply";
    QElapsedTimer clock;
    clock.start();
    wnd->sendMessage(WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
    ASSERT_TRUE(waitUntil([&] { return keyboard->Commands().Idle() && results.size() == 2; }, 3000));
    std::printf("[ figure ] the worker was idle %lld ms after the suspend\n", static_cast<long long>(clock.elapsed()));
    EXPECT_LT(clock.elapsed(), 800) << "not after the 1000 ms time-out of each command";
    ASSERT_EQ(results.size(), 2u);
    EXPECT_NE(results[0], kResultSuccess);
    EXPECT_EQ(results[1], kResultNoReply) << "the queued job was dropped";
    EXPECT_FALSE(keyboard->Channel().IsOpen());

    ASSERT_TRUE(vdev.request(R"({"cmd":"clear-faults"})")["ok"].asBool());
    wnd->sendMessage(WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    EXPECT_TRUE(waitUntil([&] { return keyboard->Channel().IsOpen() && keyboard->HasKeyTable(); }));
}

// Closing during a hand-over to a receiver whose mouse is out of reach ends its online
// tries at once.
TEST_F(DeviceWindowFixture, ClosingEndsTheTriesOfAHandOver) {
    // The mouse is the wireless-capable family; its receiver on the virtual bus never
    // reports it online.
    ASSERT_TRUE(vdev.start(test::busRoot().path() + "/bus", {"mouse", "mouse-receiver"}, {"--unplugged"}))
        << vdev.lastError();
    ASSERT_TRUE(vdev.request(R"({"cmd":"plug","device":0})")["ok"].asBool());
    openWindow();
    ASSERT_TRUE(waitUntil([&] {
        auto pages = wnd->Pages(DeviceTypeMouse);
        return !pages.empty() && pages.front()->IsStarted();
    }));
    // The receiver arrives: the page hands over to it and asks until the mouse is online.
    ASSERT_TRUE(vdev.request(R"({"cmd":"plug","device":1})")["ok"].asBool());
    ASSERT_TRUE(waitUntil([&] { return debug.contains("获取2.4G模式失败"); }, 3000)) << "the hand-over tries";
    QElapsedTimer clock;
    clock.start();
    wnd->Close();
    std::printf("[ figure ] closing during the hand-over took %lld ms\n", static_cast<long long>(clock.elapsed()));
    EXPECT_LT(clock.elapsed(), 500);
    EXPECT_LT(debug.count("获取2.4G模式失败"), 25u) << "the tries ended with the window";
    EXPECT_FALSE(debug.contains("获取2")) << "no settings written after the close";
}
