#pragma once

#include <functional>
#include <string>

#include <dbus/dbus.h>
#include <pulse/mainloop-api.h>

namespace talyx {

// The recorder's connection to the session bus, run by the same main loop as the sound
// server's connection: the bus socket is one more descriptor in that loop's poll, so a
// frame is sent from where it is computed, on the one thread the recorder has, with no
// hand-over between threads.
//
// The calls marked "blocking" wait for the bus daemon's answer (at most a few
// milliseconds on a working bus, bounded by the bus library's default time-out); they are
// for the start, before any sound is captured. Everything else returns at once: a message
// that cannot be written yet waits in the connection's queue and goes out when the socket
// takes it.
class SessionBus {
public:
    // Handles a method call to the exported object: true when it was answered (or needs
    // no answer), false to have the bus library answer "unknown method".
    using MethodHandler = std::function<bool(DBusMessage* call)>;

    explicit SessionBus(pa_mainloop_api* api);
    ~SessionBus();
    SessionBus(const SessionBus&) = delete;
    SessionBus& operator=(const SessionBus&) = delete;

    // Connects to the session bus of DBUS_SESSION_BUS_ADDRESS (blocking: the greeting).
    // False, with the reason in `error`, when there is none.
    bool Connect(std::string& error);
    // Blocking. Whether a connection owns the name.
    bool NameHasOwner(const std::string& name);
    // Blocking (the match rule). `gone` runs on the loop when the name loses its owner. A
    // unique name never comes back, so this is the way to follow a peer's end.
    bool WatchNameLoss(const std::string& name, std::function<void()> gone);
    // Exports one object: calls to `path` go to the handler.
    bool ExportObject(const char* path, MethodHandler handler);
    // Blocking. Takes a well-known name; false when another connection owns it.
    bool RequestName(const char* name);
    // What runs when the connection to the bus is lost (the session ends).
    void SetDisconnected(std::function<void()> lost) { m_lost = std::move(lost); }

    // Queues the message and writes it at once when the socket takes it. False when the
    // connection is gone or out of memory.
    bool Send(DBusMessage* message);
    // Bytes still waiting to be written (a bus that does not read its socket).
    long QueuedBytes() const;
    // Blocking: writes everything queued (before the recorder exits).
    void Flush();
    DBusConnection* Connection() const { return m_connection; }

private:
    struct Watch;
    struct Timeout;
    static dbus_bool_t addWatch(DBusWatch* watch, void* self);
    static void removeWatch(DBusWatch* watch, void* self);
    static void toggleWatch(DBusWatch* watch, void* self);
    static dbus_bool_t addTimeout(DBusTimeout* timeout, void* self);
    static void removeTimeout(DBusTimeout* timeout, void* self);
    static void toggleTimeout(DBusTimeout* timeout, void* self);
    static void dispatchStatus(DBusConnection* c, DBusDispatchStatus status, void* self);
    static DBusHandlerResult filter(DBusConnection* c, DBusMessage* m, void* self);
    static DBusHandlerResult objectMessage(DBusConnection* c, DBusMessage* m, void* self);
    static void onIo(pa_mainloop_api* api, pa_io_event* e, int fd, pa_io_event_flags_t events, void* watch);
    static void onTime(pa_mainloop_api* api, pa_time_event* e, const struct timeval* tv, void* timeout);
    static void onDispatch(pa_mainloop_api* api, pa_defer_event* e, void* self);
    void armTimeout(Timeout* t);

    pa_mainloop_api* m_api;
    DBusConnection* m_connection = nullptr;
    pa_defer_event* m_dispatch = nullptr;
    MethodHandler m_handler;
    std::string m_watchedName;
    std::function<void()> m_nameGone;
    std::function<void()> m_lost;
};

} // namespace talyx
