#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device/SupportedDeviceTable.h"
#include "device/transport/HidDevice.h"

namespace talyx {

class Event;
class HidBackend;
class HidWatch;
class MessageTarget;
class WorkerThread;

// The worker that finds supported devices and notices when they go away.
//
// Each pass, while some row of the runtime table is still free, it enumerates the HID
// interfaces and attaches every wanted one, telling the main window about each attached
// row with message 3090 (wParam = row). After the first pass that enumerated it posts the
// instance message once, which brings the window forward. Every pass it probes the path of
// each connected row; a path that no longer answers is detached and reported with message
// 3091 (wParam = row), once per row. If enumeration fails the thread ends: devices plugged
// in later are only found after a restart.
//
// When passes run: where the backend has a watch (uevents of the hidraw subsystem, inotify
// on the virtual bus folder), a pass runs as soon as the watch says that collections came
// or went, so arrivals and removals are seen at once; a pass that could not open a wanted
// interface for a passing reason (a socket not listening yet) is tried again after 5 ms,
// then after twice as long each time, for half a second after the hint; and a slow pass every 5 s catches whatever a
// watch cannot tell (a bus device killed without removing its socket). An idle scan so wakes once in 5 s. Without a
// watch it passes every 100 ms. The stop event wakes it at once in every case (a helper thread, asleep until the stop,
// turns the event into a wake-up).
//
// Supported devices that are plugged in but may not be opened (no access rights on the
// node) are kept in the table (SupportedDeviceTable::InaccessibleDevices) and reported
// with message 3092: lParam 1 when one is found (wParam = the row it would take), lParam 0
// when one has left the list, because it went away or became accessible (wParam = its row).
//
// The runtime table is written by this thread alone (the connected flags and paths, on
// attach and detach, and the list of inaccessible devices). The main window only reads
// it, mostly while it handles 3090, 3091 and 3092; all three are sent synchronously, so
// the window sees every change before the scan goes on, and the table's own lock keeps
// each read whole.
class DeviceScanThread {
public:
    static constexpr uint32_t kMsgDeviceArrived = 3090;
    static constexpr uint32_t kMsgDeviceRemoved = 3091;
    static constexpr uint32_t kMsgDeviceNoAccess = 3092;
    // Between passes when there is no watch.
    static constexpr int kPassPauseMs = 100;
    // The safety net when there is one.
    static constexpr int kRescanMs = 5000;
    // After a hint: how long a failed open of a wanted interface is retried, and the
    // first pause before a retry (doubling up to kPassPauseMs).
    static constexpr int kSettleMs = 500;
    static constexpr int kRetryPauseMs = 5;

    // The table and the window must outlive the thread. `instanceMessage` is the registered
    // id of the instance message. The backend is the process default unless given (tests).
    DeviceScanThread(SupportedDeviceTable& table, MessageTarget& window, uint32_t instanceMessage,
                     std::shared_ptr<HidBackend> backend = nullptr);
    // Stops a Run that is still going (sets its stop event) and waits for it to return,
    // so the thread never outlives the object it works on.
    ~DeviceScanThread();
    DeviceScanThread(const DeviceScanThread&) = delete;
    DeviceScanThread& operator=(const DeviceScanThread&) = delete;

    // Uses this watch instead of the backend's (tests feed uevents through a socket pair).
    // Call before Start.
    void UseWatch(std::unique_ptr<HidWatch> watch);

    // Starts Run on the worker slot; false when the slot already runs a thread.
    bool Start(WorkerThread& slot);
    // The thread body; returns when the stop event is set or enumeration fails, after
    // writing "抓取设备线程设定退出". When it ends by itself it sets the stop event.
    void Run(Event& stop);

    // Asks for a pass now, as a hint of the watch does (a user's "look again", a test).
    // Safe from any thread; passes asked for while one runs fold into one.
    void Rescan();

    // Passes completed so far (read from any thread).
    uint64_t Passes() const { return m_passes.load(); }
    // True once Run has a working watch (passes are driven by hints, not a 100 ms pause).
    bool Watching() const { return m_watching.load(); }

private:
    // Woken: the stop relay or Rescan() wrote the wake-up descriptor.
    enum class Wake { TimedOut, Woken, Hint, WatchLost };
    // One enumeration: attaches what it can, notes what may not be opened. True when an
    // open failed for a reason that may pass.
    bool attachNew(Event& stop);
    void detachGone(Event& stop);
    void reportInaccessible(std::vector<InaccessibleDevice> found);
    Wake waitForWake(int timeoutMs);
    void wake();

    SupportedDeviceTable& m_table;
    MessageTarget& m_window;
    const uint32_t m_instanceMessage;
    std::shared_ptr<HidBackend> m_backend;
    // One interface object for the whole run, reused by every pass.
    HidDevice m_hid;
    std::unique_ptr<HidWatch> m_watch;
    // An eventfd: written by Rescan() and by the stop relay, polled between passes.
    int m_wakeFd;
    bool m_instancePosted = false;
    std::atomic<uint64_t> m_passes{0};
    std::atomic<bool> m_watching{false};
    // Whether Run is going, and its stop event; guarded by m_runLock.
    std::mutex m_runLock;
    std::condition_variable m_runEnded;
    Event* m_runStop = nullptr;
};

} // namespace talyx
