#include "vdev/VirtualBus.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <json/writer.h>

#include "platform/JsonFile.h"
#include "vdev/VdevControl.h"

namespace talyx::vdev {
namespace {

constexpr size_t kMaxMessage = 4096;
constexpr uint64_t kNothingDue = UINT64_MAX;

uint64_t nowMicros() {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}
constexpr size_t kMaxControlLine = 1 << 20;

bool makeAddress(const std::string& path, sockaddr_un& addr, std::string* error) {
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) {
        if (error)
            *error = "socket path too long (" + std::to_string(path.size()) + " bytes): " + path;
        return false;
    }
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    return true;
}

int listenOn(const std::string& path, int type, std::string* error) {
    sockaddr_un addr;
    if (!makeAddress(path, addr, error))
        return -1;
    const int fd = socket(AF_UNIX, type | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        if (error)
            *error = std::string("socket: ") + std::strerror(errno);
        return -1;
    }
    unlink(path.c_str()); // a file left by a device that was killed
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 16) != 0) {
        if (error)
            *error = "bind " + path + ": " + std::strerror(errno);
        close(fd);
        return -1;
    }
    return fd;
}

} // namespace

bool ParseTiming(const std::string& name, int& pollUs) {
    struct Named {
        const char* name;
        int pollUs;
    };
    // A receiver relays every report over its radio link, which about doubles the time.
    static constexpr Named kTimings[] = {{"usb", 1000}, {"receiver", 2000}, {"fast", 0}};
    for (const Named& t : kTimings) {
        if (name == t.name) {
            pollUs = t.pollUs;
            return true;
        }
    }
    return false;
}

VirtualBus::VirtualBus(std::string folder) : m_folder(std::move(folder)) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
        m_wakeRead = fds[0];
        m_wakeWrite = fds[1];
    }
}

VirtualBus::~VirtualBus() {
    for (int i = 0; i < DeviceCount(); ++i)
        Unplug(i);
    for (ControlClient& c : m_controlClients)
        close(c.fd);
    if (m_controlFd >= 0) {
        close(m_controlFd);
        unlink(m_controlPath.c_str());
    }
    if (m_wakeRead >= 0)
        close(m_wakeRead);
    if (m_wakeWrite >= 0)
        close(m_wakeWrite);
}

int VirtualBus::AddDevice(std::unique_ptr<VirtualDevice> device) {
    m_devices.push_back(std::move(device));
    return DeviceCount() - 1;
}

VirtualDevice* VirtualBus::Device(int index) {
    return index >= 0 && index < DeviceCount() ? m_devices[static_cast<size_t>(index)].get() : nullptr;
}

bool VirtualBus::Plug(int device, std::string* error) {
    VirtualDevice* d = Device(device);
    if (!d) {
        if (error)
            *error = "no such device";
        return false;
    }
    if (d->IsPlugged())
        return true;
    const auto& collections = d->Collections();
    std::vector<Listener> made;
    for (size_t c = 0; c < collections.size(); ++c) {
        const std::string path = m_folder + "/" + collections[c].name;
        const int fd = listenOn(path, SOCK_SEQPACKET, error);
        if (fd < 0) {
            for (const Listener& l : made) {
                close(l.fd);
                unlink(l.path.c_str());
            }
            return false;
        }
        made.push_back({device, static_cast<int>(c), fd, path});
    }
    m_listeners.insert(m_listeners.end(), made.begin(), made.end());
    d->SetPlugged(true);
    return true;
}

void VirtualBus::Unplug(int device) {
    VirtualDevice* d = Device(device);
    if (!d)
        return;
    // The files go first, so a scan never finds a socket that refuses connections, and a
    // program that sees its connection end finds the device already gone.
    for (Listener& l : m_listeners) {
        if (l.device == device && l.fd >= 0) {
            unlink(l.path.c_str());
            close(l.fd);
            l.fd = -1;
        }
    }
    for (Connection& c : m_connections) {
        if (c.device == device && c.fd >= 0) {
            close(c.fd);
            c.fd = -1;
        }
    }
    closeMarked();
    dropPending(device);
    d->SetPlugged(false);
}

void VirtualBus::dropPending(int device) {
    auto ofDevice = [device](const Pending& p) { return p.device == device; };
    m_requests.erase(std::remove_if(m_requests.begin(), m_requests.end(), ofDevice), m_requests.end());
    m_replies.erase(std::remove_if(m_replies.begin(), m_replies.end(), ofDevice), m_replies.end());
}

uint64_t VirtualBus::nextSlot(std::map<std::pair<int, int>, uint64_t>& last, int device, int collection,
                              uint64_t earliest) {
    const uint64_t period = m_pollUs;
    const uint64_t offset = &last == &m_lastInPoll ? period / 2 : 0;
    // The first poll at or after `earliest` on this endpoint's grid.
    uint64_t slot = earliest <= offset ? offset : ((earliest - offset + period - 1) / period) * period + offset;
    auto it = last.find({device, collection});
    if (it != last.end() && slot <= it->second)
        slot = it->second + period;
    last[{device, collection}] = slot;
    return slot;
}

void VirtualBus::handleOutput(int device, int collection, const uint8_t* data, size_t length, uint64_t nowUs) {
    VirtualDevice* d = Device(device);
    if (!d)
        return;
    const auto replies = d->OnOutputReport(collection, data, length);
    const bool unplug = d->TakeUnplugRequest();
    if (m_pollUs == 0) {
        for (const auto& reply : replies)
            broadcast(device, collection, reply);
        if (unplug)
            Unplug(device);
        return;
    }
    // Each reply waits for its own IN poll, the first half a period after this OUT poll.
    uint64_t due = nowUs;
    for (const auto& reply : replies) {
        due = nextSlot(m_lastInPoll, device, collection, nowUs);
        m_replies.push_back({device, collection, reply, due});
    }
    if (unplug)
        m_replies.push_back({device, collection, {}, due, true});
}

uint64_t VirtualBus::runDue(uint64_t nowUs) {
    // Replies first: one due now went out at an IN poll before any OUT poll due now.
    while (!m_replies.empty() && m_replies.front().dueUs <= nowUs) {
        Pending p = std::move(m_replies.front());
        m_replies.pop_front();
        if (p.unplug)
            Unplug(p.device);
        else
            broadcast(p.device, p.collection, p.data);
    }
    while (!m_requests.empty() && m_requests.front().dueUs <= nowUs) {
        Pending p = std::move(m_requests.front());
        m_requests.pop_front();
        handleOutput(p.device, p.collection, p.data.data(), p.data.size(), p.dueUs);
    }
    closeMarked();
    uint64_t next = kNothingDue;
    if (!m_replies.empty())
        next = std::min(next, m_replies.front().dueUs);
    if (!m_requests.empty())
        next = std::min(next, m_requests.front().dueUs);
    return next;
}

int VirtualBus::ConnectionCount(int device, int collection) const {
    return static_cast<int>(std::count_if(m_connections.begin(), m_connections.end(), [&](const Connection& c) {
        return c.fd >= 0 && c.device == device && c.collection == collection;
    }));
}

bool VirtualBus::Notify(int device, uint16_t usage) {
    VirtualDevice* d = Device(device);
    if (!d || !d->IsPlugged() || d->NotificationCollection() < 0)
        return false;
    broadcast(device, d->NotificationCollection(), VirtualDevice::NotificationReport(usage));
    d->CountNotification();
    closeMarked();
    return true;
}

void VirtualBus::broadcast(int device, int collection, const std::vector<uint8_t>& report) {
    for (Connection& c : m_connections) {
        if (c.fd < 0 || c.device != device || c.collection != collection)
            continue;
        if (send(c.fd, report.data(), report.size(), MSG_NOSIGNAL | MSG_DONTWAIT) < 0 && errno != EAGAIN) {
            close(c.fd);
            c.fd = -1;
        }
    }
}

void VirtualBus::acceptConnection(const Listener& listener) {
    const int fd = accept4(listener.fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0)
        return;
    VirtualDevice* d = Device(listener.device);
    const std::vector<uint8_t> hello = d->Hello(listener.collection);
    // A presence probe may already have hung up: that is not an error.
    if (send(fd, hello.data(), hello.size(), MSG_NOSIGNAL) < 0) {
        close(fd);
        return;
    }
    m_connections.push_back({listener.device, listener.collection, fd});
}

bool VirtualBus::readConnection(Connection& connection) {
    uint8_t buffer[kMaxMessage];
    const ssize_t n = recv(connection.fd, buffer, sizeof buffer, 0);
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return true;
    if (n <= 0)
        return false;
    const int device = connection.device;
    const int collection = connection.collection;
    if (m_pollUs == 0) {
        handleOutput(device, collection, buffer, static_cast<size_t>(n), 0);
        return true;
    }
    const uint64_t take = nextSlot(m_lastOutPoll, device, collection, nowMicros());
    m_requests.push_back({device, collection, std::vector<uint8_t>(buffer, buffer + n), take});
    return true;
}

bool VirtualBus::OpenControl(const std::string& path, std::string* error) {
    const int fd = listenOn(path, SOCK_STREAM, error);
    if (fd < 0)
        return false;
    m_controlFd = fd;
    m_controlPath = path;
    return true;
}

void VirtualBus::acceptControl() {
    const int fd = accept4(m_controlFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd >= 0)
        m_controlClients.push_back({fd, std::string()});
}

bool VirtualBus::readControl(ControlClient& client) {
    char buffer[kMaxMessage];
    const ssize_t n = recv(client.fd, buffer, sizeof buffer, 0);
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return true;
    if (n <= 0)
        return false;
    client.buffer.append(buffer, static_cast<size_t>(n));
    if (client.buffer.size() > kMaxControlLine)
        return false;
    size_t newline;
    while ((newline = client.buffer.find('\n')) != std::string::npos) {
        const std::string line = client.buffer.substr(0, newline);
        client.buffer.erase(0, newline + 1);
        if (line.find_first_not_of(" \t\r") == std::string::npos)
            continue;
        bool ok = false;
        const Json::Value request = parseJson(line, &ok);
        Json::Value reply;
        if (!ok || !request.isObject()) {
            reply["ok"] = false;
            reply["error"] = "not a JSON object";
        } else {
            VdevControl control(*this);
            reply = control.Handle(request);
        }
        Json::StreamWriterBuilder builder;
        builder["indentation"] = "";
        const std::string text = Json::writeString(builder, reply) + "\n";
        // Control clients are tests on the same machine: a blocking write is fine.
        const int flags = fcntl(client.fd, F_GETFL);
        fcntl(client.fd, F_SETFL, flags & ~O_NONBLOCK);
        size_t sent = 0;
        while (sent < text.size()) {
            const ssize_t w = send(client.fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
            if (w <= 0)
                return false;
            sent += static_cast<size_t>(w);
        }
        fcntl(client.fd, F_SETFL, flags);
    }
    return true;
}

void VirtualBus::closeMarked() {
    m_connections.erase(
        std::remove_if(m_connections.begin(), m_connections.end(), [](const Connection& c) { return c.fd < 0; }),
        m_connections.end());
    m_listeners.erase(
        std::remove_if(m_listeners.begin(), m_listeners.end(), [](const Listener& l) { return l.fd < 0; }),
        m_listeners.end());
}

void VirtualBus::Poll(int timeoutMs) {
    // Snapshot of what to watch; handlers may add and remove entries, so each is found
    // again by its descriptor before it is used.
    std::vector<pollfd> fds;
    enum Source { Wake, Control, ControlClientFd, ListenerFd, ConnectionFd };
    std::vector<Source> sources;
    auto watch = [&](int fd, Source s) {
        fds.push_back({fd, POLLIN, 0});
        sources.push_back(s);
    };
    if (m_wakeRead >= 0)
        watch(m_wakeRead, Wake);
    if (m_controlFd >= 0)
        watch(m_controlFd, Control);
    for (const ControlClient& c : m_controlClients)
        watch(c.fd, ControlClientFd);
    for (const Listener& l : m_listeners)
        watch(l.fd, ListenerFd);
    for (const Connection& c : m_connections)
        watch(c.fd, ConnectionFd);

    // Wait no longer than until the next endpoint poll that has something to do.
    const uint64_t due = runDue(nowMicros());
    int64_t waitUs = timeoutMs < 0 ? -1 : int64_t(timeoutMs) * 1000;
    if (due != kNothingDue) {
        const uint64_t now = nowMicros();
        const int64_t untilDue = due > now ? int64_t(due - now) : 0;
        waitUs = waitUs < 0 ? untilDue : std::min(waitUs, untilDue);
    }
    timespec ts{};
    if (waitUs >= 0) {
        ts.tv_sec = waitUs / 1000000;
        ts.tv_nsec = (waitUs % 1000000) * 1000;
    }
    const int ready = ppoll(fds.data(), fds.size(), waitUs < 0 ? nullptr : &ts, nullptr);
    if (ready <= 0) {
        runDue(nowMicros());
        return;
    }
    for (size_t i = 0; i < fds.size(); ++i) {
        if (!fds[i].revents)
            continue;
        const int fd = fds[i].fd;
        switch (sources[i]) {
        case Wake: {
            char drain[64];
            while (read(m_wakeRead, drain, sizeof drain) > 0) {
            }
            break;
        }
        case Control:
            acceptControl();
            break;
        case ControlClientFd:
            for (ControlClient& c : m_controlClients) {
                if (c.fd == fd && !readControl(c)) {
                    close(c.fd);
                    c.fd = -1;
                }
            }
            break;
        case ListenerFd:
            for (const Listener& l : m_listeners) {
                if (l.fd == fd) {
                    const Listener copy = l;
                    acceptConnection(copy);
                    break;
                }
            }
            break;
        case ConnectionFd:
            for (size_t k = 0; k < m_connections.size(); ++k) {
                if (m_connections[k].fd != fd)
                    continue;
                Connection copy = m_connections[k];
                if (!readConnection(copy)) {
                    // Find it again: the read may have changed the list.
                    for (Connection& c : m_connections) {
                        if (c.fd == fd) {
                            close(c.fd);
                            c.fd = -1;
                        }
                    }
                }
                break;
            }
            break;
        }
        if (m_stopped.load())
            break;
    }
    runDue(nowMicros());
    m_controlClients.erase(std::remove_if(m_controlClients.begin(), m_controlClients.end(),
                                          [](const ControlClient& c) { return c.fd < 0; }),
                           m_controlClients.end());
}

void VirtualBus::Run() {
    while (!m_stopped.load())
        Poll(-1);
}

void VirtualBus::Stop() {
    m_stopped.store(true);
    if (m_wakeWrite >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = write(m_wakeWrite, &byte, 1);
    }
}

} // namespace talyx::vdev
