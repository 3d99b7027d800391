#include "platform/FileIO.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Clock.h"
#include "platform/Debug.h"

namespace talyx {
namespace {

constexpr const char* kTempMarker = ".tmp-";

bool writeAll(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// Digits only, at least one, and a value that fits; false otherwise.
bool parseNumber(const std::string& text, long long& value) {
    if (text.empty() || text.size() > 18)
        return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

// The writer's pid of a name made by WriteFileAtomic ("<target>.tmp-<pid>-<n>"), or 0.
pid_t tempFileWriter(const std::string& name) {
    const size_t marker = name.rfind(kTempMarker);
    if (marker == std::string::npos || marker == 0)
        return 0;
    const std::string rest = name.substr(marker + std::char_traits<char>::length(kTempMarker));
    const size_t dash = rest.find('-');
    long long pid = 0;
    long long n = 0;
    if (dash == std::string::npos || !parseNumber(rest.substr(0, dash), pid) || !parseNumber(rest.substr(dash + 1), n))
        return 0;
    if (pid <= 0 || pid > 0x3FFFFFFF)
        return 0;
    return static_cast<pid_t>(pid);
}

bool processRuns(pid_t pid) {
    if (pid == ::getpid())
        return true;
    // EPERM: it runs, as someone else.
    return ::kill(pid, 0) == 0 || errno != ESRCH;
}

} // namespace

FileReadResult ReadRegularFile(const std::string& path, std::string& out, size_t maxBytes) {
    out.clear();
    if (path.empty())
        return FileReadResult::Missing;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return FileReadResult::Missing;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return FileReadResult::Failed;
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return FileReadResult::NotRegular;
    }
    if (st.st_size < 0 || static_cast<unsigned long long>(st.st_size) > maxBytes) {
        ::close(fd);
        return FileReadResult::TooLarge;
    }
    out.reserve(static_cast<size_t>(st.st_size));
    char buffer[65536];
    FileReadResult result = FileReadResult::Ok;
    for (;;) {
        // One byte past the cap tells a file that grew while it was read.
        const size_t room = maxBytes - out.size() + 1;
        const ssize_t n = ::read(fd, buffer, room < sizeof buffer ? room : sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            result = FileReadResult::Failed;
            break;
        }
        if (n == 0)
            break;
        out.append(buffer, static_cast<size_t>(n));
        if (out.size() > maxBytes) {
            result = FileReadResult::TooLarge;
            break;
        }
    }
    ::close(fd);
    if (result != FileReadResult::Ok)
        out.clear();
    return result;
}

bool ReadWholeFile(const std::string& path, std::string& out, size_t maxBytes) {
    return ReadRegularFile(path, out, maxBytes) == FileReadResult::Ok;
}

bool WriteFileAtomic(const std::string& path, const std::string& data) {
    static std::atomic<unsigned> counter{0};
    if (path.empty() || path.back() == '/')
        return false;
    const size_t slash = path.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));

    // A name that is taken (a link someone put there, or the leftover of an earlier
    // process with the same pid) is never opened; the next number is tried.
    std::string temp;
    int fd = -1;
    for (int tries = 0; tries < 16 && fd < 0; ++tries) {
        temp = path + kTempMarker + std::to_string(::getpid()) + "-" + std::to_string(counter++);
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST)
            return false;
    }
    if (fd < 0)
        return false;
    const bool written = writeAll(fd, data) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return true;
}

std::string KeepAside(const std::string& path) {
    if (path.empty() || !exists(path))
        return std::string();
    std::string kept = path + kCorruptSuffix;
    // Each time-stamp identifier is new within the process; the existence check covers
    // copies left by earlier runs.
    while (exists(kept))
        kept = path + "." + NewTimestampId() + kCorruptSuffix;
    if (::rename(path.c_str(), kept.c_str()) != 0) {
        DebugOutputF("could not keep the unreadable file %s aside\n", path.c_str());
        return std::string();
    }
    DebugOutputF("unreadable file %s kept as %s\n", path.c_str(), kept.c_str());
    return kept;
}

size_t RemoveStaleTempFiles(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return 0;
    const int dfd = ::dirfd(dir);
    size_t removed = 0;
    while (dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        const pid_t writer = tempFileWriter(name);
        if (writer == 0 || processRuns(writer))
            continue;
        struct stat st {};
        if (::fstatat(dfd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
            st.st_uid != ::geteuid())
            continue;
        if (::unlinkat(dfd, name.c_str(), 0) == 0) {
            ++removed;
            DebugOutputF("removed the unfinished file %s/%s\n", folder.c_str(), name.c_str());
        }
    }
    ::closedir(dir);
    return removed;
}

} // namespace talyx
