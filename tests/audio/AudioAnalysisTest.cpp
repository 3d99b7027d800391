// The recorder's analysis and its file input: known signals through talyx-audio's file
// path, the frame pacing of the analyser, the WAV parser on damaged files and the data
// layout the program checks.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "audio/AudioAnalyser.h"
#include "audio/AudioFrame.h"
#include "audio/WavFile.h"
#include "platform/Paths.h"
#include "support/TestSupport.h"

namespace talyx {
namespace {

constexpr double kPi = 3.14159265358979323846;

struct Tone {
    double hz;
    double amplitude;
};

WavData signal(uint32_t rate, int channels, double seconds, const std::vector<Tone>& tones) {
    WavData d;
    d.sampleRate = rate;
    d.channels = channels;
    const size_t frames = static_cast<size_t>(rate * seconds);
    d.samples.resize(frames * static_cast<size_t>(channels));
    for (size_t n = 0; n < frames; ++n) {
        double x = 0;
        for (const Tone& t : tones)
            x += t.amplitude * std::sin(2 * kPi * t.hz * static_cast<double>(n) / rate);
        for (int c = 0; c < channels; ++c)
            d.samples[n * static_cast<size_t>(channels) + static_cast<size_t>(c)] = static_cast<float>(x);
    }
    return d;
}

// talyx-audio --print over a file: one line per frame, "time level band0 .. band7".
std::vector<AudioFrame> runRecorder(const std::string& wav, int periodMs) {
    const std::string cmd = "'" + JoinPath(ExecutableDir(), "talyx-audio") + "' --print --period-ms " +
                            std::to_string(periodMs) + " --wav '" + wav + "'";
    std::vector<AudioFrame> frames;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p)
        return frames;
    char line[512];
    while (std::fgets(line, sizeof line, p)) {
        std::istringstream in(line);
        AudioFrame f;
        unsigned long long t = 0;
        unsigned v = 0;
        in >> t >> v;
        f.timestampUs = t;
        f.level = static_cast<uint16_t>(v);
        for (uint16_t& b : f.bands) {
            in >> v;
            b = static_cast<uint16_t>(v);
        }
        if (in)
            frames.push_back(f);
    }
    EXPECT_EQ(pclose(p), 0) << cmd;
    return frames;
}

double frac(uint16_t v) {
    return v / 65535.0;
}

TEST(AudioAnalysis, KnownSignalsThroughTheRecordersFileInput) {
    if (access(JoinPath(ExecutableDir(), "talyx-audio").c_str(), X_OK) != 0)
        GTEST_SKIP() << "talyx-audio is not built (it needs Qt)";
    test::ScratchDir dir;
    struct Case {
        const char* name;
        uint32_t rate;
        int channels;
        std::vector<Tone> tones;
        double level;          // expected level as a fraction of full scale
        std::vector<int> loud; // bands that carry the sound
    };
    const Case cases[] = {
        {"silence", 48000, 2, {}, 0.0, {}},
        {"1 kHz", 44100, 1, {{1000, 0.5}}, 0.5, {4}},
        // Two tones: the level adds their powers, each band shows its own tone only.
        {"125 Hz + 4 kHz", 48000, 2, {{125, 0.4}, {4000, 0.3}}, 0.5, {1, 6}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file(std::string(c.name) + ".wav");
        ASSERT_TRUE(WriteWav16(path, signal(c.rate, c.channels, 1.0, c.tones)));
        const std::vector<AudioFrame> frames = runRecorder(path, 10);
        // One frame per 10 ms of sound, time-stamped with the file's own time.
        ASSERT_EQ(frames.size(), 100u);
        EXPECT_EQ(frames[0].timestampUs, 10000u);
        EXPECT_EQ(frames[99].timestampUs, 1000000u);
        // After the filters have settled (a few frames), every frame reads the same.
        for (size_t i = 10; i < frames.size(); ++i) {
            const AudioFrame& f = frames[i];
            EXPECT_NEAR(frac(f.level), c.level, 0.02) << "frame " << i;
            for (int b = 0; b < kAudioBands; ++b) {
                const auto loud = std::find(c.loud.begin(), c.loud.end(), b);
                const double v = frac(f.bands[static_cast<size_t>(b)]);
                if (loud != c.loud.end()) {
                    // A tone at the band's centre reads at its own amplitude.
                    const Tone& t = c.tones[static_cast<size_t>(loud - c.loud.begin())];
                    EXPECT_NEAR(v, t.amplitude, 0.04) << "band " << b << " frame " << i;
                } else {
                    // Two octaves from a tone and more: well under a tenth of it.
                    const bool nextToTone =
                        std::any_of(c.loud.begin(), c.loud.end(), [b](int l) { return std::abs(l - b) == 1; });
                    EXPECT_LT(v, nextToTone ? 0.25 * c.level : 0.05 * std::max(c.level, 0.1))
                        << "band " << b << " frame " << i;
                }
            }
        }
        if (c.tones.empty()) {
            EXPECT_TRUE(std::all_of(frames.begin(), frames.end(), [](const AudioFrame& f) {
                return f.level == 0 && std::all_of(f.bands.begin(), f.bands.end(), [](uint16_t b) { return b == 0; });
            }));
        }
    }
}

TEST(AudioAnalysis, FramesKeepThePeriodWithoutDriftAndFollowAPeriodChange) {
    // 7 ms at 44.1 kHz is 308.7 samples: the frames must not drift by the fraction.
    AudioAnalyser a(44100, 7000);
    const WavData one = signal(44100, 1, 1.0, {{440, 0.2}});
    std::vector<uint64_t> ends;
    const auto sink = [&ends](AudioFrame&, uint64_t end) { ends.push_back(end); };
    // Fed in odd pieces, as the sound server hands them over.
    for (size_t at = 0; at < one.samples.size(); at += 333)
        a.Feed(one.samples.data() + at, std::min<size_t>(333, one.samples.size() - at), 1, sink);
    ASSERT_EQ(ends.size(), 142u); // 1000 ms / 7 ms
    EXPECT_EQ(ends[141], 142u * 7 * 44100 / 1000);
    // The wireless frame period, 50 ms, from the next frame on.
    a.SetFramePeriod(50000);
    ends.clear();
    a.Feed(one.samples.data(), one.samples.size(), 1, sink);
    ASSERT_FALSE(ends.empty());
    EXPECT_EQ(ends[1] - ends[0], 2205u);
    // Limits: a period out of range is clamped, a channel count out of range refused.
    a.SetFramePeriod(1);
    EXPECT_EQ(a.FramePeriodUs(), AudioAnalyser::kMinPeriodUs);
    ends.clear();
    a.Feed(one.samples.data(), 100, 9, sink);
    a.Feed(nullptr, 100, 1, sink);
    EXPECT_TRUE(ends.empty());
    // Not-a-number samples (a broken source) read as silence, not as a poisoned filter.
    AudioAnalyser b(48000, 10000);
    std::vector<float> bad(480, std::nanf(""));
    std::vector<AudioFrame> got;
    b.Feed(bad.data(), bad.size(), 1, [&got](AudioFrame& f, uint64_t) { got.push_back(f); });
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].level, 0);
}

TEST(AudioAnalysis, WavFilesOfEveryLayoutAndDamagedOnes) {
    auto header = [](uint16_t format, uint16_t channels, uint32_t rate, uint16_t bits, uint32_t dataBytes,
                     bool extensible = false) {
        std::string s = "RIFF";
        auto p16 = [&s](uint16_t v) { s.append({char(v & 0xFF), char(v >> 8)}); };
        auto p32 = [&s](uint32_t v) {
            for (int i = 0; i < 4; ++i)
                s.push_back(char((v >> (8 * i)) & 0xFF));
        };
        p32(0);
        s += "WAVE";
        s += "LIST"; // an unknown chunk of odd length, padded
        p32(3);
        s += "abc";
        s.push_back('\0');
        s += "fmt ";
        p32(extensible ? 40 : 16);
        p16(extensible ? 0xFFFE : format);
        p16(channels);
        p32(rate);
        p32(rate * channels * bits / 8);
        p16(static_cast<uint16_t>(channels * bits / 8));
        p16(bits);
        if (extensible) {
            p16(22);
            p16(bits);
            p32(3);
            p16(format);
            s.append(14, '\0');
        }
        s += "data";
        p32(dataBytes);
        return s;
    };
    std::string error;
    WavData d;
    // 24-bit stereo, extensible: -0.5 and the largest positive value.
    std::string f24 = header(1, 2, 48000, 24, 6, true) + std::string("\x00\x00\xC0\xFF\xFF\x7F", 6);
    ASSERT_TRUE(ParseWav(f24, d, error)) << error;
    ASSERT_EQ(d.Frames(), 1u);
    EXPECT_FLOAT_EQ(d.samples[0], -0.5f);
    EXPECT_NEAR(d.samples[1], 1.0f, 1e-6);
    // 32-bit float, with a value beyond full scale and a NaN: clamped and silenced.
    float fl[3] = {0.25f, 4.0f, std::nanf("")};
    std::string ffl = header(3, 1, 8000, 32, 12) + std::string(reinterpret_cast<const char*>(fl), 12);
    ASSERT_TRUE(ParseWav(ffl, d, error)) << error;
    EXPECT_EQ(d.samples, (std::vector<float>{0.25f, 1.0f, 0.0f}));
    // 8-bit unsigned; a data chunk that claims more than the file has keeps its whole frames.
    std::string f8 = header(1, 2, 22050, 8, 1000) + std::string("\x80\x00\xFF", 3);
    ASSERT_TRUE(ParseWav(f8, d, error)) << error;
    EXPECT_EQ(d.samples, (std::vector<float>{0.0f, -1.0f}));

    struct Bad {
        const char* name;
        std::string bytes;
    };
    const Bad bad[] = {
        {"empty", ""},
        {"not RIFF", "RIFX" + header(1, 1, 8000, 16, 0).substr(4)},
        {"A-law", header(6, 1, 8000, 8, 0)},
        {"12 bits", header(1, 1, 8000, 12, 0)},
        {"no channels", header(1, 0, 8000, 16, 0)},
        {"nine channels", header(1, 9, 8000, 16, 0)},
        {"rate 1 Hz", header(1, 1, 1, 16, 0)},
        {"no data chunk", header(1, 1, 8000, 16, 0).substr(0, header(1, 1, 8000, 16, 0).size() - 8)},
        {"format cut short", header(1, 1, 8000, 16, 0).substr(0, 30)},
    };
    for (const Bad& b : bad) {
        error.clear();
        EXPECT_FALSE(ParseWav(b.bytes, d, error)) << b.name;
        EXPECT_FALSE(error.empty()) << b.name;
    }
    // The file itself: missing, or not a regular file.
    EXPECT_FALSE(ReadWavFile("/nonexistent/x.wav", d, error));
    EXPECT_FALSE(ReadWavFile("/tmp", d, error));
    EXPECT_EQ(error, "not a regular file");
}

TEST(AudioAnalysis, DataBlocksRoundTripAndWrongOnesAreRefused) {
    AudioFrame f;
    f.sequence = 0x01020304;
    f.timestampUs = 0x1122334455667788ull;
    f.level = 40000;
    for (int i = 0; i < kAudioBands; ++i)
        f.bands[static_cast<size_t>(i)] = static_cast<uint16_t>(1000 * i + 7);
    std::vector<uint8_t> bytes = EncodeAudioFrame(f);
    ASSERT_EQ(bytes.size(), kAudioFrameBytes);
    EXPECT_EQ(bytes[0], 0x04); // little-endian
    EXPECT_EQ(bytes[4], 0x88);
    AudioFrame back;
    ASSERT_TRUE(DecodeAudioFrame(bytes.data(), bytes.size(), back));
    EXPECT_EQ(back.sequence, f.sequence);
    EXPECT_EQ(back.timestampUs, f.timestampUs);
    EXPECT_EQ(back.level, f.level);
    EXPECT_EQ(back.bands, f.bands);
    AudioFrame untouched;
    EXPECT_FALSE(DecodeAudioFrame(bytes.data(), bytes.size() - 1, untouched));
    bytes.push_back(0);
    EXPECT_FALSE(DecodeAudioFrame(bytes.data(), bytes.size(), untouched));
    bytes.pop_back();
    bytes[14] = 9; // band count
    EXPECT_FALSE(DecodeAudioFrame(bytes.data(), bytes.size(), untouched));
    EXPECT_EQ(untouched.level, 0);

    AudioStateReport s{7, AudioRecorderState::NoOutput, 48000, "null.monitor"};
    std::vector<uint8_t> st = EncodeAudioState(s);
    AudioStateReport sb;
    ASSERT_TRUE(DecodeAudioState(st.data(), st.size(), sb));
    EXPECT_EQ(sb.state, AudioRecorderState::NoOutput);
    EXPECT_EQ(sb.source, "null.monitor");
    st[4] = 99;
    EXPECT_FALSE(DecodeAudioState(st.data(), st.size(), sb));
    EXPECT_FALSE(DecodeAudioState(st.data(), 11, sb));
    std::vector<uint8_t> longName(kAudioStateBytes + kAudioSourceNameMax + 1, 0);
    EXPECT_FALSE(DecodeAudioState(longName.data(), longName.size(), sb));
}

} // namespace
} // namespace talyx
