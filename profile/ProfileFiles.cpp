#include "profile/ProfileFiles.h"

#include "platform/Clock.h"
#include "platform/Debug.h"
#include "platform/FileIO.h"
#include "platform/JsonFile.h"
#include "platform/Paths.h"

namespace talyx {

std::string ProfileFolder(const std::string& familyName) { return FamilyDataDir(familyName); }

std::string DefaultDataDir() { return JoinPath(ProgramDataDir(), kDefaultDataFolder); }

std::string DefaultDocumentPath(const std::string& familyName) {
    return JoinPath(DefaultDataDir(), familyName + kProfileDocumentExtension);
}

std::string DefaultLightNamesPath() { return JoinPath(DefaultDataDir(), kDefaultLightFileName); }

bool IsSafeFileStem(const std::string& stem) {
    return !stem.empty() && stem != "." && stem != ".." && stem.find('/') == std::string::npos &&
           stem.find('\\') == std::string::npos && stem.find('\0') == std::string::npos;
}

std::string ProfileDocumentPath(const std::string& folder, const std::string& uuid) {
    if (!IsSafeFileStem(uuid))
        return std::string();
    return JoinPath(folder, uuid + kProfileDocumentExtension);
}

Json::Value ReadDocument(const std::string& path, bool& unusable) {
    JsonFileState state = JsonFileState::Missing;
    Json::Value root = readjsonFile(path, state);
    unusable = state == JsonFileState::Invalid || (state == JsonFileState::Ok && !root.isObject());
    return root.isObject() ? root : Json::Value();
}

std::string KeepCorruptFile(const std::string& path) {
    std::string text;
    if (!ReadWholeFile(path, text))
        return std::string();
    std::string kept = path + kCorruptSuffix;
    // Each time-stamp identifier is new within the process; the existence check covers
    // copies left by earlier runs.
    while (FileExists(kept))
        kept = path + "." + NewTimestampId() + kCorruptSuffix;
    if (!WriteFileAtomic(kept, text)) {
        DebugOutputF("profile: could not keep the unreadable file %s\n", path.c_str());
        return std::string();
    }
    DebugOutputF("profile: unreadable file %s kept as %s\n", path.c_str(), kept.c_str());
    return kept;
}

Json::Value ReadDocumentForUpdate(const std::string& path) {
    bool unusable = false;
    Json::Value root = ReadDocument(path, unusable);
    if (unusable)
        KeepCorruptFile(path);
    return root.isObject() ? root : Json::Value(Json::objectValue);
}

} // namespace talyx
