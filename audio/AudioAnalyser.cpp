#include "audio/AudioAnalyser.h"

#include <algorithm>
#include <cmath>

namespace talyx {
namespace {

constexpr double kPi = 3.14159265358979323846;
// An octave-wide band: Q = sqrt(2) / (2 - 1).
constexpr double kBandQ = 1.41421356237;
// Below this the filters' state is set to zero, so a silence after sound does not leave
// them computing with denormal numbers (which are many times slower).
constexpr double kDenormalFloor = 1e-25;

uint16_t scaled(double meanSquare) {
    // RMS times sqrt(2): a full-scale sine reads 1.0.
    const double v = std::sqrt(std::max(0.0, meanSquare) * 2.0);
    return static_cast<uint16_t>(std::lround(std::clamp(v, 0.0, 1.0) * 65535.0));
}

} // namespace

double AudioAnalyser::Section::run(double x) {
    // Transposed direct form II.
    const double y = b0 * x + z1;
    z1 = -a1 * y + z2;
    z2 = b2 * x - a2 * y;
    return y;
}

AudioAnalyser::AudioAnalyser(uint32_t sampleRate, uint32_t framePeriodUs)
    : m_rate(std::clamp<uint32_t>(sampleRate, 8000, 192000)),
      m_periodUs(std::clamp(framePeriodUs, kMinPeriodUs, kMaxPeriodUs)) {
    for (size_t i = 0; i < m_bands.size(); ++i) {
        Band& band = m_bands[i];
        const double f0 = kAudioBandHz[i];
        band.used = f0 < 0.45 * m_rate;
        if (!band.used)
            continue;
        const double w0 = 2 * kPi * f0 / m_rate;
        const double alpha = std::sin(w0) / (2 * kBandQ);
        const double a0 = 1 + alpha;
        Section s;
        s.b0 = alpha / a0;
        s.b2 = -alpha / a0;
        s.a1 = -2 * std::cos(w0) / a0;
        s.a2 = (1 - alpha) / a0;
        band.first = s;
        band.second = s;
    }
    Reset();
}

void AudioAnalyser::Reset() {
    for (Band& band : m_bands) {
        band.first.z1 = band.first.z2 = band.second.z1 = band.second.z2 = 0;
        band.energy = 0;
    }
    m_energy = 0;
    m_samples = 0;
    m_frameSamples = 0;
    m_frames = 0;
    m_periodStart = 0;
    nextBoundary();
}

void AudioAnalyser::SetFramePeriod(uint32_t framePeriodUs) {
    const uint32_t period = std::clamp(framePeriodUs, kMinPeriodUs, kMaxPeriodUs);
    if (period == m_periodUs)
        return;
    m_periodUs = period;
    // The frame in progress ends at the new length counted from its start.
    m_periodStart = m_samples - m_frameSamples;
    m_frames = 0;
    nextBoundary();
}

void AudioAnalyser::nextBoundary() {
    // Boundaries are worked out from the start of the period, not added up frame by frame,
    // so a period that is not a whole number of samples does not drift.
    const uint64_t next = (m_frames + 1) * static_cast<uint64_t>(m_periodUs) * m_rate / 1000000u;
    m_frameBoundary = m_periodStart + std::max<uint64_t>(next, 1);
    if (m_frameBoundary <= m_samples)
        m_frameBoundary = m_samples + 1;
}

void AudioAnalyser::Feed(const float* interleaved, size_t sampleFrames, int channels, const FrameSink& sink) {
    if (!interleaved || channels < 1 || channels > 8)
        return;
    const double mix = 1.0 / channels;
    for (size_t n = 0; n < sampleFrames; ++n) {
        double x = 0;
        const float* frame = interleaved + n * static_cast<size_t>(channels);
        for (int c = 0; c < channels; ++c)
            x += frame[c];
        x *= mix;
        if (!std::isfinite(x))
            x = 0;
        m_energy += x * x;
        for (Band& band : m_bands) {
            if (!band.used)
                continue;
            const double y = band.second.run(band.first.run(x));
            band.energy += y * y;
        }
        ++m_samples;
        ++m_frameSamples;
        if (m_samples >= m_frameBoundary)
            finishFrame(sink);
    }
}

void AudioAnalyser::finishFrame(const FrameSink& sink) {
    AudioFrame frame;
    const double count = static_cast<double>(std::max<uint64_t>(m_frameSamples, 1));
    frame.level = scaled(m_energy / count);
    for (size_t i = 0; i < m_bands.size(); ++i) {
        Band& band = m_bands[i];
        frame.bands[i] = band.used ? scaled(band.energy / count) : 0;
        band.energy = 0;
        for (Section* s : {&band.first, &band.second}) {
            if (std::abs(s->z1) < kDenormalFloor)
                s->z1 = 0;
            if (std::abs(s->z2) < kDenormalFloor)
                s->z2 = 0;
        }
    }
    m_energy = 0;
    m_frameSamples = 0;
    ++m_frames;
    nextBoundary();
    if (sink)
        sink(frame, m_samples);
}

} // namespace talyx
