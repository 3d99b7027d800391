#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "inputhook/EvdevSystem.h"
#include "inputhook/InputHookBackend.h"

struct input_event;

namespace talyx {

// The global backend for this system's input devices, or null when the program was
// built without it.
std::unique_ptr<InputHookBackend> MakeEvdevInputBackend();

// Keys and mouse buttons of every keyboard and mouse of the system, read from their event
// nodes on a thread of its own; devices are followed as they come and go. Repeats are
// dropped; after the kernel reports lost events (SYN_DROPPED) the rest of that report is
// skipped. Event times are the devices' own time stamps in milliseconds.
//
// With `exclusive`, each keyboard is grabbed, but only once none of its keys is held (so
// no key is left pressed for the desktop), and only when the lock keys can be passed on
// through a virtual keyboard: Caps Lock, Num Lock and Scroll Lock keep working for the
// user. Mice are never grabbed. Grabs end with Stop, with the device, and with any failure
// of the reader, which also ends delivery (an Ended event).
class EvdevInputBackend : public InputHookBackend {
public:
    explicit EvdevInputBackend(std::unique_ptr<EvdevSystem> system);
    ~EvdevInputBackend() override;
    std::string Name() const override { return "evdev"; }
    // False when no keyboard node can be read (the user lacks access to the devices).
    bool Start(Sink sink, bool exclusive) override;
    void Stop() override;

    // For the window and tests: how many keyboards are grabbed now, how many devices open.
    int GrabbedCount() const { return m_grabbed.load(); }
    int DeviceCount() const { return m_deviceCount.load(); }
    // The errno of the last node that could not be opened (EACCES: no permission).
    int LastOpenError() const { return m_openError.load(); }
    // Test seam: the reader fails as if polling broke.
    void FailReader() { m_failReader.store(true); }
    // Wakes the reader (tests: after a new node, so it is looked at now).
    void Wake();

private:
    struct Device {
        int fd = -1;
        EvdevSystem::Kind kind = EvdevSystem::Kind::Other;
        bool grabbed = false;
        bool dropping = false;
        std::set<int> held;
    };
    void run();
    void scan();
    bool openNode(const std::string& name);
    void closeDevice(const std::string& name, bool ungrab);
    void readDevice(const std::string& name, Device& d);
    void handle(Device& d, const input_event& e);
    void maybeGrab(Device& d);
    void releaseAll();
    void fail(const char* reason);

    std::unique_ptr<EvdevSystem> m_system;
    Sink m_sink;
    bool m_exclusive = false;
    bool m_lockKeys = false;
    std::thread m_thread;
    int m_wake = -1;
    int m_watch = -1;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_failReader{false};
    std::atomic<int> m_grabbed{0};
    std::atomic<int> m_deviceCount{0};
    std::atomic<int> m_openError{0};
    std::map<std::string, Device> m_devices;
    bool m_altHeld = false;
};

} // namespace talyx
