#pragma once

#include <string>

#include <json/value.h>

namespace talyx {

enum class JsonFileState {
    Ok,      // parsed
    Missing, // no such file, or it could not be read
    Empty,   // the file holds nothing but white space
    Invalid, // the text is not JSON
};

// Reads and parses a JSON file. Anything missing, empty or invalid gives a null value;
// callers then rebuild their defaults. A UTF-8 byte-order mark is skipped.
Json::Value readjsonFile(const std::string& path);
// The same, telling why the value is null.
Json::Value readjsonFile(const std::string& path, JsonFileState& state);

// Parses JSON text; null when invalid.
Json::Value parseJson(const std::string& text, bool* ok = nullptr);

// The program's one file layout for JSON: jsoncpp's styled writer, 3-space indentation,
// ending with a newline.
std::string styledJson(const Json::Value& value);

// Writes styledJson(value) atomically (see WriteFileAtomic). False when it fails; the
// old file is then untouched.
bool writejsonFile(const std::string& path, const Json::Value& value);

} // namespace talyx
