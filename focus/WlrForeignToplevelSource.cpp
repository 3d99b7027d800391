#include "focus/WlrForeignToplevelSource.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <poll.h>
#include <unistd.h>
#include <vector>

#include <wayland-client.h>

#include "platform/Debug.h"
#include "platform/Product.h"
#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

namespace talyx {
namespace {

// The newest version of the list this source knows: 3 brought the parent event.
constexpr uint32_t kManagerVersion = 3;
// How long Start waits for the compositor's globals. A compositor answers within
// microseconds; one that does not answer in a second is not waited for on the interface
// thread.
constexpr int kConnectTimeoutMs = 1000;
// A dialog without an app id belongs to its parent's application; a longer chain than
// this is a loop.
constexpr int kMaxParentDepth = 16;

} // namespace

// The connection to the compositor and its toplevels, used by the watch thread only.
struct WlrToplevelConnection {
    struct Toplevel {
        WlrToplevelConnection* owner = nullptr;
        zwlr_foreign_toplevel_handle_v1* handle = nullptr;
        uint64_t serial = 0;
        // A change comes as several events followed by done; only done makes it count.
        std::string appId;
        bool activated = false;
        Toplevel* parent = nullptr;
        std::string pendingAppId;
        bool pendingActivated = false;
        Toplevel* pendingParent = nullptr;
        // When it last became active: with several seats, the newest one is in front.
        uint64_t activatedAt = 0;
    };

    wl_display* display = nullptr;
    wl_registry* registry = nullptr;
    zwlr_foreign_toplevel_manager_v1* manager = nullptr;
    // Answered once the compositor has listed the toplevels of the moment.
    wl_callback* listed = nullptr;
    uint32_t managerName = 0;
    uint32_t managerVersion = 0;
    std::vector<std::unique_ptr<Toplevel>> toplevels;
    uint64_t serials = 0;
    uint64_t activations = 0;
    bool synced = false; // the first list is whole: reports may begin
    bool changed = false;
    bool finished = false;

    ~WlrToplevelConnection();
    const Toplevel* inFront() const;
    static std::string appIdOf(const Toplevel* t);
    void forget(Toplevel* t);

    static void global(void* data, wl_registry*, uint32_t name, const char* interface, uint32_t version);
    static void globalRemove(void*, wl_registry*, uint32_t) {}
    static void toplevelAdded(void* data, zwlr_foreign_toplevel_manager_v1*, zwlr_foreign_toplevel_handle_v1* h);
    static void managerFinished(void* data, zwlr_foreign_toplevel_manager_v1*);
    static void listDone(void* data, wl_callback* cb, uint32_t);

    // The title names no application: it is not kept.
    static void title(void*, zwlr_foreign_toplevel_handle_v1*, const char*) {}
    static void appId(void* data, zwlr_foreign_toplevel_handle_v1*, const char* appId);
    static void outputEnter(void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {}
    static void outputLeave(void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {}
    static void state(void* data, zwlr_foreign_toplevel_handle_v1*, wl_array* states);
    static void done(void* data, zwlr_foreign_toplevel_handle_v1*);
    static void closed(void* data, zwlr_foreign_toplevel_handle_v1*);
    static void parent(void* data, zwlr_foreign_toplevel_handle_v1*, zwlr_foreign_toplevel_handle_v1* parent);
};

namespace {

const wl_registry_listener kRegistryListener = {&WlrToplevelConnection::global, &WlrToplevelConnection::globalRemove};
const zwlr_foreign_toplevel_manager_v1_listener kManagerListener = {&WlrToplevelConnection::toplevelAdded,
                                                                    &WlrToplevelConnection::managerFinished};
const wl_callback_listener kListedListener = {&WlrToplevelConnection::listDone};
const zwlr_foreign_toplevel_handle_v1_listener kToplevelListener = {
    &WlrToplevelConnection::title,       &WlrToplevelConnection::appId,  &WlrToplevelConnection::outputEnter,
    &WlrToplevelConnection::outputLeave, &WlrToplevelConnection::state,  &WlrToplevelConnection::done,
    &WlrToplevelConnection::closed,      &WlrToplevelConnection::parent,
};

void syncDone(void* data, wl_callback*, uint32_t) {
    *static_cast<bool*>(data) = true;
}
const wl_callback_listener kSyncListener = {&syncDone};

// A round trip that gives up after `timeoutMs`: the compositor has answered every request
// sent before it and its events are dispatched. False on time-out or a broken connection.
bool roundtrip(wl_display* display, int timeoutMs) {
    bool answered = false;
    wl_callback* cb = wl_display_sync(display);
    if (!cb)
        return false;
    wl_callback_add_listener(cb, &kSyncListener, &answered);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    bool ok = true;
    while (ok && !answered) {
        if (wl_display_prepare_read(display) != 0) {
            ok = wl_display_dispatch_pending(display) >= 0;
            continue;
        }
        if (wl_display_flush(display) < 0 && errno != EAGAIN) {
            wl_display_cancel_read(display);
            ok = false;
            break;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p{wl_display_get_fd(display), POLLIN, 0};
        const int n = left.count() > 0 ? ::poll(&p, 1, static_cast<int>(left.count())) : 0;
        if (n <= 0) {
            wl_display_cancel_read(display);
            ok = n < 0 && errno == EINTR;
            continue;
        }
        ok = wl_display_read_events(display) >= 0 && wl_display_dispatch_pending(display) >= 0;
    }
    // Destroyed in every case: after a time-out, a late answer must not land on a gone flag.
    wl_callback_destroy(cb);
    return ok && answered;
}

} // namespace

WlrToplevelConnection::~WlrToplevelConnection() {
    for (auto& t : toplevels)
        zwlr_foreign_toplevel_handle_v1_destroy(t->handle);
    if (manager)
        zwlr_foreign_toplevel_manager_v1_destroy(manager);
    if (listed)
        wl_callback_destroy(listed);
    if (registry)
        wl_registry_destroy(registry);
    if (display)
        wl_display_disconnect(display);
}

void WlrToplevelConnection::global(void* data, wl_registry*, uint32_t name, const char* interface, uint32_t version) {
    auto* c = static_cast<WlrToplevelConnection*>(data);
    if (std::strcmp(interface, zwlr_foreign_toplevel_manager_v1_interface.name) == 0 && c->managerName == 0) {
        c->managerName = name;
        c->managerVersion = version;
    }
}

void WlrToplevelConnection::toplevelAdded(void* data, zwlr_foreign_toplevel_manager_v1*,
                                          zwlr_foreign_toplevel_handle_v1* h) {
    auto* c = static_cast<WlrToplevelConnection*>(data);
    auto t = std::make_unique<Toplevel>();
    t->owner = c;
    t->handle = h;
    t->serial = ++c->serials;
    zwlr_foreign_toplevel_handle_v1_add_listener(h, &kToplevelListener, t.get());
    c->toplevels.push_back(std::move(t));
}

void WlrToplevelConnection::managerFinished(void* data, zwlr_foreign_toplevel_manager_v1*) {
    auto* c = static_cast<WlrToplevelConnection*>(data);
    // The compositor has already destroyed its side.
    zwlr_foreign_toplevel_manager_v1_destroy(c->manager);
    c->manager = nullptr;
    c->finished = true;
}

void WlrToplevelConnection::listDone(void* data, wl_callback* cb, uint32_t) {
    auto* c = static_cast<WlrToplevelConnection*>(data);
    wl_callback_destroy(cb);
    c->listed = nullptr;
    c->synced = true;
    c->changed = true;
}

void WlrToplevelConnection::appId(void* data, zwlr_foreign_toplevel_handle_v1*, const char* appId) {
    static_cast<Toplevel*>(data)->pendingAppId = appId ? appId : "";
}

void WlrToplevelConnection::state(void* data, zwlr_foreign_toplevel_handle_v1*, wl_array* states) {
    auto* t = static_cast<Toplevel*>(data);
    t->pendingActivated = false;
    if (!states || !states->data)
        return;
    // The array holds 32-bit state values; a trailing partial value is ignored.
    const size_t n = states->size / sizeof(uint32_t);
    for (size_t i = 0; i < n; ++i) {
        uint32_t s = 0;
        std::memcpy(&s, static_cast<const char*>(states->data) + i * sizeof s, sizeof s);
        if (s == ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_ACTIVATED)
            t->pendingActivated = true;
    }
}

void WlrToplevelConnection::parent(void* data, zwlr_foreign_toplevel_handle_v1*,
                                   zwlr_foreign_toplevel_handle_v1* parent) {
    auto* t = static_cast<Toplevel*>(data);
    t->pendingParent = nullptr;
    if (parent)
        for (const auto& other : t->owner->toplevels)
            if (other->handle == parent)
                t->pendingParent = other.get();
}

void WlrToplevelConnection::done(void* data, zwlr_foreign_toplevel_handle_v1*) {
    auto* t = static_cast<Toplevel*>(data);
    if (t->pendingActivated && !t->activated)
        t->activatedAt = ++t->owner->activations;
    t->appId = t->pendingAppId;
    t->activated = t->pendingActivated;
    t->parent = t->pendingParent;
    t->owner->changed = true;
}

void WlrToplevelConnection::closed(void* data, zwlr_foreign_toplevel_handle_v1*) {
    auto* t = static_cast<Toplevel*>(data);
    t->owner->forget(t);
}

void WlrToplevelConnection::forget(Toplevel* t) {
    for (const auto& other : toplevels) {
        if (other->parent == t)
            other->parent = nullptr;
        if (other->pendingParent == t)
            other->pendingParent = nullptr;
    }
    zwlr_foreign_toplevel_handle_v1_destroy(t->handle);
    for (auto it = toplevels.begin(); it != toplevels.end(); ++it) {
        if (it->get() == t) {
            toplevels.erase(it);
            break;
        }
    }
    changed = true;
}

const WlrToplevelConnection::Toplevel* WlrToplevelConnection::inFront() const {
    const Toplevel* front = nullptr;
    for (const auto& t : toplevels)
        if (t->activated && (!front || t->activatedAt > front->activatedAt))
            front = t.get();
    return front;
}

std::string WlrToplevelConnection::appIdOf(const Toplevel* t) {
    for (int depth = 0; t && depth < kMaxParentDepth; ++depth, t = t->parent)
        if (!t->appId.empty())
            return t->appId;
    return {};
}

WlrForeignToplevelSource::WlrForeignToplevelSource(std::string display) : m_display(std::move(display)) {}

WlrForeignToplevelSource::~WlrForeignToplevelSource() {
    Stop();
}

bool WlrForeignToplevelSource::Start(Listener listener, std::string& why) {
    Stop();
    const char* env = std::getenv("WAYLAND_DISPLAY");
    const std::string display = !m_display.empty() ? m_display : env ? env : "";
    if (display.empty()) {
        m_state = State::kNoCompositor;
        why = "no Wayland display (WAYLAND_DISPLAY is not set)";
        return false;
    }
    auto wl = std::make_unique<WlrToplevelConnection>();
    wl->display = wl_display_connect(display.c_str());
    if (!wl->display) {
        m_state = State::kNoCompositor;
        why = "the Wayland compositor " + display + " cannot be reached (" + std::strerror(errno) + ")";
        return false;
    }
    wl->registry = wl_display_get_registry(wl->display);
    wl_registry_add_listener(wl->registry, &kRegistryListener, wl.get());
    if (!roundtrip(wl->display, kConnectTimeoutMs)) {
        m_state = State::kNoCompositor;
        why = "the Wayland compositor " + display + " does not answer";
        return false;
    }
    if (wl->managerName == 0) {
        m_state = State::kNoManager;
        why = "the Wayland compositor " + display + " offers programs no list of its windows (" +
              zwlr_foreign_toplevel_manager_v1_interface.name + ")";
        return false;
    }
    const uint32_t version = wl->managerVersion < kManagerVersion ? wl->managerVersion : kManagerVersion;
    wl->manager = static_cast<zwlr_foreign_toplevel_manager_v1*>(
        wl_registry_bind(wl->registry, wl->managerName, &zwlr_foreign_toplevel_manager_v1_interface, version));
    zwlr_foreign_toplevel_manager_v1_add_listener(wl->manager, &kManagerListener, wl.get());
    // The compositor lists the toplevels of the moment right after the bind; the answer
    // to this sync comes after them, and then the window in front is reported.
    wl->listed = wl_display_sync(wl->display);
    wl_callback_add_listener(wl->listed, &kListedListener, wl.get());
    wl_display_flush(wl->display);

    if (!m_watch.Open()) {
        m_state = State::kNoCompositor;
        why = "no event descriptor for the Wayland watch";
        return false;
    }
    m_wl = wl.release();
    m_listener = std::move(listener);
    m_reported = false;
    m_lastToplevel = 0;
    m_lastAppId.clear();
    m_state = State::kWatching;
    m_watch.Start([this] { run(); });
    DebugOutputF("focus: watching the toplevel windows of the Wayland compositor %s (version %u)\n", display.c_str(),
                 version);
    return true;
}

void WlrForeignToplevelSource::Stop() {
    m_watch.Stop();
    delete m_wl;
    m_wl = nullptr;
    m_listener = nullptr;
    m_state = State::kStopped;
}

void WlrForeignToplevelSource::reportIfChanged() {
    WlrToplevelConnection& c = *m_wl;
    if (!c.synced || !c.changed)
        return;
    c.changed = false;
    const WlrToplevelConnection::Toplevel* front = c.inFront();
    const uint64_t serial = front ? front->serial : 0;
    const std::string appId = WlrToplevelConnection::appIdOf(front);
    if (m_reported && serial == m_lastToplevel && appId == m_lastAppId)
        return;
    m_reported = true;
    m_lastToplevel = serial;
    m_lastAppId = appId;
    FocusedApplication app;
    app.windowClass = appId;
    // Our own windows carry the program's desktop-file id as their app id.
    if (appId == kBusName)
        app.pid = static_cast<uint32_t>(::getpid());
    if (m_listener)
        m_listener(app);
}

void WlrForeignToplevelSource::end(State state, const char* what) {
    const int error = wl_display_get_error(m_wl->display);
    if (error != 0)
        DebugOutputF("focus: %s (%s); windows are no longer followed\n", what, std::strerror(error));
    else
        DebugOutputF("focus: %s; windows are no longer followed\n", what);
    m_state = state;
    // Nothing is known to be in front any more: the profile of a linked window gives way.
    if (m_listener)
        m_listener(FocusedApplication{});
}

void WlrForeignToplevelSource::run() {
    wl_display* d = m_wl->display;
    pollfd fds[2] = {{wl_display_get_fd(d), POLLIN, 0}, {m_watch.StopFd(), POLLIN, 0}};
    for (;;) {
        // Everything already read is handled before waiting again.
        while (wl_display_prepare_read(d) != 0) {
            if (wl_display_dispatch_pending(d) < 0)
                return end(State::kLost, "the Wayland compositor broke the connection");
        }
        reportIfChanged();
        if (m_wl->finished) {
            wl_display_cancel_read(d);
            return end(State::kFinished, "the Wayland compositor ended its list of windows");
        }
        fds[0].events = POLLIN;
        if (wl_display_flush(d) < 0) {
            if (errno != EAGAIN) {
                wl_display_cancel_read(d);
                return end(State::kLost, "the Wayland compositor closed the connection");
            }
            fds[0].events |= POLLOUT;
        }
        if (::poll(fds, 2, -1) < 0) {
            wl_display_cancel_read(d);
            if (errno == EINTR)
                continue;
            return end(State::kLost, "waiting on the Wayland compositor failed");
        }
        if (fds[1].revents) {
            wl_display_cancel_read(d);
            return;
        }
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            // At the end of the stream this fails rather than returning nothing.
            if (wl_display_read_events(d) < 0)
                return end(State::kLost, "the Wayland compositor closed the connection");
        } else {
            wl_display_cancel_read(d);
        }
        if (wl_display_dispatch_pending(d) < 0)
            return end(State::kLost, "the Wayland compositor broke the connection");
    }
}

} // namespace talyx
