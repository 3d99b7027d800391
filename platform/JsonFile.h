#pragma once

#include <cstddef>
#include <string>

#include <json/value.h>

namespace talyx {

enum class JsonFileState {
    Ok,         // parsed
    Missing,    // no such file, or it could not be read
    Empty,      // the file holds nothing but white space
    Invalid,    // the text is not JSON, or nests deeper than kMaxJsonDepth
    TooLarge,   // larger than the reader's cap; none of it was read
    NotRegular, // a folder, FIFO, socket or device in the file's place; not read
};

// True for the states of a file that is there but cannot be used: the kind of file that
// is kept aside (KeepAside) before it is rebuilt, so that rebuilding loses nothing.
bool IsDamaged(JsonFileState state);

// Arrays and objects nest at most this deep in any file the program reads; the deepest
// of its own documents nests 7 levels. Deeper text is refused before it is parsed, so
// neither the parser nor the destruction of a value ever recurses further.
inline constexpr int kMaxJsonDepth = 64;
// Size caps, far above what the program writes and low enough that the worst text under
// them (a flat array of numbers) parses in a fraction of a second on the interface
// thread. Documents: profile documents (about 20 KiB, and 25 KiB more for each custom
// colour group), macro files (about 450 KiB for 4000 actions), custom effects, imported
// files and the shipped data. Index files: "ProfileList.ini", "macro.config", the custom
// effect library and the settings store (a few KiB for 50 entries).
inline constexpr size_t kMaxJsonDocumentBytes = size_t(2) << 20;
inline constexpr size_t kMaxJsonIndexBytes = size_t(1) << 20;

// Reads and parses a JSON file. Anything missing, empty, invalid, too large or not a
// regular file gives a null value; callers then rebuild their defaults. A UTF-8
// byte-order mark is skipped. Never throws, never blocks on a FIFO, never reads more than
// maxBytes.
Json::Value readjsonFile(const std::string& path);
// The same, telling why the value is null.
Json::Value readjsonFile(const std::string& path, JsonFileState& state, size_t maxBytes = kMaxJsonDocumentBytes);
// The same for a file the caller owns and rebuilds: a damaged file (IsDamaged) is kept
// aside first, so that the rebuilt one does not destroy it.
Json::Value ReadJsonKeepingDamaged(const std::string& path, JsonFileState& state,
                                   size_t maxBytes = kMaxJsonDocumentBytes);

// Parses JSON text; null when invalid or nested deeper than kMaxJsonDepth. Never throws.
Json::Value parseJson(const std::string& text, bool* ok = nullptr);

// The program's one file layout for JSON: jsoncpp's styled writer, 3-space indentation,
// ending with a newline.
std::string styledJson(const Json::Value& value);

// Writes styledJson(value) atomically (see WriteFileAtomic). False when it fails; the
// old file is then untouched.
bool writejsonFile(const std::string& path, const Json::Value& value);

} // namespace talyx
