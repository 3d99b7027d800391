#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace talyx {

// The update server's reply to one query, as it came.
struct UpdateReply {
    std::string path;        // package url
    std::string name;        // empty: no update for this product
    std::string versionName; // shown for the application
    std::string version;     // number text, base 16 for firmware, 10 for the application
    int64_t deviceId = 0;
    std::string sha256; // optional: 64 hex digits the package must match, lower case
};

// The reply buffer of a query; a larger reply is not an answer.
inline constexpr size_t kUpdateReplyCapacity = 102400;

// Parses a reply. The reply is untrusted: anything but one JSON object whose members
// "path", "name", "version_name", "version" are strings, "device_id" an integer and
// "sha256" (when present) 64 hex digits gives false. Missing "version_name" and
// "device_id" read as empty and 0; with a non-empty "name", "version" and "path" must be
// there. White space and zero bytes may follow the object, nothing else.
bool ParseUpdateReply(const char* data, size_t size, UpdateReply& out);

} // namespace talyx
