#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace talyx {

// Process-wide registry of named messages, as other programs know them.
// The same name (compared without regard to ASCII case) always gives the same id;
// ids are handed out from 0xC000 upwards and never pass 0xFFFF. Returns 0 when the
// range is exhausted or the name is empty. Thread-safe.
uint32_t RegisterWindowMessage(const std::string& name);

// The id of a name registered before, or 0; never registers it. Names that come from
// other programs are looked up this way: registering them would let any program grow
// the registry for good and use up the id range.
uint32_t FindRegisteredMessage(const std::string& name);

// How many names are registered.
size_t RegisteredMessageCount();

// The name registered under an id, or an empty string.
std::string RegisteredMessageName(uint32_t id);

inline constexpr uint32_t kFirstRegisteredMessage = 0xC000;
inline constexpr uint32_t kLastRegisteredMessage = 0xFFFF;

} // namespace talyx
