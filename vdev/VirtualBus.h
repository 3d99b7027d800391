#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "vdev/VirtualDevice.h"

namespace talyx::vdev {

// Serves virtual devices on the virtual HID bus: one listening SOCK_SEQPACKET socket per
// collection in the bus folder, named by the collection's device path. On each connection
// the device first sends the collection's hello; then every message from the program is one
// output report, and every input report the device makes goes to every open connection of
// that collection. A connection that closes without sending anything (the presence probe)
// is simply dropped. Unplugging closes the connections and removes the socket files.
//
// An optional control socket (Unix stream, one JSON request per line, one JSON reply per
// line) lets tests read the state, inject faults and emit notifications; see VdevControl.
//
// Timing: a real device answers no faster than the host polls its interrupt endpoints. With
// a poll interval P (microseconds; 1000 by default, full-speed USB at bInterval 1), each
// collection's OUT endpoint takes one output report at each poll (times k × P of the
// monotonic clock), the device handles it there, and its IN endpoint hands over one input
// report at each of its polls, half a period after the OUT polls. A request and its reply
// so take about one period; a burst of requests queues and goes at one a period. P = 0
// answers at once (quick tests). Notifications are sent at once either way.
//
// Single-threaded: Run() or Poll() do all the work on the calling thread. Stop() may be
// called from any thread or a signal handler.
// The poll interval of a named bus timing: "usb" 1000 µs, "receiver" 2000 µs, "fast" 0.
bool ParseTiming(const std::string& name, int& pollUs);

class VirtualBus {
public:
    explicit VirtualBus(std::string folder);
    ~VirtualBus();
    VirtualBus(const VirtualBus&) = delete;
    VirtualBus& operator=(const VirtualBus&) = delete;

    const std::string& Folder() const { return m_folder; }

    int AddDevice(std::unique_ptr<VirtualDevice> device);
    int DeviceCount() const { return static_cast<int>(m_devices.size()); }
    VirtualDevice* Device(int index);

    // Creates the device's sockets. False (with a reason) when one cannot be created; the
    // ones already made are removed again.
    bool Plug(int device, std::string* error = nullptr);
    // Closes the device's connections and removes its socket files.
    void Unplug(int device);
    // Sends one notification usage to every connection of the device's notification
    // collection. False when the device has none or is unplugged.
    bool Notify(int device, uint16_t usage);
    // Open connections of a collection.
    int ConnectionCount(int device, int collection) const;

    bool OpenControl(const std::string& path, std::string* error = nullptr);
    const std::string& ControlPath() const { return m_controlPath; }

    // The endpoints' poll interval in microseconds (0: no bus timing).
    static constexpr uint32_t kDefaultPollUs = 1000;
    void SetPollInterval(uint32_t microseconds) { m_pollUs = microseconds; }
    uint32_t PollIntervalUs() const { return m_pollUs; }

    // Handles activity for up to timeoutMs (negative: until something happens).
    void Poll(int timeoutMs);
    // Polls until Stop() or a "quit" request.
    void Run();
    void Stop();
    bool Stopped() const { return m_stopped.load(); }

private:
    struct Listener {
        int device;
        int collection;
        int fd;
        std::string path;
    };
    struct Connection {
        int device;
        int collection;
        int fd;
    };
    struct ControlClient {
        int fd;
        std::string buffer;
    };

    // A report waiting for its endpoint's poll: an output report to hand to the device, an
    // input report to send, or (no data, `unplug`) the device's unplug fault, which fires
    // after the replies before it.
    struct Pending {
        int device;
        int collection;
        std::vector<uint8_t> data;
        uint64_t dueUs;
        bool unplug = false;
    };

    void acceptConnection(const Listener& listener);
    // Hands an output report to the device and sends (or queues) what it answers.
    void handleOutput(int device, int collection, const uint8_t* data, size_t length, uint64_t nowUs);
    // Runs what is due; returns the time of the next item (UINT64_MAX: none).
    uint64_t runDue(uint64_t nowUs);
    // The next poll of an endpoint at or after `earliest`, one period after its last.
    uint64_t nextSlot(std::map<std::pair<int, int>, uint64_t>& last, int device, int collection, uint64_t earliest);
    void dropPending(int device);
    // False when the connection is gone.
    bool readConnection(Connection& connection);
    void broadcast(int device, int collection, const std::vector<uint8_t>& report);
    void acceptControl();
    bool readControl(ControlClient& client);
    // Drops closed connections and listeners (not control clients, which Poll drops once
    // it is done with them: a control request may unplug a device mid-loop).
    void closeMarked();

    std::string m_folder;
    std::vector<std::unique_ptr<VirtualDevice>> m_devices;
    std::vector<Listener> m_listeners;
    std::vector<Connection> m_connections;
    std::string m_controlPath;
    int m_controlFd = -1;
    std::vector<ControlClient> m_controlClients;
    int m_wakeRead = -1;
    int m_wakeWrite = -1;
    std::atomic<bool> m_stopped{false};
    uint32_t m_pollUs = kDefaultPollUs;
    std::deque<Pending> m_requests; // in order of their OUT polls
    std::deque<Pending> m_replies;  // in order of their IN polls
    std::map<std::pair<int, int>, uint64_t> m_lastOutPoll;
    std::map<std::pair<int, int>, uint64_t> m_lastInPoll;
};

} // namespace talyx::vdev
