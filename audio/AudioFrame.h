#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace talyx {

// What the audio recorder sends the program, as the data of a CopyData call. Two kinds,
// told apart by dwData; every number is little-endian.
//
// Kind 1, a frame of analysed sound (kAudioFrameBytes = 32 bytes):
//   0..3    sequence number (one counter for both kinds, +1 per block sent)
//   4..11   time-stamp: microseconds of CLOCK_MONOTONIC when the last sample of the frame
//           was taken from the sound server (the program compares it with its own clock)
//   12..13  level: RMS of the frame, scaled so a full-scale sine is 65535
//   14..15  number of bands, kAudioBands
//   16..31  one 16-bit value per band, scaled as the level, lowest band first
// Kind 2, the recorder's state (12 to 12 + kAudioSourceNameMax bytes):
//   0..3    sequence number
//   4..7    state (AudioRecorderState)
//   8..11   sample rate of the capture (0 when there is none)
//   12..    name of the source captured, UTF-8, not terminated
// The recorder's name and object on the session bus (docs/dbus.md).
inline constexpr const char* kAudioRecorderService = "org.talyx.AudioRecorder";
inline constexpr const char* kAudioRecorderPath = "/org/talyx/AudioRecorder";

inline constexpr uint32_t kAudioDataFrame = 1;
inline constexpr uint32_t kAudioDataState = 2;
inline constexpr int kAudioBands = 8;
inline constexpr size_t kAudioFrameBytes = 16 + 2 * kAudioBands;
inline constexpr size_t kAudioStateBytes = 12;
inline constexpr size_t kAudioSourceNameMax = 256;

// Centre frequencies of the bands in Hz, an octave apart.
inline constexpr std::array<double, kAudioBands> kAudioBandHz = {63, 125, 250, 500, 1000, 2000, 4000, 8000};

struct AudioFrame {
    uint32_t sequence = 0;
    uint64_t timestampUs = 0;
    uint16_t level = 0;
    std::array<uint16_t, kAudioBands> bands{};
};

enum class AudioRecorderState : uint32_t {
    Capturing = 0,
    NoServer = 1, // no sound server could be reached
    NoOutput = 2, // the server has no default output to listen to
    Ended = 3,    // the file input has been read to its end
    Paused = 4,   // stopped by the program (command 2 or 4)
};

struct AudioStateReport {
    uint32_t sequence = 0;
    AudioRecorderState state = AudioRecorderState::Capturing;
    uint32_t sampleRate = 0;
    std::string source;
};

std::vector<uint8_t> EncodeAudioFrame(const AudioFrame& frame);
// The same into a buffer of the caller's, without allocating (the recorder's path).
void EncodeAudioFrame(const AudioFrame& frame, std::array<uint8_t, kAudioFrameBytes>& out);
std::vector<uint8_t> EncodeAudioState(const AudioStateReport& state);
// False, with `out` untouched, for a block of the wrong length or band count.
bool DecodeAudioFrame(const uint8_t* data, size_t size, AudioFrame& out);
// False for a block of the wrong length or an unknown state.
bool DecodeAudioState(const uint8_t* data, size_t size, AudioStateReport& out);

// Microseconds of CLOCK_MONOTONIC, the clock of the frames' time-stamps.
uint64_t MonotonicMicros();

} // namespace talyx
