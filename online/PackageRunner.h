#pragma once

#include <memory>
#include <string>
#include <sys/types.h>

namespace talyx {

class Event;

// A firmware package started hidden: by its argument vector (no shell), in a session of
// its own with no terminal, its standard streams on /dev/null. A thread of its own reaps
// it when it ends, so a package is never left a zombie even when nobody waits for it
// any more (the settings window closed while a package still updates a device: the
// package is not killed, a device must not be left half written).
class PackageProcess {
public:
    PackageProcess() = default;
    ~PackageProcess();
    PackageProcess(const PackageProcess&) = delete;
    PackageProcess& operator=(const PackageProcess&) = delete;

    // Starts the package. `ended` (may be null) is set when it ends. False when it cannot
    // be started.
    bool Start(const std::string& path, std::shared_ptr<Event> ended);
    pid_t Pid() const;
    bool HasEnded() const;
    // Exit status as waitpid gives it; meaningful once HasEnded().
    int Status() const;
    // Stops watching: a package still running goes on and is reaped when it ends.
    void Release();

private:
    struct State;
    std::shared_ptr<State> m_state;
};

// True when `pid` is `ancestor` or one of its descendants (read from /proc).
bool IsProcessOrDescendant(pid_t pid, pid_t ancestor);

} // namespace talyx
