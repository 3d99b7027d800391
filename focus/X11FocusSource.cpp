#include "focus/X11FocusSource.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <poll.h>
#include <unistd.h>

#include <xcb/res.h>
#include <xcb/xcb.h>

#include "focus/ApplicationCatalog.h"
#include "platform/Debug.h"

namespace talyx {

struct X11FocusSource::Connection {
    xcb_connection_t* c = nullptr;
    xcb_window_t root = 0;
    xcb_atom_t activeWindow = XCB_ATOM_NONE;
    xcb_atom_t wmPid = XCB_ATOM_NONE;
    bool hasRes = false;
};

namespace {

xcb_atom_t internAtom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* r =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = r ? r->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
    std::free(r);
    return atom;
}

// A property of `window` as bytes; empty when it is missing or of another format.
std::string property(xcb_connection_t* c, xcb_window_t window, xcb_atom_t atom, xcb_atom_t type, uint8_t format) {
    // 4096 32-bit units: far more than any class or process id needs.
    xcb_get_property_reply_t* r =
        xcb_get_property_reply(c, xcb_get_property(c, 0, window, atom, type, 0, 4096), nullptr);
    std::string out;
    if (r && r->format == format && r->type == type) {
        const int length = xcb_get_property_value_length(r);
        if (length > 0)
            out.assign(static_cast<const char*>(xcb_get_property_value(r)), static_cast<size_t>(length));
    }
    std::free(r);
    return out;
}

uint32_t cardinal(const std::string& bytes) {
    uint32_t v = 0;
    if (bytes.size() >= sizeof v)
        std::memcpy(&v, bytes.data(), sizeof v);
    return v;
}

// The process of the client that made `window`, as the server knows it: right for local
// clients even when the window does not set _NET_WM_PID.
uint32_t clientPid(xcb_connection_t* c, xcb_window_t window) {
    xcb_res_client_id_spec_t spec{window, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
    xcb_res_query_client_ids_reply_t* r =
        xcb_res_query_client_ids_reply(c, xcb_res_query_client_ids(c, 1, &spec), nullptr);
    uint32_t pid = 0;
    if (r) {
        for (xcb_res_client_id_value_iterator_t it = xcb_res_query_client_ids_ids_iterator(r); it.rem;
             xcb_res_client_id_value_next(&it)) {
            if ((it.data->spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) &&
                xcb_res_client_id_value_value_length(it.data) >= 1) {
                pid = *xcb_res_client_id_value_value(it.data);
                break;
            }
        }
    }
    std::free(r);
    return pid;
}

} // namespace

X11FocusSource::X11FocusSource(std::string display) : m_display(std::move(display)) {}

X11FocusSource::~X11FocusSource() {
    Stop();
}

bool X11FocusSource::Start(Listener listener, std::string& why) {
    Stop();
    const char* env = std::getenv("DISPLAY");
    const std::string display = !m_display.empty() ? m_display : env ? env : "";
    if (display.empty()) {
        why = "no X display (DISPLAY is not set)";
        return false;
    }
    auto x = std::make_unique<Connection>();
    int screenNumber = 0;
    x->c = xcb_connect(display.c_str(), &screenNumber);
    if (!x->c || xcb_connection_has_error(x->c)) {
        if (x->c)
            xcb_disconnect(x->c);
        why = "the X display " + display + " cannot be opened";
        return false;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(x->c));
    for (int i = 0; i < screenNumber && screens.rem; ++i)
        xcb_screen_next(&screens);
    if (!screens.rem) {
        xcb_disconnect(x->c);
        why = "the X display " + display + " has no such screen";
        return false;
    }
    x->root = screens.data->root;
    x->activeWindow = internAtom(x->c, "_NET_ACTIVE_WINDOW");
    x->wmPid = internAtom(x->c, "_NET_WM_PID");
    const xcb_query_extension_reply_t* res = xcb_get_extension_data(x->c, &xcb_res_id);
    x->hasRes = res && res->present;
    // The window manager announces each change of the active window on the root.
    const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(x->c, x->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(x->c);

    if (!m_watch.Open()) {
        xcb_disconnect(x->c);
        why = "no event descriptor for the X watch";
        return false;
    }
    m_x = x.release();
    m_listener = std::move(listener);
    m_lastWindow = 0xFFFFFFFFu;
    m_watch.Start([this] { run(); });
    DebugOutputF("focus: watching the active window on X display %s\n", display.c_str());
    return true;
}

void X11FocusSource::Stop() {
    m_watch.Stop();
    if (m_x) {
        xcb_disconnect(m_x->c);
        delete m_x;
        m_x = nullptr;
    }
}

void X11FocusSource::reportActive() {
    xcb_connection_t* c = m_x->c;
    const std::string active = property(c, m_x->root, m_x->activeWindow, XCB_ATOM_WINDOW, 32);
    const uint32_t window = cardinal(active);
    if (window == m_lastWindow)
        return;
    m_lastWindow = window;
    FocusedApplication app;
    if (window != XCB_WINDOW_NONE) {
        // WM_CLASS: instance, NUL, class, NUL.
        const std::string wmClass = property(c, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8);
        const size_t nul = wmClass.find('\0');
        app.instance = wmClass.substr(0, nul);
        if (nul != std::string::npos) {
            const std::string rest = wmClass.substr(nul + 1);
            app.windowClass = rest.substr(0, rest.find('\0'));
        }
        app.pid = cardinal(property(c, window, m_x->wmPid, XCB_ATOM_CARDINAL, 32));
        if (app.pid == 0 && m_x->hasRes)
            app.pid = clientPid(c, window);
        app.executable = ExecutableOfProcess(app.pid);
    }
    if (m_listener)
        m_listener(app);
}

void X11FocusSource::run() {
    xcb_connection_t* c = m_x->c;
    reportActive();
    pollfd fds[2] = {{xcb_get_file_descriptor(c), POLLIN, 0}, {m_watch.StopFd(), POLLIN, 0}};
    for (;;) {
        bool changed = false;
        while (xcb_generic_event_t* e = xcb_poll_for_event(c)) {
            if ((e->response_type & 0x7F) == XCB_PROPERTY_NOTIFY) {
                const auto* p = reinterpret_cast<const xcb_property_notify_event_t*>(e);
                changed = changed || (p->window == m_x->root && p->atom == m_x->activeWindow);
            }
            std::free(e);
        }
        if (xcb_connection_has_error(c)) {
            DebugOutput("focus: the X connection was lost\n");
            return;
        }
        if (changed) {
            // Its replies may have brought further events into the queue: drain again
            // before waiting on the descriptor.
            reportActive();
            continue;
        }
        if (::poll(fds, 2, -1) < 0 && errno != EINTR)
            return;
        if (fds[1].revents)
            return;
    }
}

} // namespace talyx
