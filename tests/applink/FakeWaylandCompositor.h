#pragma once

// A stand-in compositor in the test's own process, for what a real one is not made to do
// on request: lack the toplevel list, name a dialog's parent, end the list. Its own thread runs the server; run()
// hands it work. It serves one client.

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <wayland-server.h>

#include "wlr-foreign-toplevel-management-unstable-v1-server-protocol.h"

namespace talyx::test {

class FakeWaylandCompositor {
public:
    ~FakeWaylandCompositor() { stop(); }

    // Listens on `path`; with `withList` it offers the toplevel list, and lists one
    // activated toplevel of app id `appId` to the client that binds it.
    bool start(const std::string& path, bool withList, const std::string& appId = "") {
        m_appId = appId;
        m_display = wl_display_create();
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        if (path.size() >= sizeof a.sun_path)
            return false;
        path.copy(a.sun_path, path.size());
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 4) != 0 ||
            wl_display_add_socket_fd(m_display, fd) != 0)
            return false;
        if (withList)
            wl_global_create(m_display, &zwlr_foreign_toplevel_manager_v1_interface, 3, this, &bindList);
        m_thread = std::thread([this] {
            wl_event_loop* loop = wl_display_get_event_loop(m_display);
            for (;;) {
                wl_event_loop_dispatch(loop, 10);
                std::vector<std::function<void()>> work;
                {
                    std::lock_guard<std::mutex> lock(m_mutex);
                    work.swap(m_work);
                    if (m_stopping && work.empty())
                        break;
                }
                for (auto& f : work)
                    f();
                wl_display_flush_clients(m_display);
                std::lock_guard<std::mutex> lock(m_mutex);
                m_done += work.size();
                m_cv.notify_all();
            }
        });
        return true;
    }
    // Runs `f` on the server's thread; returns once it has run and its events are sent.
    void run(std::function<void()> f) {
        std::unique_lock<std::mutex> lock(m_mutex);
        const size_t ticket = m_done + m_work.size() + 1;
        m_work.push_back(std::move(f));
        m_cv.wait(lock, [&] { return m_done >= ticket; });
    }
    // The compositor ends the toplevel list.
    void finishList() {
        run([this] {
            if (m_list) {
                zwlr_foreign_toplevel_manager_v1_send_finished(m_list);
                wl_resource_destroy(m_list);
                m_list = nullptr;
            }
        });
    }
    // The compositor goes away: its clients lose their connection.
    void stop() {
        if (!m_thread.joinable())
            return;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stopping = true;
        }
        m_thread.join();
        wl_display_destroy_clients(m_display);
        wl_display_destroy(m_display);
        m_display = nullptr;
    }

    // A dialog of the listed toplevel, without an app id of its own, comes to the front.
    void openDialog() {
        run([this] {
            if (!m_list || !m_first)
                return;
            wl_resource* dialog = toplevel(nullptr, true);
            zwlr_foreign_toplevel_handle_v1_send_parent(dialog, m_first);
            zwlr_foreign_toplevel_handle_v1_send_done(dialog);
            sendState(m_first, false);
            zwlr_foreign_toplevel_handle_v1_send_done(m_first);
        });
    }

private:
    static void sendState(wl_resource* t, bool activated) {
        wl_array states;
        wl_array_init(&states);
        if (activated)
            *static_cast<uint32_t*>(wl_array_add(&states, sizeof(uint32_t))) =
                ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_ACTIVATED;
        zwlr_foreign_toplevel_handle_v1_send_state(t, &states);
        wl_array_release(&states);
    }
    // A new toplevel with its app id and state, still without its done.
    wl_resource* toplevel(const char* appId, bool activated) {
        static const struct zwlr_foreign_toplevel_handle_v1_interface kToplevel = {
            nullptr, nullptr, nullptr, nullptr,
            nullptr, nullptr, nullptr, [](wl_client*, wl_resource* r) { wl_resource_destroy(r); },
            nullptr, nullptr};
        wl_resource* t = wl_resource_create(wl_resource_get_client(m_list), &zwlr_foreign_toplevel_handle_v1_interface,
                                            wl_resource_get_version(m_list), 0);
        wl_resource_set_implementation(t, &kToplevel, nullptr, nullptr);
        zwlr_foreign_toplevel_manager_v1_send_toplevel(m_list, t);
        if (appId)
            zwlr_foreign_toplevel_handle_v1_send_app_id(t, appId);
        sendState(t, activated);
        return t;
    }
    static void bindList(wl_client* client, void* data, uint32_t version, uint32_t id) {
        auto* self = static_cast<FakeWaylandCompositor*>(data);
        static const struct zwlr_foreign_toplevel_manager_v1_interface kList = {[](wl_client*, wl_resource*) {}};
        self->m_list = wl_resource_create(client, &zwlr_foreign_toplevel_manager_v1_interface, int(version), id);
        wl_resource_set_implementation(self->m_list, &kList, self, [](wl_resource* r) {
            auto* owner = static_cast<FakeWaylandCompositor*>(wl_resource_get_user_data(r));
            if (owner->m_list == r)
                owner->m_list = nullptr;
        });
        self->m_first = self->toplevel(self->m_appId.c_str(), true);
        zwlr_foreign_toplevel_handle_v1_send_done(self->m_first);
    }

    wl_display* m_display = nullptr;
    wl_resource* m_list = nullptr;
    wl_resource* m_first = nullptr; // the toplevel listed at the bind
    std::string m_appId;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<std::function<void()>> m_work;
    size_t m_done = 0;
    bool m_stopping = false;
};

} // namespace talyx::test
