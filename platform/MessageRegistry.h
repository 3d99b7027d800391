#pragma once

#include <cstdint>
#include <string>

namespace talyx {

// Process-wide registry of named messages, as other programs know them.
// The same name (compared without regard to ASCII case) always gives the same id;
// ids are handed out from 0xC000 upwards and never pass 0xFFFF. Returns 0 when the
// range is exhausted or the name is empty. Thread-safe.
uint32_t RegisterWindowMessage(const std::string& name);

// The name registered under an id, or an empty string.
std::string RegisteredMessageName(uint32_t id);

inline constexpr uint32_t kFirstRegisteredMessage = 0xC000;
inline constexpr uint32_t kLastRegisteredMessage = 0xFFFF;

} // namespace talyx
