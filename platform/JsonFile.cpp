#include "platform/JsonFile.h"

#include <memory>

#include <json/reader.h>
#include <json/writer.h>

#include "platform/FileIO.h"

namespace talyx {

Json::Value parseJson(const std::string& text, bool* ok) {
    size_t start = 0;
    if (text.size() >= 3 && static_cast<unsigned char>(text[0]) == 0xEF && static_cast<unsigned char>(text[1]) == 0xBB &&
        static_cast<unsigned char>(text[2]) == 0xBF)
        start = 3;
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value root;
    std::string errors;
    const char* begin = text.data() + start;
    const bool parsed = reader->parse(begin, text.data() + text.size(), &root, &errors);
    if (ok)
        *ok = parsed;
    return parsed ? root : Json::Value();
}

Json::Value readjsonFile(const std::string& path, JsonFileState& state) {
    std::string text;
    if (!ReadWholeFile(path, text)) {
        state = JsonFileState::Missing;
        return Json::Value();
    }
    if (text.find_first_not_of(" \t\r\n") == std::string::npos) {
        state = JsonFileState::Empty;
        return Json::Value();
    }
    bool ok = false;
    Json::Value value = parseJson(text, &ok);
    state = ok ? JsonFileState::Ok : JsonFileState::Invalid;
    return value;
}

Json::Value readjsonFile(const std::string& path) {
    JsonFileState state;
    return readjsonFile(path, state);
}

std::string styledJson(const Json::Value& value) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    Json::StyledWriter writer;
    return writer.write(value);
#pragma GCC diagnostic pop
}

bool writejsonFile(const std::string& path, const Json::Value& value) { return WriteFileAtomic(path, styledJson(value)); }

} // namespace talyx
