#pragma once

#include <functional>
#include <string>
#include <vector>

#include <json/value.h>

#include "platform/FileIO.h"
#include "platform/JsonFile.h"

// Where profile files live and how the profile code reads a document it is about to
// rewrite.
namespace talyx {

inline constexpr const char* kProfileListFileName = "ProfileList.ini";
// Profile documents end in ".Json" with a capital J; exported files use ".json".
inline constexpr const char* kProfileDocumentExtension = ".Json";
inline constexpr const char* kDefaultDataFolder = "DefaultData";
inline constexpr const char* kDefaultLightFileName = "default_light.json";
inline constexpr const char* kMacroLibraryFileName = "macro.config";
// The custom effect library is this prefix + ".config"; effect files are Guid + ".light".
inline constexpr const char* kLightingFilePrefix = "quorv_light";
inline constexpr const char* kCustomEffectExtension = ".light";

// The per-user folder of a device family ("keyboard", "mouse", "MousePad", "HD"),
// created when missing.
std::string ProfileFolder(const std::string& familyName);
// The shipped data: ProgramDataDir() + "/DefaultData".
std::string DefaultDataDir();
// DefaultData/<family>.Json, the factory document of a family.
std::string DefaultDocumentPath(const std::string& familyName);
// DefaultData/default_light.json.
std::string DefaultLightNamesPath();

// True for a name that can be used as a file name inside a folder: not empty, no path
// separator, not "." or "..". Profile UUIDs and effect Guids come from files that can be
// edited by hand; one such as "../../x" must not reach outside the profile folder.
bool IsSafeFileStem(const std::string& stem);
// folder + "/" + uuid + ".Json"; empty when the UUID is not a safe file name or there is
// no folder.
std::string ProfileDocumentPath(const std::string& folder, const std::string& uuid);

// The names in `folder` that end in `extension` (compared as they are written), without
// it, in ascending order. The stems of profile documents and macro files are time stamps
// of creation, so this is the order they were made in.
std::vector<std::string> FileStemsIn(const std::string& folder, const std::string& extension);

// Reads a JSON document. `unusable` is set when the file exists and cannot be used: text
// that does not parse or nests too deep, a file above the cap, something that is not a
// regular file, or a bare number, string or array: the kind of file that rebuilding
// would otherwise destroy. A missing or blank file is not unusable, it is simply absent.
// The result is null unless it is an object.
Json::Value ReadDocument(const std::string& path, bool& unusable, size_t maxBytes = kMaxJsonDocumentBytes);

// Moves a file that is about to be replaced by a rebuilt document aside (KeepAside):
// to path + ".corrupt", or path + "." + time-stamp + ".corrupt" when that is taken.
// Returns the new path, empty when nothing was kept.
std::string KeepCorruptFile(const std::string& path);

// Reads a document that is about to be changed and written back: the parsed object, or
// an empty object when the file is missing, blank or unusable; an unusable file is kept
// aside first (KeepCorruptFile).
Json::Value ReadDocumentForUpdate(const std::string& path, size_t maxBytes = kMaxJsonDocumentBytes);

// Writes a profile file (a document or the list) in the styled layout, atomically; a
// failure is told on the debug output with the path. False when it failed.
bool WriteProfileFile(const std::string& path, const Json::Value& root);

// Told of every WriteProfileFile, on the thread that wrote: the path and whether it went
// to disk. The window uses it to tell the user that saving fails (a full disk, a folder
// that went away); nullptr removes it.
using ProfileWriteObserver = std::function<void(const std::string& path, bool written)>;
void SetProfileWriteObserver(ProfileWriteObserver observer);

} // namespace talyx
