#include "audio/WavFile.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/FileIO.h"

namespace talyx {
namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatFloat = 3;
constexpr uint16_t kFormatExtensible = 0xFFFE;

uint16_t get16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t get32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

float sampleAt(const unsigned char* p, uint16_t format, int bits) {
    if (format == kFormatFloat) {
        if (bits == 32) {
            float f;
            std::memcpy(&f, p, 4);
            return std::isfinite(f) ? std::clamp(f, -1.0f, 1.0f) : 0.0f;
        }
        double d;
        std::memcpy(&d, p, 8);
        return std::isfinite(d) ? static_cast<float>(std::clamp(d, -1.0, 1.0)) : 0.0f;
    }
    switch (bits) {
    case 8:
        return (static_cast<int>(p[0]) - 128) / 128.0f;
    case 16:
        return static_cast<int16_t>(get16(p)) / 32768.0f;
    case 24: {
        int32_t v = static_cast<int32_t>(p[0] | (p[1] << 8) | (p[2] << 16));
        if (v & 0x800000)
            v -= 0x1000000;
        return static_cast<float>(v) / 8388608.0f;
    }
    default:
        return static_cast<float>(static_cast<int32_t>(get32(p)) / 2147483648.0);
    }
}

} // namespace

bool ParseWav(const std::string& bytes, WavData& out, std::string& error) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t size = bytes.size();
    if (size < 12 || std::memcmp(p, "RIFF", 4) != 0 || std::memcmp(p + 8, "WAVE", 4) != 0) {
        error = "not a WAV file (no RIFF/WAVE header)";
        return false;
    }
    uint16_t format = 0, channels = 0, bits = 0, blockAlign = 0;
    uint32_t rate = 0;
    bool haveFormat = false;
    size_t at = 12;
    while (at + 8 <= size) {
        const unsigned char* chunk = p + at;
        const uint32_t length = get32(chunk + 4);
        const size_t body = at + 8;
        const size_t available = size - body;
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (length < 16 || length > available) {
                error = "the format chunk is damaged";
                return false;
            }
            format = get16(p + body);
            channels = get16(p + body + 2);
            rate = get32(p + body + 4);
            blockAlign = get16(p + body + 12);
            bits = get16(p + body + 14);
            if (format == kFormatExtensible) {
                if (length < 40) {
                    error = "the extensible format chunk is too short";
                    return false;
                }
                format = get16(p + body + 24);
            }
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!haveFormat) {
                error = "the data chunk comes before the format";
                return false;
            }
            const bool intOk = format == kFormatPcm && (bits == 8 || bits == 16 || bits == 24 || bits == 32);
            const bool floatOk = format == kFormatFloat && (bits == 32 || bits == 64);
            if (!intOk && !floatOk) {
                error =
                    "unsupported sample format " + std::to_string(format) + " with " + std::to_string(bits) + " bits";
                return false;
            }
            if (channels < 1 || channels > 8 || rate < 8000 || rate > 192000) {
                error =
                    "unsupported layout: " + std::to_string(channels) + " channels at " + std::to_string(rate) + " Hz";
                return false;
            }
            const size_t bytesPerSample = bits / 8u;
            if (blockAlign != bytesPerSample * channels) {
                error = "the block size does not match the sample format";
                return false;
            }
            // A data chunk longer than the file (a recording cut off) keeps what is there.
            const size_t dataBytes = std::min<size_t>(length, available);
            const size_t frames = dataBytes / blockAlign;
            WavData data;
            data.sampleRate = rate;
            data.channels = channels;
            data.samples.resize(frames * channels);
            const unsigned char* s = p + body;
            for (size_t i = 0; i < data.samples.size(); ++i, s += bytesPerSample)
                data.samples[i] = sampleAt(s, format, bits);
            out = std::move(data);
            return true;
        }
        // Chunks are padded to an even length.
        const size_t next = body + static_cast<size_t>(length) + (length & 1u);
        if (next <= at || next > size)
            break;
        at = next;
    }
    error = haveFormat ? "the file has no sound data" : "the file has no format chunk";
    return false;
}

bool ReadWavFile(const std::string& path, WavData& out, std::string& error) {
    std::string bytes;
    switch (ReadRegularFile(path, bytes, kWavFileCap)) {
    case FileReadResult::Ok:
        return ParseWav(bytes, out, error);
    case FileReadResult::TooLarge:
        error = "the file is larger than " + std::to_string(kWavFileCap >> 20) + " MiB";
        return false;
    case FileReadResult::NotRegular:
        error = "not a regular file";
        return false;
    default:
        error = "cannot be read";
        return false;
    }
}

bool WriteWav16(const std::string& path, const WavData& data) {
    if (data.channels < 1 || data.channels > 8)
        return false;
    const uint32_t dataBytes = static_cast<uint32_t>(data.samples.size() * 2);
    std::string out;
    auto put16 = [&out](uint16_t v) {
        out.push_back(static_cast<char>(v & 0xFF));
        out.push_back(static_cast<char>(v >> 8));
    };
    auto put32 = [&out](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    };
    out += "RIFF";
    put32(36 + dataBytes);
    out += "WAVEfmt ";
    put32(16);
    put16(kFormatPcm);
    put16(static_cast<uint16_t>(data.channels));
    put32(data.sampleRate);
    put32(data.sampleRate * 2u * static_cast<uint32_t>(data.channels));
    put16(static_cast<uint16_t>(2 * data.channels));
    put16(16);
    out += "data";
    put32(dataBytes);
    for (float s : data.samples)
        put16(static_cast<uint16_t>(
            static_cast<int16_t>(std::lround(std::clamp(s, -1.0f, 32767.0f / 32768.0f) * 32768.0f))));
    return WriteFileAtomic(path, out);
}

} // namespace talyx
