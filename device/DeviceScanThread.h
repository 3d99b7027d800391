#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "device/transport/HidDevice.h"

namespace talyx {

class Event;
class HidBackend;
class MessageTarget;
class SupportedDeviceTable;
class WorkerThread;

// The worker that finds supported devices and notices when they go away.
//
// Each pass, while some row of the runtime table is still free, it enumerates the HID
// interfaces and attaches every wanted one, telling the main window about each attached
// row with message 3090 (wParam = row). After the first pass that enumerated it posts the
// instance message once, which brings the window forward. Every pass it probes the path of
// each connected row; a path that no longer answers is detached and reported with message
// 3091 (wParam = row), once per row. Between passes it waits 100 ms on its stop event, so
// a stop ends it at once. If enumeration fails the thread ends: devices plugged in later
// are only found after a restart.
//
// The runtime table is written by this thread alone (the connected flags and paths, on
// attach and detach). The main window only reads it, mostly while it handles 3090 and
// 3091; both are sent synchronously, so the window sees every change before the scan goes
// on, and the table's own lock keeps each read whole.
class DeviceScanThread {
public:
    static constexpr uint32_t kMsgDeviceArrived = 3090;
    static constexpr uint32_t kMsgDeviceRemoved = 3091;
    static constexpr int kPassPauseMs = 100;

    // The table and the window must outlive the thread. `instanceMessage` is the registered
    // id of the instance message. The backend is the process default unless given (tests).
    DeviceScanThread(SupportedDeviceTable& table, MessageTarget& window, uint32_t instanceMessage,
                     std::shared_ptr<HidBackend> backend = nullptr);
    DeviceScanThread(const DeviceScanThread&) = delete;
    DeviceScanThread& operator=(const DeviceScanThread&) = delete;

    // Starts Run on the worker slot; false when the slot already runs a thread.
    bool Start(WorkerThread& slot);
    // The thread body; returns when the stop event is set or enumeration fails, after
    // writing "抓取设备线程设定退出".
    void Run(Event& stop);

    // Passes completed so far (read from any thread).
    uint64_t Passes() const { return m_passes.load(); }

private:
    void attachNew(Event& stop);
    void detachGone(Event& stop);

    SupportedDeviceTable& m_table;
    MessageTarget& m_window;
    const uint32_t m_instanceMessage;
    // One interface object for the whole run, reused by every pass.
    HidDevice m_hid;
    bool m_instancePosted = false;
    std::atomic<uint64_t> m_passes{0};
};

} // namespace talyx
