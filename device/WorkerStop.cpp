#include "device/WorkerStop.h"

#include "platform/Debug.h"

namespace talyx {

WorkerThread::JoinResult StopWorker(WorkerThread& worker, WorkerOwner owner, int waitMs, int slot,
                                    const std::function<void()>& wake) {
    const WorkerThread::JoinResult result = worker.stop(waitMs, wake);
    const bool mainWindow = owner == WorkerOwner::MainWindow;
    switch (result) {
    case WorkerThread::JoinResult::Signalled:
        DebugOutput(mainWindow ? "所有对象处于激发状态\n" : "线程退出：：对象处于激发状态\n");
        break;
    case WorkerThread::JoinResult::TimedOut:
        DebugOutput(mainWindow ? "所有对象处于非激发状态，超时\n" : "线程退出：：对象处于非激发状态，超时\n");
        break;
    case WorkerThread::JoinResult::NotRunning:
        if (mainWindow)
            DebugOutputF("错误\n%d", slot);
        else
            DebugOutput("线程退出：：错误\n");
        break;
    }
    return result;
}

} // namespace talyx
