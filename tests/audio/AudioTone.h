#pragma once

#include <cstdint>

#include "device/AudioGain.h"

namespace talyx::test {

// The recorder's data for a tone at 1 kHz (band 4) of this amplitude (0 to 1), with a
// little spill into the other bands.
inline AudioInput Tone(double amplitude) {
    AudioInput in;
    in.level = static_cast<uint16_t>(amplitude * 65535);
    for (auto& b : in.bands)
        b = static_cast<uint16_t>(amplitude * 0.05 * 65535);
    in.bands[4] = in.level;
    return in;
}

} // namespace talyx::test
