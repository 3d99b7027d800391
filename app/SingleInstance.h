#pragma once

#include <QString>

namespace talyx {

// Keeps one copy of the program running per user session. The first copy owns the
// program's name on the session bus; a later copy finds it taken, asks the running one
// to come to the front (the instance message with wParam 0, lParam 1) and ends.
//
// Only without a session bus does a lock file keep the rule. It lives in a folder of the
// user's own: $XDG_RUNTIME_DIR when that is a folder owned by the user with mode 0700,
// else the user's data folder (ProductDataDir, made 0700); never in a folder that other
// users share, where anyone could hold the name and keep the program from starting. The
// file is never opened through a link and must be a regular file of the user's. When no
// such place exists the program runs without the lock.
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
    bool holdsLockFile() const { return m_lockFd >= 0; }
    // Where the lock file goes when it is needed; empty when there is no folder for it.
    QString lockPath() const;

private:
    enum class LockResult { Held, HeldElsewhere, Unavailable };
    LockResult lockFile();

    int m_lockFd = -1;
    bool m_ownsBusName = false;
};

} // namespace talyx
