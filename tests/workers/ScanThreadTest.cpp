// The device-scan thread against talyx-vdev on a private bus.

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <thread>

#include <gtest/gtest.h>

#include "device/DeviceScanThread.h"
#include "device/SupportedDeviceTable.h"
#include "device/WorkerStop.h"
#include "device/transport/VirtualBusBackend.h"
#include "platform/Debug.h"
#include "platform/Paths.h"
#include "platform/WorkerThread.h"
#include "support/TestSupport.h"
#include "vdev/VdevProcess.h"
#include "workers/WorkerTestSupport.h"

namespace talyx {
namespace {

using test::RecordingWindow;
using vdev::VdevProcess;

constexpr uint32_t kInstanceMessage = 0xC123;
constexpr uint32_t kArrived = DeviceScanThread::kMsgDeviceArrived;
constexpr uint32_t kRemoved = DeviceScanThread::kMsgDeviceRemoved;

class ScanThread : public ::testing::Test {
protected:
    void SetUp() override {
        if (!FileExists(VdevProcess::ExecutablePath()))
            GTEST_SKIP() << "talyx-vdev not built at " << VdevProcess::ExecutablePath();
        bus = scratch.file("bus");
        // What the main window does while it handles an arrival or a removal: it reads the
        // row, which the scan must have written before sending.
        window.onSend = [this](uint32_t msg, WPARAM row) {
            const SupportedDeviceEntry e = table.Entry(row);
            if (msg == kArrived && (!e.connected || e.devicePath.empty()))
                ++inconsistentRows;
            if (msg == kRemoved && (e.connected || !e.devicePath.empty()))
                ++inconsistentRows;
        };
    }
    void TearDown() override { worker.stop(kMainWindowStopWaitMs); }

    test::ScratchDir scratch;
    std::string bus;
    VdevProcess vdev;
    SupportedDeviceTable table;
    RecordingWindow window;
    int inconsistentRows = 0;
    WorkerThread worker;
};

TEST_F(ScanThread, ArrivalRemovalAndReplugOfAKeyboard) {
    ASSERT_TRUE(vdev.start(bus, {"keyboard"})) << vdev.lastError();
    DeviceScanThread scan(table, window, kInstanceMessage, std::make_shared<VirtualBusBackend>(bus));
    ASSERT_TRUE(scan.Start(worker));

    // Both collections of the keyboard arrive, once each; then the instance message.
    ASSERT_TRUE(window.waitFor(kInstanceMessage, 1, 5000));
    std::vector<WPARAM> arrived = window.params(kArrived);
    std::sort(arrived.begin(), arrived.end());
    EXPECT_EQ(arrived, (std::vector<WPARAM>{0, 1}));
    const auto messages = window.messages();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_TRUE(messages[0].sent && messages[1].sent);
    EXPECT_FALSE(messages[2].sent) << "the instance message is posted, not sent";
    EXPECT_EQ(messages[2].wParam, 0u);
    EXPECT_EQ(messages[2].lParam, 0);

    // Unplugged: each attached row is reported once, within about one pause.
    const auto unplugged = test::SteadyClock::now();
    ASSERT_TRUE(vdev.request(R"({"cmd":"unplug"})")["ok"].asBool());
    ASSERT_TRUE(window.waitFor(kRemoved, 2, 3000));
    const double noticedMs = test::MsSince(unplugged);
    std::printf("[ figure ] unplug noticed after %.1f ms (pause between passes %d ms)\n", noticedMs,
                DeviceScanThread::kPassPauseMs);
    EXPECT_LT(noticedMs, 1000.0);
    const uint64_t passes = scan.Passes();
    while (scan.Passes() < passes + 3) {
        scan.Rescan();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::vector<WPARAM> removed = window.params(kRemoved);
    std::sort(removed.begin(), removed.end());
    EXPECT_EQ(removed, (std::vector<WPARAM>{0, 1}));
    EXPECT_TRUE(table.ConnectedRows().empty());

    // Plugged in again: the same rows, and no second instance message.
    ASSERT_TRUE(vdev.request(R"({"cmd":"plug"})")["ok"].asBool());
    ASSERT_TRUE(window.waitFor(kArrived, 4, 3000));
    arrived = window.params(kArrived);
    ASSERT_EQ(arrived.size(), 4u);
    std::vector<WPARAM> again(arrived.begin() + 2, arrived.end());
    std::sort(again.begin(), again.end());
    EXPECT_EQ(again, (std::vector<WPARAM>{0, 1}));
    EXPECT_EQ(window.params(kInstanceMessage).size(), 1u);
    EXPECT_EQ(inconsistentRows, 0);

    DebugCapture debug;
    EXPECT_EQ(StopWorker(worker, WorkerOwner::MainWindow, kMainWindowStopWaitMs), WorkerThread::JoinResult::Signalled);
    EXPECT_TRUE(debug.contains("抓取设备线程设定退出"));
    EXPECT_TRUE(debug.contains("所有对象处于激发状态\n"));
}

TEST_F(ScanThread, AWiredKeyboardAndItsReceiverFillFourRows) {
    ASSERT_TRUE(vdev.start(bus, {"keyboard", "keyboard-receiver"})) << vdev.lastError();
    DeviceScanThread scan(table, window, kInstanceMessage, std::make_shared<VirtualBusBackend>(bus));
    ASSERT_TRUE(scan.Start(worker));
    ASSERT_TRUE(window.waitFor(kInstanceMessage, 1, 5000));
    std::vector<WPARAM> arrived = window.params(kArrived);
    std::sort(arrived.begin(), arrived.end());
    EXPECT_EQ(arrived, (std::vector<WPARAM>{0, 1, 2, 3}));

    // Only the receiver goes: only its rows are removed.
    ASSERT_TRUE(vdev.request(R"({"cmd":"unplug","device":1})")["ok"].asBool());
    ASSERT_TRUE(window.waitFor(kRemoved, 2, 3000));
    std::vector<WPARAM> removed = window.params(kRemoved);
    std::sort(removed.begin(), removed.end());
    EXPECT_EQ(removed, (std::vector<WPARAM>{2, 3}));
    EXPECT_EQ(table.ConnectedRows(), (std::vector<size_t>{0, 1}));
}

TEST_F(ScanThread, AFailedEnumerationEndsTheThread) {
    DebugCapture debug;
    // A bus "folder" that is a file cannot be listed (a missing folder is only an empty bus).
    std::ofstream(scratch.file("not-a-folder")) << "x";
    DeviceScanThread scan(table, window, kInstanceMessage,
                          std::make_shared<VirtualBusBackend>(scratch.file("not-a-folder")));
    ASSERT_TRUE(scan.Start(worker));
    const auto start = test::SteadyClock::now();
    while (worker.running() && test::MsSince(start) < 3000)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_FALSE(worker.running());
    EXPECT_TRUE(debug.contains("抓取设备线程设定退出"));
    // The window still comes forward (with its no-device notice) instead of staying hidden.
    EXPECT_EQ(window.params(kInstanceMessage).size(), 1u);
    EXPECT_TRUE(window.params(kArrived).empty());
}

} // namespace
} // namespace talyx
