#include "online/UpdateReply.h"

#include <exception>
#include <json/reader.h>
#include <memory>

namespace talyx {
namespace {

bool optionalString(const Json::Value& root, const char* key, std::string& out, bool required) {
    const Json::Value& v = root[key];
    if (v.isNull())
        return !required;
    if (!v.isString())
        return false;
    out = v.asString();
    return true;
}

bool isHexDigest(std::string& s) {
    if (s.size() != 64)
        return false;
    for (char& c : s) {
        if (c >= 'A' && c <= 'F')
            c = static_cast<char>(c - 'A' + 'a');
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

} // namespace

bool ParseUpdateReply(const char* data, size_t size, UpdateReply& out) {
    if (!data || size == 0 || size > kUpdateReplyCapacity)
        return false;
    while (size > 0 && (data[size - 1] == '\0' || data[size - 1] == ' ' || data[size - 1] == '\n' ||
                        data[size - 1] == '\r' || data[size - 1] == '\t'))
        --size;
    Json::CharReaderBuilder builder;
    Json::CharReaderBuilder::strictMode(&builder.settings_);
    builder.settings_["stackLimit"] = 32;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value root;
    std::string errors;
    try {
        if (!reader->parse(data, data + size, &root, &errors) || !root.isObject())
            return false;
    } catch (const std::exception&) {
        // Nesting deeper than the stack limit.
        return false;
    }
    UpdateReply reply;
    if (!optionalString(root, "name", reply.name, true) ||
        !optionalString(root, "version_name", reply.versionName, false))
        return false;
    const bool offered = !reply.name.empty();
    if (!optionalString(root, "version", reply.version, offered) ||
        !optionalString(root, "path", reply.path, offered) || !optionalString(root, "sha256", reply.sha256, false))
        return false;
    const Json::Value& id = static_cast<const Json::Value&>(root)["device_id"];
    if (!id.isNull()) {
        if (!id.isInt64() || !id.isIntegral())
            return false;
        reply.deviceId = id.asInt64();
    }
    if (!reply.sha256.empty() && !isHexDigest(reply.sha256))
        return false;
    out = reply;
    return true;
}

} // namespace talyx
