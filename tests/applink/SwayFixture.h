#pragma once

// A private sway, run headless in a runtime folder of its own, and small windows of our
// own in it (applink_wayland_window), for the focus tests. Sway refuses to start as root,
// so under root it runs as nobody, in a folder that nobody owns; root still reaches its
// sockets.

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace talyx::test {

class Sway {
public:
    ~Sway() { stop(); }

    // False (with `why`) when sway is not installed or does not come up.
    bool start(std::string& why) {
        if (::access("/usr/bin/sway", X_OK) != 0 || ::access("/usr/bin/swaymsg", X_OK) != 0) {
            why = "sway is not installed (Debian package sway)";
            return false;
        }
        char pattern[] = "/tmp/talyx-sway-XXXXXX";
        if (!::mkdtemp(pattern)) {
            why = "no runtime folder";
            return false;
        }
        m_dir = pattern;
        const bool root = ::getuid() == 0;
        if (root && ::chown(m_dir.c_str(), kNobody, kNobody) != 0) {
            why = "cannot hand the runtime folder to nobody";
            return false;
        }
        // The compositor tells its sockets once it is up: written aside, then renamed, so
        // the file is whole when it appears.
        std::ofstream(m_dir + "/config")
            << "xwayland disable\n"
               "exec sh -c 'echo \"$WAYLAND_DISPLAY $SWAYSOCK\" > \"$XDG_RUNTIME_DIR/r\" && "
               "mv \"$XDG_RUNTIME_DIR/r\" \"$XDG_RUNTIME_DIR/ready\"'\n";
        const std::vector<std::string> env = {"PATH=/usr/bin:/bin",       "HOME=" + m_dir,
                                              "XDG_RUNTIME_DIR=" + m_dir, "WLR_BACKENDS=headless",
                                              "WLR_RENDERER=pixman",      "WLR_LIBINPUT_NO_DEVICES=1"};
        std::vector<char*> envp = pointers(env);
        const std::string config = m_dir + "/config", log = m_dir + "/sway.log";
        char* argv[] = {const_cast<char*>("sway"), const_cast<char*>("-c"), const_cast<char*>(config.c_str()), nullptr};
        m_pid = ::fork();
        if (m_pid == 0) {
            const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            if (out >= 0) {
                ::dup2(out, 1);
                ::dup2(out, 2);
            }
            if (root && (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
                ::_exit(126);
            ::execve("/usr/bin/sway", argv, envp.data());
            ::_exit(127);
        }
        std::string ready;
        for (int i = 0; i < 200 && ready.empty(); ++i) {
            int status = 0;
            if (m_pid < 0 || ::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                break;
            }
            std::getline(std::ifstream(m_dir + "/ready"), ready);
            if (ready.empty())
                ::usleep(50000);
        }
        std::istringstream words(ready);
        std::string name;
        words >> name >> m_ipc;
        if (name.empty() || m_ipc.empty()) {
            std::ostringstream text;
            text << std::ifstream(log).rdbuf();
            why = "sway did not come up headless: " + text.str();
            stop();
            return false;
        }
        m_display = m_dir + "/" + name;
        return true;
    }

    // Closes the windows, then sway; its folder goes with it.
    void stop() {
        for (pid_t w : m_windows)
            end(w, SIGTERM);
        m_windows.clear();
        if (m_pid > 0)
            end(m_pid, SIGTERM);
        m_pid = -1;
        if (!m_dir.empty())
            std::system(("rm -rf '" + m_dir + "'").c_str());
        m_dir.clear();
    }
    // Sway dies as in a crash; its clients lose their connection.
    void kill() {
        if (m_pid > 0)
            end(m_pid, SIGKILL);
        m_pid = -1;
    }

    // The compositor's socket as WAYLAND_DISPLAY takes it: an absolute path.
    const std::string& display() const { return m_display; }

    // A window with this app id and title; its process, -1 when it cannot start.
    pid_t window(const std::string& appId, const std::string& title) {
        const pid_t pid = spawn({TALYX_WAYLAND_WINDOW, appId, title});
        if (pid > 0)
            m_windows.push_back(pid);
        return pid;
    }
    void close(pid_t window) {
        for (auto it = m_windows.begin(); it != m_windows.end(); ++it) {
            if (*it == window) {
                end(window, SIGTERM);
                m_windows.erase(it);
                return;
            }
        }
    }
    // What a user's key binding does: moves the focus to the window of this app id (or
    // of another criterion: "title"). A window just opened may not be mapped yet: tried
    // again for up to five seconds. False with sway's answer in lastError().
    bool focus(const std::string& value, const char* criterion = "app_id") {
        const std::string command = "[" + std::string(criterion) + "=\"" + value + "\"] focus";
        const std::string out = m_dir + "/swaymsg.out";
        for (int i = 0; i < 50; ++i) {
            const pid_t pid = spawn({"/usr/bin/swaymsg", "-s", m_ipc, command}, out);
            int status = 0;
            if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0)
                return true;
            ::usleep(100000);
        }
        std::ostringstream text;
        text << std::ifstream(out).rdbuf();
        m_lastError = command + ": " + text.str();
        return false;
    }
    const std::string& lastError() const { return m_lastError; }

private:
    static constexpr uid_t kNobody = 65534;

    static std::vector<char*> pointers(const std::vector<std::string>& strings) {
        std::vector<char*> out;
        for (const std::string& s : strings)
            out.push_back(const_cast<char*>(s.c_str()));
        out.push_back(nullptr);
        return out;
    }
    // A program run with WAYLAND_DISPLAY naming this compositor, its output into `out`
    // (discarded when empty).
    pid_t spawn(const std::vector<std::string>& args, const std::string& out = "") {
        std::vector<std::string> env = {"WAYLAND_DISPLAY=" + m_display};
        for (char** e = environ; *e; ++e)
            if (std::string(*e).rfind("WAYLAND_DISPLAY=", 0) != 0)
                env.emplace_back(*e);
        std::vector<char*> argv = pointers(args), envp = pointers(env);
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_addopen(&files, 1, out.empty() ? "/dev/null" : out.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&files, 1, 2);
        pid_t pid = -1;
        if (posix_spawn(&pid, argv[0], &files, nullptr, argv.data(), envp.data()) != 0)
            pid = -1;
        posix_spawn_file_actions_destroy(&files);
        return pid;
    }
    static void end(pid_t pid, int signal) {
        ::kill(pid, signal);
        ::waitpid(pid, nullptr, 0);
    }

    pid_t m_pid = -1;
    std::string m_dir, m_display, m_ipc, m_lastError;
    std::vector<pid_t> m_windows;
};

} // namespace talyx::test
