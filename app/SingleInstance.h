#pragma once

#include <QString>

namespace talyx {

// Keeps one copy of the program running per user session. The first copy holds a lock
// file in $XDG_RUNTIME_DIR and owns the program's name on the session bus; a later copy
// finds either taken, asks the running one to come to the front (the instance message
// with wParam 0, lParam 1) and ends. With no session bus the lock file alone keeps
// the rule.
class SingleInstance {
public:
    enum class Claim { Owner, AlreadyRunning };

    SingleInstance() = default;
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    Claim claim();
    // Asks the running copy to come to the front. False when it cannot be reached.
    bool activateRunning();
    void release();
    bool ownsBusName() const { return m_ownsBusName; }
    QString lockPath() const;

private:
    int m_lockFd = -1;
    bool m_ownsBusName = false;
};

} // namespace talyx
