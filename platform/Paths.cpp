#include "platform/Paths.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/Product.h"

namespace talyx {
namespace {

// A folder named by the environment counts only when it is an absolute path; a relative
// one would put files wherever the program happens to be started.
std::string absoluteEnv(const char* name) {
    const char* v = std::getenv(name);
    return v && v[0] == '/' ? std::string(v) : std::string();
}

std::string passwordHome() {
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found || !found->pw_dir ||
        found->pw_dir[0] != '/')
        return std::string();
    return found->pw_dir;
}

std::string underHome(const char* xdgName, const char* relative) {
    const std::string xdg = absoluteEnv(xdgName);
    if (!xdg.empty())
        return xdg;
    const std::string home = HomeDir();
    return home.empty() ? std::string() : JoinPath(home, relative);
}

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

std::string HomeDir() {
    const std::string home = absoluteEnv("HOME");
    return home.empty() ? passwordHome() : home;
}

std::string UserDataRoot() {
    return underHome("XDG_DATA_HOME", ".local/share");
}
std::string UserConfigRoot() {
    return underHome("XDG_CONFIG_HOME", ".config");
}
std::string TempDir() {
    const std::string dir = absoluteEnv("TMPDIR");
    return dir.empty() ? "/tmp" : dir;
}
std::string RuntimeDir() {
    return absoluteEnv("XDG_RUNTIME_DIR");
}

std::string ProductDataDir() {
    const std::string root = UserDataRoot();
    if (root.empty())
        return std::string();
    const std::string dir = JoinPath(root, kProductTitle);
    MakeDirs(dir);
    return dir;
}

std::string FamilyDataDir(const std::string& familyName) {
    const std::string product = ProductDataDir();
    if (product.empty())
        return std::string();
    const std::string dir = JoinPath(product, familyName);
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

bool MakeDirs(const std::string& path, mode_t mode) {
    if (path.empty())
        return false;
    if (DirExists(path))
        return true;
    const size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0)
        MakeDirs(path.substr(0, slash), mode);
    return mkdir(path.c_str(), mode) == 0 || errno == EEXIST ? DirExists(path) : false;
}

} // namespace talyx
