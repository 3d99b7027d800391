#include "platform/Paths.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Product.h"

namespace talyx {
namespace {

std::string envOr(const char* name, const std::string& fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::string(v) : fallback;
}

std::string homeDir() { return envOr("HOME", "/tmp"); }

} // namespace

std::string ExecutableDir() {
    char buffer[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return ".";
    std::string path(buffer, static_cast<size_t>(n));
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::string ProgramDataDir() {
    const char* env = std::getenv("TALYX_DATA_DIR");
    if (env && *env)
        return env;
    const std::string exe = ExecutableDir();
    if (DirExists(JoinPath(exe, "skin")))
        return exe;
    return JoinPath(exe, "../share/talyx");
}

std::string UserDataRoot() { return envOr("XDG_DATA_HOME", JoinPath(homeDir(), ".local/share")); }
std::string UserConfigRoot() { return envOr("XDG_CONFIG_HOME", JoinPath(homeDir(), ".config")); }
std::string TempDir() { return envOr("TMPDIR", "/tmp"); }
std::string RuntimeDir() { return envOr("XDG_RUNTIME_DIR", TempDir()); }

std::string ProductDataDir() {
    const std::string dir = JoinPath(UserDataRoot(), kProductTitle);
    MakeDirs(dir);
    return dir;
}

std::string FamilyDataDir(const std::string& familyName) {
    const std::string dir = JoinPath(ProductDataDir(), familyName);
    MakeDirs(dir);
    return dir;
}

std::string JoinPath(const std::string& a, const std::string& b) {
    if (a.empty())
        return b;
    if (b.empty())
        return a;
    if (a.back() == '/')
        return a + b;
    return a + "/" + b;
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirExists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool MakeDirs(const std::string& path) {
    if (path.empty())
        return false;
    if (DirExists(path))
        return true;
    const size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0)
        MakeDirs(path.substr(0, slash));
    return mkdir(path.c_str(), 0755) == 0 || errno == EEXIST ? DirExists(path) : false;
}

} // namespace talyx
