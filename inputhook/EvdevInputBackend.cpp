#include "inputhook/EvdevInputBackend.h"

#include <dirent.h>
#include <linux/input.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "inputhook/ScanCodes.h"

namespace talyx {
namespace {

constexpr int kLockKeys[] = {KEY_CAPSLOCK, KEY_NUMLOCK, KEY_SCROLLLOCK};

bool isLockKey(int code) {
    for (int k : kLockKeys)
        if (k == code)
            return true;
    return false;
}

bool isEventNode(const std::string& name) {
    return name.size() > 5 && name.compare(0, 5, "event") == 0;
}

// The hook's button number of a mouse button code, or 0.
int hookButtonOf(int code) {
    switch (code) {
    case BTN_LEFT:
        return kHookButtonLeft;
    case BTN_RIGHT:
        return kHookButtonRight;
    case BTN_MIDDLE:
        return kHookButtonMiddle;
    case BTN_SIDE:
    case BTN_BACK:
        return kHookButtonBack;
    case BTN_EXTRA:
    case BTN_FORWARD:
        return kHookButtonForward;
    default:
        return 0;
    }
}

} // namespace

EvdevInputBackend::EvdevInputBackend(std::unique_ptr<EvdevSystem> system) : m_system(std::move(system)) {}

EvdevInputBackend::~EvdevInputBackend() {
    Stop();
}

void EvdevInputBackend::Wake() {
    if (m_wake >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = write(m_wake, &one, sizeof one);
    }
}

bool EvdevInputBackend::Start(Sink sink, bool exclusive) {
    Stop();
    if (!m_system || !sink)
        return false;
    m_sink = std::move(sink);
    m_exclusive = exclusive;
    m_stop.store(false);
    m_failReader.store(false);
    m_openError.store(0);
    m_altHeld = false;
    m_wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    m_watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_watch >= 0)
        inotify_add_watch(m_watch, m_system->Root().c_str(), IN_CREATE | IN_ATTRIB | IN_DELETE | IN_MOVED_TO);
    // Without a way to pass the lock keys on, no keyboard is grabbed: a grabbed keyboard
    // must never leave the user with a dead Caps Lock.
    m_lockKeys = exclusive && m_system->OpenLockKeys();
    scan();
    bool keyboard = false;
    for (const auto& [name, d] : m_devices)
        keyboard = keyboard || d.kind == EvdevSystem::Kind::Keyboard;
    if (!keyboard || m_wake < 0) {
        Stop();
        return false;
    }
    m_thread = std::thread([this] { run(); });
    return true;
}

void EvdevInputBackend::Stop() {
    m_stop.store(true);
    Wake();
    if (m_thread.joinable())
        m_thread.join();
    releaseAll();
    if (m_lockKeys)
        m_system->CloseLockKeys();
    m_lockKeys = false;
    if (m_watch >= 0)
        close(m_watch);
    if (m_wake >= 0)
        close(m_wake);
    m_watch = m_wake = -1;
    m_sink = nullptr;
}

void EvdevInputBackend::releaseAll() {
    for (auto& [name, d] : m_devices) {
        if (d.grabbed)
            m_system->Grab(d.fd, false);
        m_system->Close(d.fd);
    }
    m_devices.clear();
    m_grabbed.store(0);
    m_deviceCount.store(0);
}

void EvdevInputBackend::scan() {
    DIR* dir = opendir(m_system->Root().c_str());
    if (!dir) {
        m_openError.store(errno);
        return;
    }
    while (dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (isEventNode(name) && !m_devices.count(name))
            openNode(name);
    }
    closedir(dir);
}

bool EvdevInputBackend::openNode(const std::string& name) {
    const int fd = m_system->Open(m_system->Root() + "/" + name);
    if (fd < 0) {
        m_openError.store(errno);
        return false;
    }
    Device d;
    d.fd = fd;
    d.kind = m_system->Classify(fd);
    if (d.kind == EvdevSystem::Kind::Other) {
        m_system->Close(fd);
        return false;
    }
    auto& placed = m_devices[name] = std::move(d);
    m_deviceCount.store(static_cast<int>(m_devices.size()));
    maybeGrab(placed);
    return true;
}

void EvdevInputBackend::closeDevice(const std::string& name, bool ungrab) {
    auto it = m_devices.find(name);
    if (it == m_devices.end())
        return;
    if (it->second.grabbed) {
        if (ungrab)
            m_system->Grab(it->second.fd, false);
        m_grabbed.fetch_sub(1);
    }
    m_system->Close(it->second.fd);
    m_devices.erase(it);
    m_deviceCount.store(static_cast<int>(m_devices.size()));
}

void EvdevInputBackend::maybeGrab(Device& d) {
    if (!m_exclusive || !m_lockKeys || d.grabbed || d.kind != EvdevSystem::Kind::Keyboard || !d.held.empty() ||
        m_system->AnyKeyDown(d.fd))
        return;
    if (m_system->Grab(d.fd, true)) {
        d.grabbed = true;
        m_grabbed.fetch_add(1);
    }
}

void EvdevInputBackend::fail(const char* reason) {
    releaseAll();
    HookEvent e;
    e.kind = HookEvent::Kind::Ended;
    e.reason = reason;
    if (m_sink)
        m_sink(e);
}

void EvdevInputBackend::run() {
    std::vector<pollfd> fds;
    std::vector<std::string> names;
    while (!m_stop.load()) {
        fds.clear();
        names.clear();
        fds.push_back({m_wake, POLLIN, 0});
        if (m_watch >= 0)
            fds.push_back({m_watch, POLLIN, 0});
        const size_t first = fds.size();
        for (const auto& [name, d] : m_devices) {
            fds.push_back({d.fd, POLLIN, 0});
            names.push_back(name);
        }
        const int n = poll(fds.data(), fds.size(), -1);
        if ((n < 0 && errno != EINTR) || m_failReader.load()) {
            fail("reader");
            return;
        }
        if (n <= 0)
            continue;
        if (fds[0].revents & POLLIN) {
            uint64_t count = 0;
            [[maybe_unused]] const ssize_t r = read(m_wake, &count, sizeof count);
            if (m_stop.load())
                return;
            scan();
        }
        if (m_watch >= 0 && (fds[1].revents & POLLIN)) {
            alignas(inotify_event) char buffer[4096];
            const ssize_t len = read(m_watch, buffer, sizeof buffer);
            for (ssize_t at = 0; len > 0 && at < len;) {
                const auto* ev = reinterpret_cast<const inotify_event*>(buffer + at);
                const std::string name = ev->len ? ev->name : "";
                if (isEventNode(name)) {
                    if (ev->mask & IN_DELETE)
                        closeDevice(name, false);
                    else if (!m_devices.count(name))
                        openNode(name); // udev may make the node readable only later (IN_ATTRIB)
                }
                at += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
            }
        }
        for (size_t i = first; i < fds.size(); ++i) {
            const std::string& name = names[i - first];
            auto it = m_devices.find(name);
            if (it == m_devices.end() || it->second.fd != fds[i].fd)
                continue;
            if (fds[i].revents & POLLIN)
                readDevice(name, it->second);
            else if (fds[i].revents & (POLLHUP | POLLERR | POLLNVAL))
                closeDevice(name, false); // gone: its grab went with it
        }
    }
}

void EvdevInputBackend::readDevice(const std::string& name, Device& d) {
    input_event events[64];
    const ssize_t n = read(d.fd, events, sizeof events);
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (n <= 0) {
        closeDevice(name, false);
        return;
    }
    const size_t count = static_cast<size_t>(n) / sizeof(input_event);
    for (size_t i = 0; i < count; ++i)
        handle(d, events[i]);
}

void EvdevInputBackend::handle(Device& d, const input_event& e) {
    if (e.type == EV_SYN) {
        if (e.code == SYN_DROPPED) {
            // The kernel's buffer ran over: what follows up to the next report is not whole,
            // and which keys are held is known again only from the device.
            d.dropping = true;
        } else if (e.code == SYN_REPORT && d.dropping) {
            d.dropping = false;
            d.held.clear();
            maybeGrab(d);
        }
        return;
    }
    if (d.dropping || e.type != EV_KEY || e.value == 2)
        return; // repeats of a held key are no new action
    const bool down = e.value == 1;
    const int code = e.code;
    const bool wasHeld = d.held.erase(code) > 0;
    if (down)
        d.held.insert(code);
    if (d.grabbed && isLockKey(code))
        m_system->EmitLockKey(code, down);
    if (!down && !wasHeld) {
        // The key went down before the reading began (the key that started it): its
        // release alone is no action.
        maybeGrab(d);
        return;
    }
    HookEvent h;
    h.down = down;
    h.timeMs = static_cast<uint64_t>(e.input_event_sec) * 1000u + static_cast<uint64_t>(e.input_event_usec) / 1000u;
    if (const int button = hookButtonOf(code)) {
        h.kind = HookEvent::Kind::Mouse;
        h.button = button;
        h.hasPosition = false;
        m_sink(h);
    } else if (Set1OfEvdevKey(code, h.scanCode, h.extended)) {
        if (code == KEY_LEFTALT || code == KEY_RIGHTALT)
            m_altHeld = down;
        h.kind = HookEvent::Kind::Key;
        h.system = m_altHeld;
        m_sink(h);
    }
    if (!down)
        maybeGrab(d);
}

} // namespace talyx
