#include "focus/ApplicationCatalog.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace talyx {
namespace {

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

std::string trim(const std::string& s) {
    const size_t b = s.find_first_not_of(" \t\r");
    const size_t e = s.find_last_not_of(" \t\r");
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

std::string baseName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// An identity as compared: lower case, without ".desktop".
std::string key(const std::string& s) {
    std::string k = lower(trim(s));
    const std::string suffix = ".desktop";
    if (k.size() > suffix.size() && k.compare(k.size() - suffix.size(), suffix.size(), suffix) == 0)
        k.resize(k.size() - suffix.size());
    return k;
}

// The program of an Exec line: its first word that is not "env" or a VAR=value, without
// its folder. Quoting is taken as far as a program path needs it.
std::string programOfExec(const std::string& exec) {
    std::vector<std::string> words;
    std::string word;
    bool quoted = false;
    for (char c : exec) {
        if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && (c == ' ' || c == '\t')) {
            if (!word.empty())
                words.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty())
        words.push_back(word);
    for (const std::string& w : words) {
        if (w == "env" || w.find('=') != std::string::npos)
            continue;
        return baseName(w);
    }
    return {};
}

// The [Desktop Entry] group of one file; false for entries not to be listed.
bool readEntry(const std::string& path, DesktopApplication& app) {
    std::ifstream in(path);
    if (!in)
        return false;
    std::string line;
    bool inEntry = false;
    std::string type;
    bool hidden = false;
    int lines = 0;
    while (std::getline(in, line) && ++lines < 2000) {
        line = trim(line);
        if (line.empty() || line[0] == '#')
            continue;
        if (line[0] == '[') {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        if (!inEntry)
            continue;
        const size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string name = trim(line.substr(0, eq));
        const std::string value = trim(line.substr(eq + 1));
        if (name == "Type")
            type = value;
        else if (name == "Name")
            app.name = value;
        else if (name == "Exec")
            app.exec = programOfExec(value);
        else if (name == "StartupWMClass")
            app.wmClass = value;
        else if ((name == "NoDisplay" || name == "Hidden") && value == "true")
            hidden = true;
    }
    return type == "Application" && !hidden && !app.name.empty();
}

void scan(const std::string& folder, const std::string& prefix, std::set<std::string>& seen,
          std::vector<DesktopApplication>& out, int depth) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    std::vector<std::string> names;
    while (dirent* e = ::readdir(dir))
        if (e->d_name[0] != '.')
            names.emplace_back(e->d_name);
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    for (const std::string& n : names) {
        const std::string path = folder + "/" + n;
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0)
            continue;
        if (S_ISDIR(st.st_mode)) {
            if (depth < 3)
                scan(path, prefix + n + "-", seen, out, depth + 1);
            continue;
        }
        if (n.size() <= 8 || n.compare(n.size() - 8, 8, ".desktop") != 0)
            continue;
        const std::string id = prefix + n;
        if (!seen.insert(id).second)
            continue; // an earlier folder's entry of the same id hides this one
        DesktopApplication app;
        app.id = id;
        if (readEntry(path, app))
            out.push_back(app);
    }
}

} // namespace

ApplicationCatalog::ApplicationCatalog(const std::vector<std::string>& folders) {
    std::set<std::string> seen;
    for (const std::string& f : folders)
        scan(f, "", seen, m_apps, 0);
    std::stable_sort(m_apps.begin(), m_apps.end(), [](const DesktopApplication& a, const DesktopApplication& b) {
        return lower(a.name) < lower(b.name);
    });
}

std::vector<std::string> ApplicationCatalog::SessionFolders() {
    std::vector<std::string> folders;
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    if (dataHome && *dataHome)
        folders.push_back(std::string(dataHome) + "/applications");
    else if (home && *home)
        folders.push_back(std::string(home) + "/.local/share/applications");
    const char* dirs = std::getenv("XDG_DATA_DIRS");
    std::string all = dirs && *dirs ? dirs : "/usr/local/share:/usr/share";
    size_t start = 0;
    while (start <= all.size()) {
        const size_t colon = all.find(':', start);
        const std::string d = all.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
        if (!d.empty())
            folders.push_back(d + "/applications");
        if (colon == std::string::npos)
            break;
        start = colon + 1;
    }
    return folders;
}

const DesktopApplication* ApplicationCatalog::Find(const std::string& id) const {
    const std::string k = key(id);
    if (k.empty())
        return nullptr;
    for (const DesktopApplication& a : m_apps)
        if (key(a.id) == k)
            return &a;
    return nullptr;
}

std::string ApplicationCatalog::IdentityOf(const FocusedApplication& app) const {
    if (const DesktopApplication* known = Find(app.id))
        return known->id;
    if (!app.id.empty())
        return app.id;
    const std::string cls = key(app.windowClass);
    const std::string inst = key(app.instance);
    const std::string exe = key(app.executable);
    // The declared window class first: it is what the desktop itself matches on.
    for (const DesktopApplication& a : m_apps)
        if (!a.wmClass.empty() && (key(a.wmClass) == cls || key(a.wmClass) == inst))
            return a.id;
    for (const DesktopApplication& a : m_apps) {
        const std::string k = key(a.id);
        // "org.example.Game" names its windows "Game" or "org.example.Game".
        const std::string last = k.substr(k.rfind('.') == std::string::npos ? 0 : k.rfind('.') + 1);
        if ((!cls.empty() && (k == cls || last == cls)) || (!inst.empty() && k == inst))
            return a.id;
    }
    if (!exe.empty())
        for (const DesktopApplication& a : m_apps)
            if (key(a.exec) == exe)
                return a.id;
    return {};
}

std::string ApplicationCatalog::LinkNameOf(const FocusedApplication& app) const {
    std::string id = IdentityOf(app);
    if (!id.empty())
        return id;
    if (!app.windowClass.empty())
        return app.windowClass;
    if (!app.instance.empty())
        return app.instance;
    return app.executable;
}

bool ApplicationCatalog::Matches(const std::string& link, const FocusedApplication& app) const {
    const std::string k = key(link);
    if (k.empty() || app.IsEmpty())
        return false;
    for (const std::string* s : {&app.id, &app.windowClass, &app.instance, &app.executable})
        if (!s->empty() && key(*s) == k)
            return true;
    const std::string identity = IdentityOf(app);
    if (!identity.empty() && key(identity) == k)
        return true;
    if (const DesktopApplication* entry = Find(link)) {
        const std::string exe = key(app.executable);
        if (!exe.empty() && key(entry->exec) == exe)
            return true;
        const std::string cls = key(entry->wmClass);
        if (!cls.empty() && (cls == key(app.windowClass) || cls == key(app.instance)))
            return true;
    }
    return false;
}

std::vector<std::string> ApplicationCatalog::Running() const {
    std::set<std::string> programs;
    DIR* proc = ::opendir("/proc");
    if (proc) {
        while (dirent* e = ::readdir(proc)) {
            if (!std::isdigit(static_cast<unsigned char>(e->d_name[0])))
                continue;
            struct stat st {};
            const std::string dir = std::string("/proc/") + e->d_name;
            if (::stat(dir.c_str(), &st) != 0 || st.st_uid != ::getuid())
                continue;
            const std::string exe = ExecutableOfProcess(static_cast<uint32_t>(std::strtoul(e->d_name, nullptr, 10)));
            if (!exe.empty())
                programs.insert(key(exe));
        }
        ::closedir(proc);
    }
    std::vector<std::string> out;
    for (const DesktopApplication& a : m_apps)
        if (!a.exec.empty() && programs.count(key(a.exec)))
            out.push_back(a.id);
    return out;
}

std::string ExecutableOfProcess(uint32_t pid) {
    if (pid == 0)
        return {};
    const std::string dir = "/proc/" + std::to_string(pid);
    char target[4096];
    const ssize_t n = ::readlink((dir + "/exe").c_str(), target, sizeof target - 1);
    if (n > 0) {
        std::string path(target, static_cast<size_t>(n));
        const std::string deleted = " (deleted)";
        if (path.size() > deleted.size() && path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0)
            path.resize(path.size() - deleted.size());
        return baseName(path);
    }
    std::ifstream comm(dir + "/comm");
    std::string name;
    std::getline(comm, name);
    return trim(name);
}

} // namespace talyx
