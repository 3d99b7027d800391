#pragma once

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "device/transport/HidBackend.h"
#include "device/transport/HidrawBackend.h"
#include "device/transport/VirtualBusBackend.h"
#include "tests/support/TestSupport.h"

namespace talyx {
// Failing assertions name the status instead of printing its number.
inline void PrintTo(HidStatus status, std::ostream* os) {
    *os << HidStatusText(status);
}
} // namespace talyx

namespace talyx::test {

using Bytes = std::vector<uint8_t>;

inline std::string Hex(const uint8_t* data, size_t length) {
    std::string out;
    char byte[4];
    for (size_t i = 0; i < length; ++i) {
        std::snprintf(byte, sizeof byte, i ? " %02x" : "%02x", data[i]);
        out += byte;
    }
    return out;
}
inline std::string Hex(const Bytes& bytes) {
    return Hex(bytes.data(), bytes.size());
}

// Hand-written descriptors shaped like the ones real devices send.
namespace descriptors {

// A boot keyboard without report ids: 8 modifier bits, a reserved byte, six key slots;
// five LED bits out.
inline Bytes BootKeyboard() {
    return {0x05, 0x01, 0x09, 0x06, 0xA1, 0x01,             // Generic Desktop / Keyboard, application
            0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7,             // keyboard page, modifiers E0..E7
            0x15, 0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x08, // 0..1, 8 x 1 bit
            0x81, 0x02,                                     // Input (Data,Var,Abs)
            0x95, 0x01, 0x75, 0x08, 0x81, 0x01,             // reserved byte: Input (Const)
            0x95, 0x05, 0x75, 0x01, 0x05, 0x08,             // 5 x 1 bit, LED page
            0x19, 0x01, 0x29, 0x05, 0x91, 0x02,             // LEDs 1..5: Output (Data,Var,Abs)
            0x95, 0x01, 0x75, 0x03, 0x91, 0x01,             // LED padding
            0x95, 0x06, 0x75, 0x08, 0x15, 0x00, 0x25, 0x65, // 6 slots x 8 bits, 0..101
            0x05, 0x07, 0x19, 0x00, 0x29, 0x65,             // keys 0..101
            0x81, 0x00,                                     // Input (Data,Array,Abs)
            0xC0};
}

// A consumer-control array with report id 3: two 16-bit slots, usages 1..0x29C.
inline Bytes ConsumerControl() {
    return {0x05, 0x0C, 0x09, 0x01, 0xA1, 0x01, 0x85, 0x03, 0x15, 0x01, 0x26, 0x9C, 0x02,
            0x19, 0x01, 0x2A, 0x9C, 0x02, 0x75, 0x10, 0x95, 0x02, 0x81, 0x00, 0xC0};
}

// The keyboard's 64-byte vendor collection alone (page FF1C, usage 92, report id 4), as
// the virtual bus sends it.
inline Bytes VendorCollection() {
    return {0x06, 0x1C, 0xFF, 0x09, 0x92, 0xA1, 0x01, 0x85, 0x04, 0x09, 0x01, 0x15, 0x00, 0x26,
            0xFF, 0x00, 0x75, 0x08, 0x95, 0x40, 0x81, 0x02, 0x09, 0x02, 0x91, 0x02, 0xC0};
}

// The keyboard's second interface: system control (id 1), a mouse with a nested
// physical collection (id 2), the consumer collection that carries notifications
// (id 3) and the vendor collection (id 4), in that order.
inline Bytes KeyboardInterface1() {
    Bytes d = {// col01: System Control, 2-bit array 1..3 -> usages 81..83, 6 bits padding
               0x05, 0x01, 0x09, 0x80, 0xA1, 0x01, 0x85, 0x01, 0x19, 0x81, 0x29, 0x83, 0x15, 0x01, 0x25, 0x03, 0x75,
               0x02, 0x95, 0x01, 0x81, 0x00, 0x75, 0x06, 0x81, 0x03, 0xC0,
               // col02: Mouse, pointer (physical): buttons 1..5, padding, X/Y 16-bit, wheel 8-bit
               0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x85, 0x02, 0x09, 0x01, 0xA1, 0x00, 0x05, 0x09, 0x19, 0x01, 0x29,
               0x05, 0x15, 0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x05, 0x81, 0x02, 0x95, 0x01, 0x75, 0x03, 0x81, 0x01,
               0x05, 0x01, 0x09, 0x30, 0x09, 0x31, 0x16, 0x01, 0x80, 0x26, 0xFF, 0x7F, 0x75, 0x10, 0x95, 0x02, 0x81,
               0x06, 0x09, 0x38, 0x15, 0x81, 0x25, 0x7F, 0x75, 0x08, 0x95, 0x01, 0x81, 0x06, 0xC0, 0xC0,
               // col03: Consumer Control, one 16-bit slot, usages 0..7FF
               0x05, 0x0C, 0x09, 0x01, 0xA1, 0x01, 0x85, 0x03, 0x15, 0x00, 0x26, 0xFF, 0x07, 0x19, 0x00, 0x2A, 0xFF,
               0x07, 0x75, 0x10, 0x95, 0x01, 0x81, 0x00, 0xC0};
    const Bytes vendor = VendorCollection();
    d.insert(d.end(), vendor.begin(), vendor.end());
    return d;
}

} // namespace descriptors

// A fake /sys/class/hidraw and /dev in a scratch folder, laid out as the kernel does:
// class/hidraw/hidrawN/device links to the HID device, which sits under its USB
// interface (bInterfaceNumber) under its USB device (bcdDevice).
class FakeSysfs {
public:
    FakeSysfs() {
        mkdirs(classRoot());
        mkdirs(devRoot());
    }
    std::string classRoot() const { return m_dir.path() + "/class/hidraw"; }
    std::string devRoot() const { return m_dir.path() + "/dev"; }

    // interfaceNumber < 0: a HID device with no USB interface above it.
    void addNode(int number, uint16_t vid, uint16_t pid, int interfaceNumber, const Bytes& descriptor,
                 uint16_t release = 0x0105) {
        char id[64];
        std::snprintf(id, sizeof id, "0003:%04X:%04X.%04X", vid, pid, number);
        std::string usbDevice = m_dir.path() + "/devices/usb1/1-" + std::to_string(number);
        std::string parent = usbDevice;
        if (interfaceNumber >= 0) {
            parent = usbDevice + "/1-" + std::to_string(number) + ":1." + std::to_string(interfaceNumber);
            mkdirs(parent);
            char text[16];
            std::snprintf(text, sizeof text, "%02x\n", interfaceNumber);
            write(parent + "/bInterfaceNumber", text);
            std::snprintf(text, sizeof text, "%04x\n", release);
            write(usbDevice + "/bcdDevice", text);
        }
        const std::string hid = parent + "/" + id;
        mkdirs(hid);
        char uevent[128];
        std::snprintf(uevent, sizeof uevent, "DRIVER=hid-generic\nHID_ID=0003:%08X:%08X\nHID_NAME=Test\n", vid, pid);
        write(hid + "/uevent", uevent);
        write(hid + "/report_descriptor", std::string(descriptor.begin(), descriptor.end()));
        const std::string name = "hidraw" + std::to_string(number);
        mkdirs(classRoot() + "/" + name);
        ::symlink(hid.c_str(), (classRoot() + "/" + name + "/device").c_str());
        write(devRoot() + "/" + name, "");
    }
    void removeNode(int number) {
        const std::string name = "hidraw" + std::to_string(number);
        ::unlink((devRoot() + "/" + name).c_str());
        ::unlink((classRoot() + "/" + name + "/device").c_str());
        ::rmdir((classRoot() + "/" + name).c_str());
    }

private:
    static void mkdirs(const std::string& path) {
        for (size_t at = 1; at != std::string::npos; at = path.find('/', at + 1))
            ::mkdir(path.substr(0, at).c_str(), 0755);
        ::mkdir(path.c_str(), 0755);
    }
    static void write(const std::string& path, const std::string& content) {
        std::ofstream(path, std::ios::binary) << content;
    }
    ScratchDir m_dir;
};

// The hidraw backend with its nodes replaced by socket pairs: the backend gets one end,
// the test keeps the other to play the device (SOCK_SEQPACKET keeps report boundaries
// as a hidraw node does). openError makes every open fail with that errno.
class SocketHidraw : public HidrawBackend {
public:
    using HidrawBackend::HidrawBackend;
    ~SocketHidraw() override {
        for (auto& entry : m_peers)
            for (int fd : entry.second)
                ::close(fd);
    }
    std::atomic<int> openError{0};
    std::atomic<int> opens{0};

    // The device end of the most recent open of a node ("hidrawN"), or -1.
    int peer(const std::string& name) {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_peers.find(name);
        return it == m_peers.end() || it->second.empty() ? -1 : it->second.back();
    }

protected:
    int openNode(const std::string& nodePath, int flags) override {
        ++opens;
        if (openError) {
            errno = openError;
            return -1;
        }
        int pair[2];
        if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0)
            return -1;
        if (flags & O_NONBLOCK)
            ::fcntl(pair[0], F_SETFL, O_NONBLOCK);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_peers[nodePath.substr(nodePath.find_last_of('/') + 1)].push_back(pair[1]);
        return pair[0];
    }

private:
    std::mutex m_mutex;
    std::map<std::string, std::vector<int>> m_peers;
};

// A device on the virtual bus: one listening socket, a thread that greets every
// connection with the hello and collects what it receives.
class TinyBusDevice {
public:
    TinyBusDevice(const std::string& folder, const std::string& name, const Bytes& hello)
        : m_path(folder + "/" + name), m_hello(hello) {
        m_listen = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", m_path.c_str());
        ::bind(m_listen, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(m_listen, 8);
        ::pipe(m_wake);
        m_thread = std::thread([this] { serve(); });
    }
    ~TinyBusDevice() {
        unplug();
        ::close(m_wake[0]);
        ::close(m_wake[1]);
    }

    // Closes every connection and removes the socket, as a device does when unplugged.
    void unplug() {
        if (!m_thread.joinable())
            return;
        ::write(m_wake[1], "x", 1);
        m_thread.join();
        std::lock_guard<std::mutex> lock(m_mutex);
        for (int fd : m_clients)
            ::close(fd);
        m_clients.clear();
        ::close(m_listen);
        ::unlink(m_path.c_str());
    }
    // Sends one input report to every open connection.
    void sendInput(const Bytes& report) {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (int fd : m_clients)
            ::send(fd, report.data(), report.size(), MSG_NOSIGNAL);
    }
    // Waits up to timeoutMs for the n-th message (from 1) received on any connection.
    bool waitForMessages(size_t n, int timeoutMs) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_received.size() >= n; });
    }
    std::vector<Bytes> received() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_received;
    }
    size_t connections() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_accepted;
    }
    size_t silentCloses() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_silentCloses;
    }
    bool waitForClients(size_t n, int timeoutMs) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_clients.size() >= n; });
    }
    bool waitForSilentCloses(size_t n, int timeoutMs) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_silentCloses >= n; });
    }

private:
    void serve() {
        std::map<int, bool> talked;
        for (;;) {
            std::vector<pollfd> fds = {{m_wake[0], POLLIN, 0}, {m_listen, POLLIN, 0}};
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                for (int fd : m_clients)
                    fds.push_back({fd, POLLIN, 0});
            }
            if (::poll(fds.data(), fds.size(), 1000) < 0 && errno != EINTR)
                return;
            if (fds[0].revents)
                return;
            if (fds[1].revents & POLLIN) {
                const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
                if (fd >= 0) {
                    ::send(fd, m_hello.data(), m_hello.size(), MSG_NOSIGNAL);
                    std::lock_guard<std::mutex> lock(m_mutex);
                    m_clients.push_back(fd);
                    ++m_accepted;
                    talked[fd] = false;
                    m_cv.notify_all();
                }
            }
            for (size_t i = 2; i < fds.size(); ++i) {
                if (!fds[i].revents)
                    continue;
                uint8_t buffer[70000];
                const ssize_t n = ::recv(fds[i].fd, buffer, sizeof buffer, MSG_DONTWAIT);
                std::lock_guard<std::mutex> lock(m_mutex);
                if (n > 0) {
                    m_received.emplace_back(buffer, buffer + n);
                    talked[fds[i].fd] = true;
                } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                    if (!talked[fds[i].fd])
                        ++m_silentCloses;
                    ::close(fds[i].fd);
                    m_clients.erase(std::remove(m_clients.begin(), m_clients.end(), fds[i].fd), m_clients.end());
                }
                m_cv.notify_all();
            }
        }
    }

    std::string m_path;
    Bytes m_hello;
    int m_listen = -1;
    int m_wake[2] = {-1, -1};
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<int> m_clients;
    std::vector<Bytes> m_received;
    size_t m_accepted = 0;
    size_t m_silentCloses = 0;
};

// A backend of fixed nodes that records which paths were opened. Its connections never
// deliver a report.
class FakeBackend : public HidBackend {
public:
    struct Node {
        HidNodeInfo info;
        bool present = true;
    };
    std::map<std::string, Node> nodes;
    std::vector<std::string> opened;
    bool enumerateFails = false;

    void add(const std::string& path, uint16_t vid, uint16_t pid, const Bytes& descriptor) {
        Node node;
        node.info.attributes.vendorId = vid;
        node.info.attributes.productId = pid;
        node.info.reportDescriptor = descriptor;
        nodes[path] = node;
    }
    bool enumerate(std::vector<std::string>& paths) override {
        paths.clear();
        for (auto& entry : nodes)
            if (entry.second.present)
                paths.push_back(entry.first);
        return !enumerateFails;
    }
    HidStatus open(const std::string& path, bool, bool, HidNodeInfo& info,
                   std::unique_ptr<HidConnection>& connection) override {
        auto it = nodes.find(path);
        if (it == nodes.end() || !it->second.present)
            return HidStatus::Gone;
        opened.push_back(path);
        info = it->second.info;
        connection = std::make_unique<SilentConnection>();
        return HidStatus::Ok;
    }
    bool probe(const std::string& path) override {
        auto it = nodes.find(path);
        return it != nodes.end() && it->second.present;
    }

private:
    class SilentConnection : public HidConnection {
    public:
        HidStatus read(uint8_t*, size_t, size_t& got, int) override {
            got = 0;
            return HidStatus::Gone;
        }
        HidStatus write(const uint8_t*, size_t len, size_t& written, int) override {
            written = len;
            return HidStatus::Ok;
        }
        void cancel() override {}
    };
};

} // namespace talyx::test
