#pragma once

#include <array>
#include <cstdint>

#include "profile/CBasicProfiledata.h"

namespace talyx {

// The keyboard's profile document: everything of the base, plus the settings block
// "SystemStages" with six 16-bit values, handed to the device code packed in pairs:
//   word 0 = Repeat (low half)    | RepeatDelay (high half)
//   word 1 = Key6Flag (low half)  | PollingRate (high half)
//   word 2 = WFlag (low half)     | WinFlag (high half)
class CKeyboardProfiledata : public CBasicProfiledata {
public:
    // Three zero words when the document has no "SystemStages".
    std::array<uint32_t, 3> GetSystemStages();
    void SetSystemStages(uint32_t w0, uint32_t w1, uint32_t w2);
    const std::array<uint32_t, 3>& CachedSystemStages() const { return m_systemWords; }
};

} // namespace talyx
