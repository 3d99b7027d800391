#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace talyx {

// A WAV file decoded to interleaved float samples (full scale ±1.0).
struct WavData {
    uint32_t sampleRate = 0;
    int channels = 0;
    std::vector<float> samples; // channels × frames
    size_t Frames() const { return channels > 0 ? samples.size() / static_cast<size_t>(channels) : 0; }
};

// What ReadWavFile takes at most.
inline constexpr size_t kWavFileCap = size_t(256) << 20;

// Parses a RIFF/WAVE file: integer PCM of 8, 16, 24 or 32 bits and float of 32 or 64
// bits, also in the extensible header; 1 to 8 channels, 8000 to 192000 Hz. The file is
// outside input: chunk sizes are checked against what is there, a data chunk cut short
// keeps its whole sample frames. False with a message in `error` for anything else.
bool ParseWav(const std::string& bytes, WavData& out, std::string& error);
// Reads and parses a regular file of at most kWavFileCap bytes.
bool ReadWavFile(const std::string& path, WavData& out, std::string& error);

// Writes 16-bit PCM (tests and demos make their signals with it). False when the file
// cannot be written.
bool WriteWav16(const std::string& path, const WavData& data);

} // namespace talyx
