// The texts of the stop protocol, and that a late thread is still joined.

#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "device/WorkerStop.h"
#include "platform/Debug.h"
#include "platform/Event.h"

namespace talyx {
namespace {

TEST(WorkerStop, TextsOfAStoppedThreadAndOfAnEmptySlot) {
    DebugCapture debug;
    WorkerThread worker;
    for (WorkerOwner owner : {WorkerOwner::MainWindow, WorkerOwner::Device}) {
        ASSERT_TRUE(worker.start([](Event& stop) { stop.wait(-1); }));
        EXPECT_EQ(StopWorker(worker, owner, kListenerStopWaitMs, 0), WorkerThread::JoinResult::Signalled);
        EXPECT_EQ(StopWorker(worker, owner, kListenerStopWaitMs, 7), WorkerThread::JoinResult::NotRunning);
    }
    const std::vector<std::string> expected = {"所有对象处于激发状态\n", "错误\n7", "线程退出：：对象处于激发状态\n",
                                               "线程退出：：错误\n"};
    EXPECT_EQ(debug.texts(), expected);
}

TEST(WorkerStop, ALateThreadIsReportedAndStillJoined) {
    for (WorkerOwner owner : {WorkerOwner::MainWindow, WorkerOwner::Device}) {
        DebugCapture debug;
        WorkerThread worker;
        std::atomic<bool> ended{false};
        Event release(true);
        ASSERT_TRUE(worker.start([&](Event&) {
            // Ignores the stop event until released, like a body stuck in a long command.
            release.wait(2000);
            ended = true;
        }));
        std::thread releaser([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            release.set();
        });
        int wakes = 0;
        EXPECT_EQ(StopWorker(worker, owner, 20, 3, [&] { ++wakes; }), WorkerThread::JoinResult::TimedOut);
        // The stop returned only after the body ended: nothing of it runs on.
        EXPECT_TRUE(ended);
        EXPECT_EQ(wakes, 1);
        releaser.join();
        const char* text = owner == WorkerOwner::MainWindow ? "所有对象处于非激发状态，超时\n"
                                                            : "线程退出：：对象处于非激发状态，超时\n";
        EXPECT_EQ(debug.texts(), std::vector<std::string>{text});
    }
}

} // namespace
} // namespace talyx
