#include "audio/program/SessionBus.h"

#include <pulse/timeval.h>

namespace talyx {
namespace {

// The bus library's watch as the main loop's descriptor events; a disabled watch polls
// for nothing (hang-ups and errors are still reported).
pa_io_event_flags_t eventsOf(DBusWatch* watch) {
    if (!dbus_watch_get_enabled(watch))
        return PA_IO_EVENT_NULL;
    const unsigned flags = dbus_watch_get_flags(watch);
    int events = PA_IO_EVENT_NULL;
    if (flags & DBUS_WATCH_READABLE)
        events |= PA_IO_EVENT_INPUT;
    if (flags & DBUS_WATCH_WRITABLE)
        events |= PA_IO_EVENT_OUTPUT;
    return static_cast<pa_io_event_flags_t>(events);
}

class ErrorText {
public:
    ErrorText() { dbus_error_init(&m_error); }
    ~ErrorText() { dbus_error_free(&m_error); }
    ErrorText(const ErrorText&) = delete;
    ErrorText& operator=(const ErrorText&) = delete;
    DBusError* operator&() { return &m_error; }
    bool isSet() const { return dbus_error_is_set(&m_error); }
    std::string text() const { return m_error.message ? m_error.message : "unknown error"; }

private:
    DBusError m_error;
};

} // namespace

struct SessionBus::Watch {
    SessionBus* bus;
    DBusWatch* watch;
    pa_io_event* event;
};

struct SessionBus::Timeout {
    SessionBus* bus;
    DBusTimeout* timeout;
    pa_time_event* event;
};

SessionBus::SessionBus(pa_mainloop_api* api) : m_api(api) {}

SessionBus::~SessionBus() {
    if (m_connection) {
        dbus_connection_remove_filter(m_connection, &SessionBus::filter, this);
        // Closing gives the watches back through removeWatch while the loop is still there.
        dbus_connection_close(m_connection);
        dbus_connection_set_watch_functions(m_connection, nullptr, nullptr, nullptr, nullptr, nullptr);
        dbus_connection_set_timeout_functions(m_connection, nullptr, nullptr, nullptr, nullptr, nullptr);
        dbus_connection_set_dispatch_status_function(m_connection, nullptr, nullptr, nullptr);
        dbus_connection_unref(m_connection);
    }
    if (m_dispatch)
        m_api->defer_free(m_dispatch);
}

bool SessionBus::Connect(std::string& error) {
    ErrorText e;
    // A connection of its own: nothing else in the process shares it or its dispatching.
    m_connection = dbus_bus_get_private(DBUS_BUS_SESSION, &e);
    if (!m_connection) {
        error = e.text();
        return false;
    }
    // The end of the session is handled (SetDisconnected); the library must not exit.
    dbus_connection_set_exit_on_disconnect(m_connection, FALSE);
    m_dispatch = m_api->defer_new(m_api, &SessionBus::onDispatch, this);
    m_api->defer_enable(m_dispatch, 0);
    if (!dbus_connection_set_watch_functions(m_connection, &SessionBus::addWatch, &SessionBus::removeWatch,
                                             &SessionBus::toggleWatch, this, nullptr) ||
        !dbus_connection_set_timeout_functions(m_connection, &SessionBus::addTimeout, &SessionBus::removeTimeout,
                                               &SessionBus::toggleTimeout, this, nullptr) ||
        !dbus_connection_add_filter(m_connection, &SessionBus::filter, this, nullptr)) {
        error = "out of memory";
        return false;
    }
    dbus_connection_set_dispatch_status_function(m_connection, &SessionBus::dispatchStatus, this, nullptr);
    // What arrived with the greeting (the name the bus gave us) waits for the loop.
    if (dbus_connection_get_dispatch_status(m_connection) == DBUS_DISPATCH_DATA_REMAINS)
        m_api->defer_enable(m_dispatch, 1);
    return true;
}

bool SessionBus::NameHasOwner(const std::string& name) {
    ErrorText e;
    return m_connection && dbus_bus_name_has_owner(m_connection, name.c_str(), &e) && !e.isSet();
}

bool SessionBus::WatchNameLoss(const std::string& name, std::function<void()> gone) {
    if (!m_connection)
        return false;
    m_watchedName = name;
    m_nameGone = std::move(gone);
    const std::string rule = "type='signal',sender='" DBUS_SERVICE_DBUS "',interface='" DBUS_INTERFACE_DBUS
                             "',member='NameOwnerChanged',arg0='" +
                             name + "'";
    ErrorText e;
    dbus_bus_add_match(m_connection, rule.c_str(), &e);
    return !e.isSet();
}

bool SessionBus::ExportObject(const char* path, MethodHandler handler) {
    if (!m_connection)
        return false;
    m_handler = std::move(handler);
    DBusObjectPathVTable table{};
    table.message_function = &SessionBus::objectMessage;
    return dbus_connection_register_object_path(m_connection, path, &table, this);
}

bool SessionBus::RequestName(const char* name) {
    ErrorText e;
    return m_connection && dbus_bus_request_name(m_connection, name, DBUS_NAME_FLAG_DO_NOT_QUEUE, &e) ==
                               DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER;
}

bool SessionBus::Send(DBusMessage* message) {
    return m_connection && dbus_connection_get_is_connected(m_connection) &&
           dbus_connection_send(m_connection, message, nullptr);
}

long SessionBus::QueuedBytes() const {
    return m_connection ? dbus_connection_get_outgoing_size(m_connection) : 0;
}

void SessionBus::Flush() {
    if (m_connection && dbus_connection_get_is_connected(m_connection))
        dbus_connection_flush(m_connection);
}

// ---- the bus library on the main loop ----

dbus_bool_t SessionBus::addWatch(DBusWatch* watch, void* self) {
    auto* bus = static_cast<SessionBus*>(self);
    auto* w = new Watch{bus, watch, nullptr};
    w->event = bus->m_api->io_new(bus->m_api, dbus_watch_get_unix_fd(watch), eventsOf(watch), &SessionBus::onIo, w);
    if (!w->event) {
        delete w;
        return FALSE;
    }
    dbus_watch_set_data(watch, w, nullptr);
    return TRUE;
}

void SessionBus::removeWatch(DBusWatch* watch, void*) {
    auto* w = static_cast<Watch*>(dbus_watch_get_data(watch));
    if (!w)
        return;
    w->bus->m_api->io_free(w->event);
    dbus_watch_set_data(watch, nullptr, nullptr);
    delete w;
}

void SessionBus::toggleWatch(DBusWatch* watch, void*) {
    if (auto* w = static_cast<Watch*>(dbus_watch_get_data(watch)))
        w->bus->m_api->io_enable(w->event, eventsOf(watch));
}

void SessionBus::onIo(pa_mainloop_api*, pa_io_event*, int, pa_io_event_flags_t events, void* watch) {
    auto* w = static_cast<Watch*>(watch);
    unsigned flags = 0;
    if (events & PA_IO_EVENT_INPUT)
        flags |= DBUS_WATCH_READABLE;
    if (events & PA_IO_EVENT_OUTPUT)
        flags |= DBUS_WATCH_WRITABLE;
    if (events & PA_IO_EVENT_HANGUP)
        flags |= DBUS_WATCH_HANGUP;
    if (events & PA_IO_EVENT_ERROR)
        flags |= DBUS_WATCH_ERROR;
    // The watch may go while it is handled (a hang-up closes the connection).
    SessionBus* bus = w->bus;
    dbus_watch_handle(w->watch, flags);
    if (bus->m_connection && dbus_connection_get_dispatch_status(bus->m_connection) == DBUS_DISPATCH_DATA_REMAINS)
        bus->m_api->defer_enable(bus->m_dispatch, 1);
}

dbus_bool_t SessionBus::addTimeout(DBusTimeout* timeout, void* self) {
    auto* bus = static_cast<SessionBus*>(self);
    auto* t = new Timeout{bus, timeout, nullptr};
    dbus_timeout_set_data(timeout, t, nullptr);
    if (dbus_timeout_get_enabled(timeout))
        bus->armTimeout(t);
    return TRUE;
}

void SessionBus::removeTimeout(DBusTimeout* timeout, void*) {
    auto* t = static_cast<Timeout*>(dbus_timeout_get_data(timeout));
    if (!t)
        return;
    if (t->event)
        t->bus->m_api->time_free(t->event);
    dbus_timeout_set_data(timeout, nullptr, nullptr);
    delete t;
}

void SessionBus::toggleTimeout(DBusTimeout* timeout, void*) {
    auto* t = static_cast<Timeout*>(dbus_timeout_get_data(timeout));
    if (!t)
        return;
    if (dbus_timeout_get_enabled(timeout)) {
        t->bus->armTimeout(t);
    } else if (t->event) {
        t->bus->m_api->time_free(t->event);
        t->event = nullptr;
    }
}

void SessionBus::armTimeout(Timeout* t) {
    timeval tv{};
    pa_gettimeofday(&tv);
    pa_timeval_add(&tv, static_cast<pa_usec_t>(dbus_timeout_get_interval(t->timeout)) * 1000u);
    if (t->event)
        m_api->time_restart(t->event, &tv);
    else
        t->event = m_api->time_new(m_api, &tv, &SessionBus::onTime, t);
}

void SessionBus::onTime(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* timeout) {
    auto* t = static_cast<Timeout*>(timeout);
    // A bus time-out repeats until the library removes it, which it may do while it is
    // handled: the next run is set first.
    t->bus->armTimeout(t);
    dbus_timeout_handle(t->timeout);
}

void SessionBus::dispatchStatus(DBusConnection*, DBusDispatchStatus status, void* self) {
    auto* bus = static_cast<SessionBus*>(self);
    if (status == DBUS_DISPATCH_DATA_REMAINS && bus->m_dispatch)
        bus->m_api->defer_enable(bus->m_dispatch, 1);
}

void SessionBus::onDispatch(pa_mainloop_api* api, pa_defer_event* e, void* self) {
    auto* bus = static_cast<SessionBus*>(self);
    // One message per pass, so the sound server's events are not held up by a burst.
    if (dbus_connection_dispatch(bus->m_connection) != DBUS_DISPATCH_DATA_REMAINS)
        api->defer_enable(e, 0);
}

DBusHandlerResult SessionBus::filter(DBusConnection*, DBusMessage* m, void* self) {
    auto* bus = static_cast<SessionBus*>(self);
    if (dbus_message_is_signal(m, DBUS_INTERFACE_LOCAL, "Disconnected")) {
        if (bus->m_lost)
            bus->m_lost();
        return DBUS_HANDLER_RESULT_HANDLED;
    }
    if (!bus->m_watchedName.empty() && dbus_message_is_signal(m, DBUS_INTERFACE_DBUS, "NameOwnerChanged")) {
        const char* name = nullptr;
        const char* before = nullptr;
        const char* after = nullptr;
        if (dbus_message_get_args(m, nullptr, DBUS_TYPE_STRING, &name, DBUS_TYPE_STRING, &before, DBUS_TYPE_STRING,
                                  &after, DBUS_TYPE_INVALID) &&
            bus->m_watchedName == name && after[0] == '\0' && bus->m_nameGone)
            bus->m_nameGone();
    }
    return DBUS_HANDLER_RESULT_NOT_YET_HANDLED;
}

DBusHandlerResult SessionBus::objectMessage(DBusConnection*, DBusMessage* m, void* self) {
    auto* bus = static_cast<SessionBus*>(self);
    return bus->m_handler && bus->m_handler(m) ? DBUS_HANDLER_RESULT_HANDLED : DBUS_HANDLER_RESULT_NOT_YET_HANDLED;
}

} // namespace talyx
