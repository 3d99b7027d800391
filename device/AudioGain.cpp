#include "device/AudioGain.h"

#include <algorithm>
#include <cmath>

namespace talyx {
namespace {

uint8_t toLight(double value, double peak) {
    return static_cast<uint8_t>(std::lround(std::clamp(value / peak, 0.0, 1.0) * 255.0));
}

} // namespace

void AudioGain::Reset() {
    m_levelPeak = kMinPeak;
    m_bandPeak = kMinPeak;
    m_started = false;
}

AudioShown AudioGain::Apply(const AudioInput& input, uint64_t nowMs) {
    // The peaks fall back by the time passed, so the gain does not depend on the frame rate.
    if (m_started && nowMs > m_lastMs) {
        const double fall = std::exp(-static_cast<double>(nowMs - m_lastMs) / kReleaseMs);
        m_levelPeak = std::max(kMinPeak, m_levelPeak * fall);
        m_bandPeak = std::max(kMinPeak, m_bandPeak * fall);
    }
    m_started = true;
    m_lastMs = nowMs;

    const double level = input.level / 65535.0;
    AudioShown out;
    if (level < kGate)
        return out;
    double loudestBand = 0;
    for (uint16_t b : input.bands)
        loudestBand = std::max(loudestBand, b / 65535.0);
    m_levelPeak = std::max(m_levelPeak, level);
    m_bandPeak = std::max(m_bandPeak, loudestBand);
    out.level = toLight(level, m_levelPeak);
    for (size_t i = 0; i < out.bands.size(); ++i)
        out.bands[i] = toLight(input.bands[i] / 65535.0, m_bandPeak);
    return out;
}

int AudioBandFor(int index, int count) {
    if (count <= 0)
        return 0;
    return std::clamp(index, 0, count - 1) * kAudioInputBands / count;
}

void AudioFall::Reset() {
    m_started = false;
    m_remainder = 0;
}

int AudioFall::Step(uint64_t nowMs) {
    int fall = 255;
    if (m_started) {
        const uint64_t passed = nowMs > m_lastMs ? nowMs - m_lastMs : 0;
        const uint64_t total = std::min<uint64_t>(passed, kFallMs) * 255 + m_remainder;
        fall = static_cast<int>(total / kFallMs);
        m_remainder = total % kFallMs;
    }
    m_started = true;
    m_lastMs = nowMs;
    return fall;
}

} // namespace talyx
