#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>

#include "audio/AudioFrame.h"

namespace talyx {

// Turns a stream of samples into frames of a level and kAudioBands band levels, one frame
// per frame period of the lighting.
//
// Each frame measures only the samples of its own period (no longer window), so the light
// lags the sound by at most one period plus the filters' short delay. The bands come from
// a bank of band-pass filters (two cascaded second-order sections per band, an octave
// wide, unity gain at the centre), run on every sample: a tone at a band's centre reads as
// loud in that band as in the level, and an octave away about a fifth of it. Bands above
// 0.45 of the sample rate cannot be measured and stay 0.
//
// Not thread-safe: one thread feeds it.
class AudioAnalyser {
public:
    static constexpr uint32_t kMinPeriodUs = 2000;
    static constexpr uint32_t kMaxPeriodUs = 100000;

    // `sampleRate` in Hz (clamped to 8000..192000); the period is clamped to the limits above.
    AudioAnalyser(uint32_t sampleRate, uint32_t framePeriodUs);

    // Called for each frame completed: level and bands are set, sequence and time-stamp
    // are the caller's. `endSample` counts the samples fed since the start (or Reset) up to
    // and including the frame's last.
    using FrameSink = std::function<void(AudioFrame& frame, uint64_t endSample)>;

    // Interleaved samples of `channels` channels (1 to 8; others are refused), full scale
    // ±1.0. Channels are mixed to one before the analysis.
    void Feed(const float* interleaved, size_t sampleFrames, int channels, const FrameSink& sink);

    // Takes effect from the next frame.
    void SetFramePeriod(uint32_t framePeriodUs);
    uint32_t FramePeriodUs() const { return m_periodUs; }
    uint32_t SampleRate() const { return m_rate; }
    // Samples still to come before the frame in progress is complete.
    uint64_t SamplesToFrameEnd() const { return m_frameBoundary - m_samples; }
    // Forgets the filters' state and the frame in progress.
    void Reset();

private:
    struct Section {
        double b0 = 0, b2 = 0, a1 = 0, a2 = 0; // b1 is 0 for a band-pass
        double z1 = 0, z2 = 0;
        double run(double x);
    };
    struct Band {
        Section first, second;
        bool used = false;
        double energy = 0;
    };
    void finishFrame(const FrameSink& sink);

    uint32_t m_rate;
    uint32_t m_periodUs;
    std::array<Band, kAudioBands> m_bands;
    double m_energy = 0;
    uint64_t m_samples = 0;       // fed since the start
    uint64_t m_frameSamples = 0;  // in the frame in progress
    uint64_t m_frameBoundary = 0; // sample count at which the frame in progress ends
    uint64_t m_frames = 0;        // frames completed at this period
    uint64_t m_periodStart = 0;   // sample count at which the current period took effect
    void nextBoundary();
};

} // namespace talyx
