#pragma once

#include <functional>

#include "platform/WorkerThread.h"

namespace talyx {

// Who stops a worker: the texts that report the result differ.
enum class WorkerOwner {
    MainWindow, // the scan and light-sync slots of the main window
    Device,     // a device's light thread and its listeners
};

// How long a stop waits for the thread to end. A listener's read is ended by closing its
// interface, so it needs less than a light thread that may be in the middle of a command.
constexpr int kMainWindowStopWaitMs = 1000;
constexpr int kLightThreadStopWaitMs = 1000;
constexpr int kListenerStopWaitMs = 500;

// Stops one worker slot: sets its stop event, runs `wake` (closing a listener's interface,
// so that a read waiting on it ends at once), waits up to waitMs and writes the result to
// the debug output:
//   main window: "所有对象处于激发状态\n", "所有对象处于非激发状态，超时\n", or for an empty
//                slot "错误\n" followed by the slot number;
//   device:      "线程退出：：对象处于激发状态\n", "线程退出：：对象处于非激发状态，超时\n",
//                "线程退出：：错误\n".
// A thread cannot be killed safely: after a time-out it is still joined, so this returns
// only once the body has ended. Blocks.
WorkerThread::JoinResult StopWorker(WorkerThread& worker, WorkerOwner owner, int waitMs, int slot = 0,
                                    const std::function<void()>& wake = {});

} // namespace talyx
