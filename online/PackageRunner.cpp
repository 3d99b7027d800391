#include "online/PackageRunner.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "platform/Event.h"

extern char** environ;

namespace talyx {

struct PackageProcess::State {
    std::mutex mutex;
    pid_t pid = -1;
    bool ended = false;
    int status = 0;
    std::shared_ptr<Event> endedEvent;
};

PackageProcess::~PackageProcess() {
    Release();
}

bool PackageProcess::Start(const std::string& path, std::shared_ptr<Event> ended) {
    Release();
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    for (int fd = 0; fd < 3; ++fd)
        posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigdefault(&attributes, &all);
    std::string program = path;
    char* argv[] = {program.data(), nullptr};
    pid_t pid = -1;
    const int error = posix_spawn(&pid, path.c_str(), &actions, &attributes, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (error != 0)
        return false;
    auto state = std::make_shared<State>();
    state->pid = pid;
    state->endedEvent = std::move(ended);
    m_state = state;
    std::thread([state] {
        int status = 0;
        while (::waitpid(state->pid, &status, 0) < 0 && errno == EINTR) {
        }
        std::shared_ptr<Event> event;
        {
            std::lock_guard<std::mutex> lock(state->mutex);
            state->ended = true;
            state->status = status;
            event = state->endedEvent;
        }
        if (event)
            event->set();
    }).detach();
    return true;
}

pid_t PackageProcess::Pid() const {
    if (!m_state)
        return -1;
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->ended ? -1 : m_state->pid;
}

bool PackageProcess::HasEnded() const {
    if (!m_state)
        return true;
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->ended;
}

int PackageProcess::Status() const {
    if (!m_state)
        return 0;
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->status;
}

void PackageProcess::Release() {
    if (!m_state)
        return;
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->endedEvent.reset();
    }
    m_state.reset();
}

bool IsProcessOrDescendant(pid_t pid, pid_t ancestor) {
    if (pid <= 0 || ancestor <= 0)
        return false;
    for (int depth = 0; depth < 64 && pid > 1; ++depth) {
        if (pid == ancestor)
            return true;
        char path[32];
        std::snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(pid));
        FILE* f = std::fopen(path, "r");
        if (!f)
            return false;
        char line[512];
        const size_t n = std::fread(line, 1, sizeof line - 1, f);
        std::fclose(f);
        line[n] = '\0';
        // "pid (name) state ppid ...": the name may hold spaces and parentheses.
        const char* close = nullptr;
        for (const char* p = line; *p; ++p)
            if (*p == ')')
                close = p;
        int parent = 0;
        char state = 0;
        if (!close || std::sscanf(close + 1, " %c %d", &state, &parent) != 2)
            return false;
        pid = parent;
    }
    return false;
}

} // namespace talyx
