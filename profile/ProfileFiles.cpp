#include "profile/ProfileFiles.h"

#include <algorithm>
#include <dirent.h>
#include <mutex>

#include "platform/Debug.h"
#include "platform/JsonFile.h"
#include "platform/Paths.h"

namespace talyx {

std::string ProfileFolder(const std::string& familyName) {
    return FamilyDataDir(familyName);
}

std::string DefaultDataDir() {
    return JoinPath(ProgramDataDir(), kDefaultDataFolder);
}

std::string DefaultDocumentPath(const std::string& familyName) {
    return JoinPath(DefaultDataDir(), familyName + kProfileDocumentExtension);
}

std::string DefaultLightNamesPath() {
    return JoinPath(DefaultDataDir(), kDefaultLightFileName);
}

bool IsSafeFileStem(const std::string& stem) {
    return !stem.empty() && stem != "." && stem != ".." && stem.find('/') == std::string::npos &&
           stem.find('\\') == std::string::npos && stem.find('\0') == std::string::npos;
}

std::string ProfileDocumentPath(const std::string& folder, const std::string& uuid) {
    if (folder.empty() || !IsSafeFileStem(uuid))
        return std::string();
    return JoinPath(folder, uuid + kProfileDocumentExtension);
}

std::vector<std::string> FileStemsIn(const std::string& folder, const std::string& extension) {
    std::vector<std::string> stems;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* e = readdir(dir)) {
            const std::string name = e->d_name;
            if (name.size() > extension.size() &&
                name.compare(name.size() - extension.size(), extension.size(), extension) == 0)
                stems.push_back(name.substr(0, name.size() - extension.size()));
        }
        closedir(dir);
    }
    std::sort(stems.begin(), stems.end());
    return stems;
}

Json::Value ReadDocument(const std::string& path, bool& unusable, size_t maxBytes) {
    JsonFileState state = JsonFileState::Missing;
    Json::Value root = readjsonFile(path, state, maxBytes);
    unusable = IsDamaged(state) || (state == JsonFileState::Ok && !root.isObject());
    return root.isObject() ? root : Json::Value();
}

std::string KeepCorruptFile(const std::string& path) {
    return KeepAside(path);
}

Json::Value ReadDocumentForUpdate(const std::string& path, size_t maxBytes) {
    bool unusable = false;
    Json::Value root = ReadDocument(path, unusable, maxBytes);
    if (unusable)
        KeepCorruptFile(path);
    return root.isObject() ? root : Json::Value(Json::objectValue);
}

namespace {

std::mutex g_observerLock;
ProfileWriteObserver g_observer;

void tellObserver(const std::string& path, bool written) {
    ProfileWriteObserver observer;
    {
        std::lock_guard<std::mutex> lock(g_observerLock);
        observer = g_observer;
    }
    if (observer)
        observer(path, written);
}

} // namespace

void SetProfileWriteObserver(ProfileWriteObserver observer) {
    std::lock_guard<std::mutex> lock(g_observerLock);
    g_observer = std::move(observer);
}

bool WriteProfileFile(const std::string& path, const Json::Value& root) {
    if (writejsonFile(path, root)) {
        tellObserver(path, true);
        return true;
    }
    DebugOutputF("profile: could not write %s\n", path.c_str());
    tellObserver(path, false);
    return false;
}

} // namespace talyx
