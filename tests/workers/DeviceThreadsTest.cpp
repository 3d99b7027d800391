// The per-device light thread and listeners, and the light-sync thread.

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

#include "device/CKestravaUSBDevice.h"
#include "device/DeviceHost.h"
#include "device/DevicePageLists.h"
#include "device/LightSyncThread.h"
#include "device/WorkerStop.h"
#include "device/transport/VirtualBusBackend.h"
#include "platform/Debug.h"
#include "platform/Paths.h"
#include "support/TestSupport.h"
#include "vdev/VdevProcess.h"
#include "workers/WorkerTestSupport.h"

namespace talyx {
namespace {

using vdev::VdevProcess;

void sleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

using test::waitFor;

struct TimerHost : DeviceHost {
    void armSelectorTimer(int timerId, int milliseconds) override {
        std::lock_guard<std::mutex> lock(mutex);
        timers.emplace_back(timerId, milliseconds);
    }
    std::vector<std::pair<int, int>> armed() {
        std::lock_guard<std::mutex> lock(mutex);
        return timers;
    }
    std::mutex mutex;
    std::vector<std::pair<int, int>> timers;
};

// Records what the worker threads hand to the device class.
class RecordingDevice : public CKestravaUSBDevice {
public:
    using CKestravaUSBDevice::CKestravaUSBDevice;
    ~RecordingDevice() override { StopWorkers(); }

    void OnKeyEvent(int deviceKey, int group) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events.push_back("key " + std::to_string(deviceKey) + "/" + std::to_string(group));
        m_changed.notify_all();
    }
    void OnDeviceUsage(uint16_t usage) override {
        char text[16];
        std::snprintf(text, sizeof text, "usage %04x", usage);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events.push_back(text);
        m_changed.notify_all();
    }
    void LightStep() override {
        ++steps;
        CKestravaUSBDevice::LightStep();
    }
    void LightOverlays() override { ++overlays; }
    bool LightOverlaysEachTick() const override { return eachTick; }

    // Waits until `count` events came; the events so far.
    std::vector<std::string> waitEvents(size_t count, int timeoutMs = 3000) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_events.size() >= count; });
        return m_events;
    }

    std::atomic<int> steps{0};
    std::atomic<int> overlays{0};
    std::atomic<bool> eachTick{false};

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_events;
};

// ---- Listeners, against talyx-vdev ----

class Listener : public ::testing::Test {
protected:
    void SetUp() override {
        if (!FileExists(VdevProcess::ExecutablePath()))
            GTEST_SKIP() << "talyx-vdev not built at " << VdevProcess::ExecutablePath();
        bus = scratch.file("bus");
    }

    // The second-collection row of a device on the bus, with its path.
    SupportedDeviceEntry secondRow(size_t row, const char* productMarker) {
        SupportedDeviceEntry entry = SupportedDeviceRows()[row];
        std::vector<std::string> paths;
        VirtualBusBackend(bus).enumerate(paths);
        for (const std::string& p : paths)
            if (p.find(productMarker) != std::string::npos && p.find("&col03") != std::string::npos)
                entry.devicePath = p;
        EXPECT_FALSE(entry.devicePath.empty()) << "no second collection of " << productMarker;
        return entry;
    }

    void notify(int device, int usage) {
        const std::string request =
            R"({"cmd":"notify","device":)" + std::to_string(device) + R"(,"usage":)" + std::to_string(usage) + "}";
        ASSERT_TRUE(vdev.request(request)["ok"].asBool()) << request;
    }

    test::ScratchDir scratch;
    std::string bus;
    VdevProcess vdev;
    TimerHost host;
};

TEST_F(Listener, WiredNotificationsReachTheirHooks) {
    ASSERT_TRUE(vdev.start(bus, {"keyboard"})) << vdev.lastError();
    RecordingDevice device(std::make_shared<VirtualBusBackend>(bus));
    device.SetFamilyIndex(DeviceTypeKeyboard);
    device.SetHost(&host);
    DebugCapture debug;
    ASSERT_TRUE(device.StartListener(secondRow(1, "pid_5078"), kCodeKeyboard));
    EXPECT_TRUE(device.SecondChannel().IsOpen());
    EXPECT_TRUE(device.ListenerRunning(kCodeKeyboard));
    EXPECT_FALSE(device.ListenerRunning(kCodeKeyboardReceiver));

    notify(0, 0x401);
    notify(0, 0x505);
    notify(0, 0x402);
    notify(0, 0x6A0);
    notify(0, 0x300); // below the notifications: no hook
    notify(0, 0x1103);
    const std::vector<std::string> expected = {"key 5/1", "key 160/2", "usage 1103"};
    EXPECT_EQ(device.waitEvents(3), expected);
    // Both settings notifications arm the settings synchronisation on the selector item.
    const std::vector<std::pair<int, int>> timers = {{1002, 50}, {1002, 50}};
    EXPECT_EQ(host.armed(), timers);
    EXPECT_EQ(device.LastNotification(), 0x402);
    EXPECT_EQ(debug.count("接收到自动添加设备的同步信息要求  TEST"), 6u);
    EXPECT_EQ(debug.count("接收到自动添加设备的同步信息要求"), 2u);

    // Re-attaching the row stops the old listener first: one reader, one event per report.
    ASSERT_TRUE(device.StartListener(secondRow(1, "pid_5078"), kCodeKeyboard));
    EXPECT_EQ(debug.count("MS 设备同步线程设定退出"), 1u);
    notify(0, 0x1104);
    EXPECT_EQ(device.waitEvents(4).size(), 4u);
    sleepMs(100);
    EXPECT_EQ(device.waitEvents(4, 0).size(), 4u);
}

TEST_F(Listener, AStopEndsAWaitingReadAtOnce) {
    ASSERT_TRUE(vdev.start(bus, {"keyboard"})) << vdev.lastError();
    RecordingDevice device(std::make_shared<VirtualBusBackend>(bus));
    device.SetFamilyIndex(DeviceTypeKeyboard);
    ASSERT_TRUE(device.StartListener(secondRow(1, "pid_5078"), kCodeKeyboard));
    sleepMs(50); // the listener is in its read by now

    DebugCapture debug;
    const auto start = test::SteadyClock::now();
    EXPECT_EQ(device.StopListener(kCodeKeyboard), WorkerThread::JoinResult::Signalled);
    const double stopMs = test::MsSince(start);
    std::printf("[ figure ] listener stopped in %.2f ms (its wait is %d ms)\n", stopMs, kListenerStopWaitMs);
    EXPECT_LT(stopMs, 250.0);
    const std::vector<std::string> texts = {"MS 设备同步线程设定退出", "线程退出：：对象处于激发状态\n"};
    EXPECT_EQ(debug.texts(), texts);
    EXPECT_FALSE(device.SecondChannel().IsOpen());
    EXPECT_FALSE(device.SecondChannel().InterfaceA().IsOpen());
}

TEST_F(Listener, TheReceiverListenerPassesNoKeyEvents) {
    ASSERT_TRUE(vdev.start(bus, {"keyboard-receiver", "mousepad"})) << vdev.lastError();
    RecordingDevice keyboard(std::make_shared<VirtualBusBackend>(bus));
    keyboard.SetFamilyIndex(DeviceTypeKeyboard);
    keyboard.SetHost(&host);
    ASSERT_TRUE(keyboard.StartListener(secondRow(3, "pid_50ec"), kCodeKeyboardReceiver));
    EXPECT_TRUE(keyboard.SecondChannel().InterfaceB().IsOpen());
    EXPECT_FALSE(keyboard.SecondChannel().InterfaceA().IsOpen());
    notify(0, 0x401);
    notify(0, 0x505);
    notify(0, 0x1103);
    const std::vector<std::string> expected = {"usage 0505", "usage 1103"};
    EXPECT_EQ(keyboard.waitEvents(2), expected);
    EXPECT_EQ(host.armed().size(), 1u);

    // The mouse pad's listener has its own exit text.
    RecordingDevice pad(std::make_shared<VirtualBusBackend>(bus));
    pad.SetFamilyIndex(DeviceTypeMousePad);
    ASSERT_TRUE(pad.StartListener(secondRow(9, "pid_1004"), kCodeMousePad));
    notify(1, 0x1101);
    EXPECT_EQ(pad.waitEvents(1), std::vector<std::string>{"usage 1101"});
    DebugCapture debug;
    pad.StopWorkers();
    keyboard.StopWorkers();
    EXPECT_EQ(debug.count("MS设备同步线程设定退出"), 1u);
    EXPECT_EQ(debug.count("MS 设备同步线程设定退出"), 1u);
    EXPECT_EQ(debug.count("线程退出：：对象处于激发状态\n"), 2u);
}

// ---- The light thread ----

TEST(LightThread, StepsAtThePaceOfTheSpeedAndIdlesWhenItShould) {
    RecordingDevice device;
    device.SetFamilyIndex(DeviceTypeKeyboard);
    device.SetLightCount(4);
    device.SetCustomColour(10, 20, 30);
    device.SetLightingValues(3, 4, 1, 0); // speed 4: a step every tick
    device.Channel().SetOpen(true);
    ASSERT_TRUE(device.StartLightThread());
    sleepMs(500);
    const int fast = device.steps.exchange(0);
    const int fastOverlays = device.overlays.exchange(0);
    device.SetLightingValues(3, 0, 1, 0); // speed 0: every 8 ticks
    sleepMs(1000);
    const int slow = device.steps.exchange(0);
    std::printf("[ figure ] light thread: %d steps in 500 ms at pace 1 (32 expected), %d in 1000 ms at pace 8 (8 "
                "expected)\n",
                fast, slow);
    EXPECT_GE(fast, 20);
    EXPECT_LE(fast, 40);
    EXPECT_GE(slow, 5);
    EXPECT_LE(slow, 11);
    EXPECT_GT(fastOverlays, 0);
    EXPECT_LE(fastOverlays, fast);
    const LightColour c = device.GetLightColour(3);
    EXPECT_EQ(c.g, 20);
    EXPECT_EQ(c.brightness, 195);

    // Overlays that need every tick wake the thread 64 times a second.
    device.eachTick = true;
    device.overlays = 0;
    sleepMs(500);
    const int tickOverlays = device.overlays.exchange(0);
    device.eachTick = false;
    EXPECT_GE(tickOverlays, 20);
    EXPECT_LE(tickOverlays, 40);

    // Synchronised, suspended or closed: no step.
    device.Channel().SetSynchronised(true);
    sleepMs(150);
    device.steps = 0;
    sleepMs(300);
    EXPECT_EQ(device.steps.load(), 0);
    device.Channel().SetSynchronised(false);
    device.Channel().SetOpen(false);
    sleepMs(150);
    device.steps = 0;
    sleepMs(300);
    EXPECT_EQ(device.steps.load(), 0);

    DebugCapture debug;
    EXPECT_EQ(device.StopLightThread(), WorkerThread::JoinResult::Signalled);
    const std::vector<std::string> texts = {"KB灯光线程设定退出", "线程退出：：对象处于激发状态\n"};
    EXPECT_EQ(debug.texts(), texts);
    EXPECT_FALSE(device.LightThreadRunning());
}

TEST(LightThread, MouseAndPadExitTextAndRestart) {
    RecordingDevice pad;
    pad.SetFamilyIndex(DeviceTypeMousePad);
    DebugCapture debug;
    ASSERT_TRUE(pad.StartLightThread());
    // Starting again restarts the thread.
    ASSERT_TRUE(pad.StartLightThread());
    EXPECT_EQ(debug.count("MS灯光线程设定退出"), 1u);
    EXPECT_TRUE(pad.LightThreadRunning());
    pad.StopWorkers();
    EXPECT_EQ(debug.count("MS灯光线程设定退出"), 2u);
    EXPECT_EQ(debug.count("KB灯光线程设定退出"), 0u);
}

// ---- The light-sync thread ----

TEST(LightSync, IdleItSleepsUntilWokenAndAStopWithWakeEndsIt) {
    DevicePageLists lists;
    RecordingDevice unsynchronised;
    unsynchronised.Channel().SetOpen(true);
    lists.Add(DeviceTypeKeyboard, &unsynchronised);
    LightSyncThread sync(lists);
    WorkerThread slot;
    ASSERT_TRUE(sync.Start(slot));
    ASSERT_TRUE(waitFor([&] { return sync.Passes() >= 1; }));
    sleepMs(1500);
    EXPECT_EQ(sync.Passes(), 1u) << "no synchronised device: no wake-up of its own";
    LightSyncThread::Wake();
    EXPECT_TRUE(waitFor([&] { return sync.Passes() == 2; }));
    DebugCapture debug;
    EXPECT_EQ(StopWorker(slot, WorkerOwner::MainWindow, kMainWindowStopWaitMs, 0, [] { LightSyncThread::Wake(); }),
              WorkerThread::JoinResult::Signalled);
    EXPECT_EQ(sync.Steps(), 0u);
    EXPECT_TRUE(debug.contains("同步灯光线程设定退出"));
}

TEST(LightSync, DrivesEverySynchronisedDeviceEvenWithoutAMouse) {
    DevicePageLists lists;
    RecordingDevice keyboard, pad, mouse;
    keyboard.SetLightCount(3);
    pad.SetLightCount(2);
    mouse.SetLightCount(2);
    for (RecordingDevice* d : {&keyboard, &pad, &mouse})
        d->Channel().SetOpen(true);
    keyboard.Channel().SetSynchronised(true);
    pad.Channel().SetSynchronised(true);
    lists.Add(DeviceTypeKeyboard, &keyboard);
    lists.Add(DeviceTypeMousePad, &pad);
    lists.Add(DeviceTypeMouse, &mouse);

    LightSyncSettings settings;
    settings.type = kSyncStatic;
    settings.colour = {200, 0, 7};
    settings.brightnessLevel = 2;
    settings.speedIndex = 4;
    LightSyncThread::SetSettings(settings);

    LightSyncThread sync(lists);
    WorkerThread slot;
    ASSERT_TRUE(sync.Start(slot));
    const auto start = test::SteadyClock::now();
    while (pad.GetLightColour(1).r != 200 && test::MsSince(start) < 2000)
        sleepMs(5);
    for (int n = 0; n < 3; ++n) {
        const LightColour c = keyboard.GetLightColour(n);
        EXPECT_EQ(c.r, 200) << "keyboard light " << n;
        EXPECT_EQ(c.b, 7);
        EXPECT_EQ(c.brightness, 135);
    }
    EXPECT_EQ(pad.GetLightColour(1).brightness, 135);
    EXPECT_EQ(mouse.GetLightColour(0).r, 0) << "a device that is not synchronised keeps its own lights";
    EXPECT_FALSE(lists.SynchronisedMouseFound());

    // A synchronised mouse is reported to the other pages.
    mouse.Channel().SetSynchronised(true);
    const auto t = test::SteadyClock::now();
    while (!lists.SynchronisedMouseFound() && test::MsSince(t) < 2000)
        sleepMs(5);
    EXPECT_TRUE(lists.SynchronisedMouseFound());

    // Nothing synchronised any more: the steps stop.
    for (RecordingDevice* d : {&keyboard, &pad, &mouse})
        d->Channel().SetSynchronised(false);
    sleepMs(100);
    const uint64_t steps = sync.Steps();
    sleepMs(200);
    EXPECT_EQ(sync.Steps(), steps);
    StopWorker(slot, WorkerOwner::MainWindow, kMainWindowStopWaitMs, 0, [] { LightSyncThread::Wake(); });
}

} // namespace
} // namespace talyx
