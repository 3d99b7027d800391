#pragma once

#include <cstdint>
#include <string>

#include <json/value.h>

// Reading and writing members of documents that the user or another program may have
// edited. jsoncpp throws when an object member is asked of a number or an integer of
// a string; these helpers never do: a member that is missing or of the wrong kind
// reads as null, 0, false or "".
namespace talyx {

// v[key] when v is an object, else a null value.
const Json::Value& MemberOf(const Json::Value& v, const char* key);
// v[i] when v is an array holding index i, else a null value.
const Json::Value& ElementOf(const Json::Value& v, Json::ArrayIndex i);

// Any JSON number as a 64-bit integer (fractions cut, values beyond the range clamped),
// true as 1, everything else 0.
int64_t JsonInteger(const Json::Value& v);
// Narrowed to a field's width the way a C cast does it: 300 -> 44, -1 -> 255.
uint8_t FieldU8(const Json::Value& object, const char* key);
uint16_t FieldU16(const Json::Value& object, const char* key);
int32_t FieldI32(const Json::Value& object, const char* key);
uint32_t FieldU32(const Json::Value& object, const char* key);
// A flag: true, or a non-zero number.
bool FieldBool(const Json::Value& object, const char* key);
// A string member; numbers and other kinds give "".
std::string FieldString(const Json::Value& object, const char* key);

// parent[key], made an object first when it is anything else; parent itself is made an
// object when it is not one.
Json::Value& ObjectMember(Json::Value& parent, const char* key);
// parent[key], made an array first when it is anything else.
Json::Value& ArrayMember(Json::Value& parent, const char* key);

} // namespace talyx
