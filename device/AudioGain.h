#pragma once

#include <array>
#include <cstdint>

namespace talyx {

// One frame of the audio recorder's analysis as the devices take it: the level and the
// bands, 0 to 65535 where 65535 is a full-scale sine.
inline constexpr int kAudioInputBands = 8;
struct AudioInput {
    uint16_t level = 0;
    std::array<uint16_t, kAudioInputBands> bands{};
};

// The same, scaled for the lights: 0 to 255.
struct AudioShown {
    uint8_t level = 0;
    std::array<uint8_t, kAudioInputBands> bands{};
};

// Automatic gain for sound-driven lighting, so quiet and loud music both fill the lights:
// each value is divided by a running peak that jumps up with the sound and falls back
// slowly (kReleaseMs to about a third) when the music gets quieter. The gain is limited
// (the peak never drops below kMinPeak), so faint noise is not blown up to full light, and
// anything below kGate reads as silence, so a quiet room leaves the lights at rest. The
// bands share one peak of their own, so their proportions stay as the sound has them.
class AudioGain {
public:
    static constexpr double kGate = 0.003;   // about -50 dB of full scale
    static constexpr double kMinPeak = 0.03; // at most about 30 dB of gain
    static constexpr double kReleaseMs = 3000;

    // `nowMs` is a monotonic clock in milliseconds.
    AudioShown Apply(const AudioInput& input, uint64_t nowMs);
    void Reset();

private:
    double m_levelPeak = kMinPeak;
    double m_bandPeak = kMinPeak;
    uint64_t m_lastMs = 0;
    bool m_started = false;
};

} // namespace talyx
