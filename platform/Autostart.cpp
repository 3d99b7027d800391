#include "platform/Autostart.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <unistd.h>

#include "platform/FileIO.h"
#include "platform/Paths.h"
#include "platform/Product.h"

namespace talyx {
namespace {

constexpr const char* kProgramName = "talyx";
constexpr const char* kBackgroundOption = "--background";

std::string realPath(const std::string& path) {
    char buffer[PATH_MAX];
    return ::realpath(path.c_str(), buffer) ? std::string(buffer) : std::string();
}

// Where the search path finds `name` as an executable, or empty.
std::string findInPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    if (!path)
        return {};
    std::stringstream dirs(path);
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        if (dir.empty() || dir[0] != '/')
            continue; // a relative entry depends on the folder the session starts in
        const std::string candidate = JoinPath(dir, name);
        if (::access(candidate.c_str(), X_OK) == 0 && FileExists(candidate))
            return candidate;
    }
    return {};
}

// One argument of an Exec line: quoted when it holds a reserved character, with the
// quoting characters escaped inside; '%' doubled, as field codes start with it.
std::string execArgument(const std::string& arg) {
    static const char* kReserved = " \t\n\"'\\><~|&;$*?#()`";
    std::string out;
    const bool quote = arg.find_first_of(kReserved) != std::string::npos;
    for (char c : arg) {
        if (c == '%')
            out += "%%";
        else if (quote && std::strchr("\"`$\\", c))
            out += std::string("\\") + c;
        else
            out += c;
    }
    if (quote)
        out = "\"" + out + "\"";
    // The value itself is a string of the entry format, where a backslash is written twice.
    std::string value;
    for (char c : out)
        value += c == '\\' ? std::string("\\\\") : std::string(1, c);
    return value;
}

// The value of `key` in the [Desktop Entry] group, or empty.
std::string entryValue(const std::string& text, const std::string& key) {
    std::stringstream lines(text);
    std::string line;
    bool inEntry = false;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line[0] == '[') {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        if (!inEntry || line.compare(0, key.size(), key) != 0)
            continue;
        size_t i = key.size();
        while (i < line.size() && line[i] == ' ')
            ++i;
        if (i >= line.size() || line[i] != '=')
            continue;
        ++i;
        while (i < line.size() && line[i] == ' ')
            ++i;
        return line.substr(i);
    }
    return {};
}

void setError(std::string* error, const std::string& text) {
    if (error)
        *error = text;
}

} // namespace

std::string AutostartEntryPath() {
    const std::string config = UserConfigRoot();
    if (config.empty())
        return {};
    return JoinPath(JoinPath(config, "autostart"), std::string(kProgramName) + ".desktop");
}

bool IsAutostartEnabled() {
    const std::string path = AutostartEntryPath();
    std::string text;
    if (path.empty() || !FileExists(path) || !ReadWholeFile(path, text))
        return false;
    return entryValue(text, "Hidden") != "true" && entryValue(text, "X-GNOME-Autostart-enabled") != "false";
}

bool SetAutostartEnabled(bool enabled, std::string* error) {
    const std::string path = AutostartEntryPath();
    if (path.empty()) {
        setError(error, "there is no configuration folder (neither XDG_CONFIG_HOME nor HOME is set)");
        return false;
    }
    if (!enabled) {
        if (::unlink(path.c_str()) == 0 || errno == ENOENT)
            return true;
        setError(error, path + ": " + std::strerror(errno));
        return false;
    }
    const std::string folder = path.substr(0, path.find_last_of('/'));
    if (!MakeDirs(folder)) {
        setError(error, folder + ": cannot be made (" + std::strerror(errno) + ")");
        return false;
    }
    const std::string program = JoinPath(ExecutableDir(), kProgramName);
    if (!WriteFileAtomic(path, AutostartEntryText(AutostartCommand(program)))) {
        setError(error, path + ": cannot be written (" + std::strerror(errno) + ")");
        return false;
    }
    return true;
}

std::string AutostartCommand(const std::string& programPath) {
    const std::string found = findInPath(kProgramName);
    const std::string program = realPath(programPath);
    if (!found.empty() && !program.empty() && realPath(found) == program)
        return std::string(kProgramName) + " " + kBackgroundOption;
    return execArgument(programPath) + " " + kBackgroundOption;
}

std::string AutostartEntryText(const std::string& command) {
    return std::string("[Desktop Entry]\n"
                       "Type=Application\n"
                       "Name=") +
           kProductTitle +
           "\n"
           "Comment=Applies the devices' profiles when the session starts\n"
           "Exec=" +
           command +
           "\n"
           "Icon=org.talyx.RgbGamingKeyboard\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

} // namespace talyx
