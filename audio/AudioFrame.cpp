#include "audio/AudioFrame.h"

#include <ctime>

namespace talyx {
namespace {

void put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void putAt(uint8_t* at, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        at[i] = static_cast<uint8_t>(v >> (8 * i));
}
uint16_t get16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t get32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}
uint64_t get64(const uint8_t* p) {
    return static_cast<uint64_t>(get32(p)) | (static_cast<uint64_t>(get32(p + 4)) << 32);
}

} // namespace

void EncodeAudioFrame(const AudioFrame& frame, std::array<uint8_t, kAudioFrameBytes>& out) {
    putAt(out.data(), frame.sequence, 4);
    putAt(out.data() + 4, frame.timestampUs, 8);
    putAt(out.data() + 12, frame.level, 2);
    putAt(out.data() + 14, kAudioBands, 2);
    for (size_t i = 0; i < frame.bands.size(); ++i)
        putAt(out.data() + 16 + 2 * i, frame.bands[i], 2);
}

std::vector<uint8_t> EncodeAudioFrame(const AudioFrame& frame) {
    std::array<uint8_t, kAudioFrameBytes> bytes;
    EncodeAudioFrame(frame, bytes);
    return {bytes.begin(), bytes.end()};
}

std::vector<uint8_t> EncodeAudioState(const AudioStateReport& state) {
    std::vector<uint8_t> out;
    put32(out, state.sequence);
    put32(out, static_cast<uint32_t>(state.state));
    put32(out, state.sampleRate);
    const size_t n = std::min(state.source.size(), kAudioSourceNameMax);
    out.insert(out.end(), state.source.begin(), state.source.begin() + static_cast<std::ptrdiff_t>(n));
    return out;
}

bool DecodeAudioFrame(const uint8_t* data, size_t size, AudioFrame& out) {
    if (!data || size != kAudioFrameBytes || get16(data + 14) != kAudioBands)
        return false;
    AudioFrame f;
    f.sequence = get32(data);
    f.timestampUs = get64(data + 4);
    f.level = get16(data + 12);
    for (int i = 0; i < kAudioBands; ++i)
        f.bands[static_cast<size_t>(i)] = get16(data + 16 + 2 * i);
    out = f;
    return true;
}

bool DecodeAudioState(const uint8_t* data, size_t size, AudioStateReport& out) {
    if (!data || size < kAudioStateBytes || size > kAudioStateBytes + kAudioSourceNameMax)
        return false;
    const uint32_t state = get32(data + 4);
    if (state > static_cast<uint32_t>(AudioRecorderState::Paused))
        return false;
    AudioStateReport r;
    r.sequence = get32(data);
    r.state = static_cast<AudioRecorderState>(state);
    r.sampleRate = get32(data + 8);
    r.source.assign(reinterpret_cast<const char*>(data + kAudioStateBytes), size - kAudioStateBytes);
    out = std::move(r);
    return true;
}

uint64_t MonotonicMicros() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000u + static_cast<uint64_t>(ts.tv_nsec) / 1000u;
}

} // namespace talyx
