#pragma once

#include <atomic>
#include <cstdint>
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
// Single-threaded: Run() or Poll() do all the work on the calling thread. Stop() may be
// called from any thread or a signal handler.
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

    void acceptConnection(const Listener& listener);
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
};

} // namespace talyx::vdev
