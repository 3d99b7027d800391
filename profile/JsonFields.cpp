#include "profile/JsonFields.h"

#include <cmath>
#include <limits>

namespace talyx {
namespace {

const Json::Value& nullValue() {
    static const Json::Value kNull;
    return kNull;
}

} // namespace

const Json::Value& MemberOf(const Json::Value& v, const char* key) {
    if (!v.isObject())
        return nullValue();
    const Json::Value* found = v.find(key, key + std::char_traits<char>::length(key));
    return found ? *found : nullValue();
}

const Json::Value& ElementOf(const Json::Value& v, Json::ArrayIndex i) {
    if (!v.isArray() || i >= v.size())
        return nullValue();
    return v[i];
}

int64_t JsonInteger(const Json::Value& v) {
    switch (v.type()) {
    case Json::intValue:
        return v.asInt64();
    case Json::uintValue:
        // Above the signed range the bits are kept, so narrowing still takes the low bytes.
        return static_cast<int64_t>(v.asUInt64());
    case Json::realValue: {
        const double d = v.asDouble();
        if (!std::isfinite(d))
            return 0;
        if (d >= 9.2e18)
            return std::numeric_limits<int64_t>::max();
        if (d <= -9.2e18)
            return std::numeric_limits<int64_t>::min();
        return static_cast<int64_t>(d);
    }
    case Json::booleanValue:
        return v.asBool() ? 1 : 0;
    default:
        return 0;
    }
}

uint8_t FieldU8(const Json::Value& object, const char* key) {
    return static_cast<uint8_t>(static_cast<uint64_t>(JsonInteger(MemberOf(object, key))));
}

uint16_t FieldU16(const Json::Value& object, const char* key) {
    return static_cast<uint16_t>(static_cast<uint64_t>(JsonInteger(MemberOf(object, key))));
}

int32_t FieldI32(const Json::Value& object, const char* key) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(JsonInteger(MemberOf(object, key)))));
}

uint32_t FieldU32(const Json::Value& object, const char* key) {
    return static_cast<uint32_t>(static_cast<uint64_t>(JsonInteger(MemberOf(object, key))));
}

bool FieldBool(const Json::Value& object, const char* key) {
    const Json::Value& v = MemberOf(object, key);
    if (v.isBool())
        return v.asBool();
    if (v.isNumeric())
        return v.asDouble() != 0.0;
    return false;
}

std::string FieldString(const Json::Value& object, const char* key) {
    const Json::Value& v = MemberOf(object, key);
    return v.isString() ? v.asString() : std::string();
}

Json::Value& ObjectMember(Json::Value& parent, const char* key) {
    if (!parent.isObject())
        parent = Json::Value(Json::objectValue);
    Json::Value& member = parent[key];
    if (!member.isObject())
        member = Json::Value(Json::objectValue);
    return member;
}

Json::Value& ArrayMember(Json::Value& parent, const char* key) {
    if (!parent.isObject())
        parent = Json::Value(Json::objectValue);
    Json::Value& member = parent[key];
    if (!member.isArray())
        member = Json::Value(Json::arrayValue);
    return member;
}

} // namespace talyx
