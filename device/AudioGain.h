#pragma once

#include <array>
#include <cstdint>

#include "device/LightTables.h"

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

// Sound-driven lighting of every family shares what follows: the gain above, the colours
// a device shows before its profile has chosen any, how long frames may stop before the
// lights take it for silence, how the bands spread over the lights, and the fall.

// The colours before the profile has an audio record: a dark blue rest, and the bars
// from the colour wheel (green at the bottom to red at the top).
inline constexpr LightRgb kAudioDefaultBackground{0, 0, 64};
inline constexpr LightRgb kAudioDefaultForeground{0, 255, 180};
inline constexpr bool kAudioDefaultWheel = true;
// Frames that stop coming for this long count as silence (the recorder hangs or died).
inline constexpr uint64_t kAudioStaleMs = 250;

// The band that light (or column) `index` of `count` shows: the lowest band on the first,
// the highest on the last.
int AudioBandFor(int index, int count);
// What a light shows of a band and the level (both 0 to 255): mostly its band, so the
// lights differ with the music, and a quarter of the level, so all move with the beat.
inline int AudioMix(int band, int level) {
    return (3 * band + level) / 4;
}

// The fall of a level meter: values jump up with the sound and sink at a steady pace by
// the clock, a full value (255) in kFallMs, whether frames come often or seldom (the
// remainder is carried to the next step).
class AudioFall {
public:
    static constexpr int kFallMs = 400;

    // How far (0 to 255) a value may sink since the last step; the first step after a
    // Reset lets it drop at once.
    int Step(uint64_t nowMs);
    void Reset();

private:
    uint64_t m_lastMs = 0;
    uint64_t m_remainder = 0;
    bool m_started = false;
};

} // namespace talyx
