#pragma once

// A private X server (Xvfb) and windows of our own on it, for the focus tests. There is
// no window manager: the test sets the root's _NET_ACTIVE_WINDOW itself, as one would.

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include <xcb/xcb.h>

namespace talyx::test {

class XDisplay {
public:
    // Starts Xvfb; false (with `why`) when it is missing or does not come up.
    bool start(std::string& why) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) {
            why = "no pipe";
            return false;
        }
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(fds[1], 3);
            const int devnull = ::open("/dev/null", O_WRONLY);
            ::dup2(devnull, 2);
            ::execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", "640x480x24", "-nolisten", "tcp",
                     static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        std::string number;
        pollfd p{fds[0], POLLIN, 0};
        char c = 0;
        while (::poll(&p, 1, 10000) > 0 && ::read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        ::close(fds[0]);
        if (number.empty()) {
            why = "Xvfb did not start (is the xvfb package installed?)";
            stop();
            return false;
        }
        m_name = ":" + number;
        m_c = xcb_connect(m_name.c_str(), nullptr);
        if (xcb_connection_has_error(m_c)) {
            why = "cannot connect to " + m_name;
            return false;
        }
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data->root;
        m_active = atom("_NET_ACTIVE_WINDOW");
        m_pidAtom = atom("_NET_WM_PID");
        return true;
    }
    ~XDisplay() { stop(); }
    void stop() {
        if (m_c)
            xcb_disconnect(m_c);
        m_c = nullptr;
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
        m_pid = -1;
    }
    const std::string& name() const { return m_name; }

    // A small window with this WM_CLASS (instance, class) and, when pid is not 0, _NET_WM_PID.
    xcb_window_t window(const std::string& instance, const std::string& cls, uint32_t pid) {
        const xcb_window_t w = xcb_generate_id(m_c);
        xcb_create_window(m_c, XCB_COPY_FROM_PARENT, w, m_root, 0, 0, 64, 48, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          XCB_COPY_FROM_PARENT, 0, nullptr);
        const std::string wmClass = instance + '\0' + cls + '\0';
        xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                            static_cast<uint32_t>(wmClass.size()), wmClass.data());
        if (pid)
            xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, w, m_pidAtom, XCB_ATOM_CARDINAL, 32, 1, &pid);
        xcb_map_window(m_c, w);
        xcb_flush(m_c);
        return w;
    }
    // What a window manager does when it gives `w` the focus (XCB_WINDOW_NONE: none).
    void activate(xcb_window_t w) {
        xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, m_root, m_active, XCB_ATOM_WINDOW, 32, 1, &w);
        xcb_flush(m_c);
    }

private:
    xcb_atom_t atom(const char* name) {
        xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(
            m_c, xcb_intern_atom(m_c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
        const xcb_atom_t a = r ? r->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
        std::free(r);
        return a;
    }

    pid_t m_pid = -1;
    std::string m_name;
    xcb_connection_t* m_c = nullptr;
    xcb_window_t m_root = 0;
    xcb_atom_t m_active = XCB_ATOM_NONE;
    xcb_atom_t m_pidAtom = XCB_ATOM_NONE;
};

} // namespace talyx::test
