#pragma once

#include <cstdint>

namespace talyx {

// The set-1 make code and 0xE0 prefix of a Linux input key code (KEY_*), as keyboard
// hooks report keys. False for keys without one.
bool Set1OfEvdevKey(int evdevCode, uint8_t& scanCode, bool& extended);

} // namespace talyx
