#include "platform/JsonFile.h"

#include <exception>
#include <memory>

#include <json/reader.h>
#include <json/writer.h>

#include "platform/FileIO.h"

namespace talyx {
namespace {

// True when no array or object in the text nests deeper than `limit`. Brackets inside
// strings and comments (the parser takes both kinds) do not count. Text that is not JSON
// may pass; the parser refuses it then.
bool nestingWithin(const char* text, size_t size, int limit) {
    int depth = 0;
    size_t i = 0;
    while (i < size) {
        const char c = text[i++];
        if (c == '"') {
            while (i < size && text[i] != '"')
                i += text[i] == '\\' ? 2 : 1;
            ++i;
        } else if (c == '/' && i < size && text[i] == '/') {
            while (i < size && text[i] != '\n' && text[i] != '\r')
                ++i;
        } else if (c == '/' && i < size && text[i] == '*') {
            ++i;
            while (i + 1 < size && !(text[i] == '*' && text[i + 1] == '/'))
                ++i;
            i += 2;
        } else if (c == '[' || c == '{') {
            if (++depth > limit)
                return false;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return true;
}

JsonFileState stateOf(FileReadResult result) {
    switch (result) {
    case FileReadResult::Ok:
        return JsonFileState::Ok;
    case FileReadResult::NotRegular:
        return JsonFileState::NotRegular;
    case FileReadResult::TooLarge:
        return JsonFileState::TooLarge;
    case FileReadResult::Missing:
    case FileReadResult::Failed:
        break;
    }
    return JsonFileState::Missing;
}

} // namespace

bool IsDamaged(JsonFileState state) {
    return state == JsonFileState::Invalid || state == JsonFileState::TooLarge || state == JsonFileState::NotRegular;
}

// Drops the members whose names hold a NUL character. The parser takes them ("\u0000"),
// but the writer ends a name at its first NUL, so such a member would be written back
// under another member's name and replace it on the next read (a list's "profilelist"
// emptied by a forged "profilelist\u0000"). No file of ours has them.
static void dropNulNames(Json::Value& value) {
    if (value.isArray()) {
        for (Json::Value& element : value)
            dropNulNames(element);
        return;
    }
    if (!value.isObject())
        return;
    for (const std::string& name : value.getMemberNames()) {
        if (name.find('\0') != std::string::npos)
            value.removeMember(name.data(), name.data() + name.size(), nullptr);
        else
            dropNulNames(value[name]);
    }
}

Json::Value parseJson(const std::string& text, bool* ok) {
    if (ok)
        *ok = false;
    size_t start = 0;
    if (text.size() >= 3 && static_cast<unsigned char>(text[0]) == 0xEF &&
        static_cast<unsigned char>(text[1]) == 0xBB && static_cast<unsigned char>(text[2]) == 0xBF)
        start = 3;
    const char* begin = text.data() + start;
    const char* end = text.data() + text.size();
    if (!nestingWithin(begin, static_cast<size_t>(end - begin), kMaxJsonDepth))
        return Json::Value();
    Json::Value root;
    bool parsed = false;
    // The depth check above keeps the parser's own limit out of reach; should it ever
    // throw all the same (its limit, a bad allocation), the text reads as invalid.
    try {
        Json::CharReaderBuilder builder;
        builder["stackLimit"] = kMaxJsonDepth * 2;
        std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
        std::string errors;
        parsed = reader->parse(begin, end, &root, &errors);
    } catch (const std::exception&) {
        parsed = false;
    }
    if (!parsed)
        return Json::Value();
    dropNulNames(root);
    if (ok)
        *ok = true;
    return root;
}

Json::Value readjsonFile(const std::string& path, JsonFileState& state, size_t maxBytes) {
    std::string text;
    state = stateOf(ReadRegularFile(path, text, maxBytes));
    if (state != JsonFileState::Ok)
        return Json::Value();
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

Json::Value ReadJsonKeepingDamaged(const std::string& path, JsonFileState& state, size_t maxBytes) {
    Json::Value value = readjsonFile(path, state, maxBytes);
    if (IsDamaged(state))
        KeepAside(path);
    return value;
}

std::string styledJson(const Json::Value& value) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    Json::StyledWriter writer;
    return writer.write(value);
#pragma GCC diagnostic pop
}

bool writejsonFile(const std::string& path, const Json::Value& value) {
    return WriteFileAtomic(path, styledJson(value));
}

} // namespace talyx
