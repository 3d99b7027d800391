// talyx-audio: the audio recorder companion of talyx. It listens to what the computer
// plays (or to a WAV file), measures a level and frequency bands once per lighting frame
// and sends them to the program on the session bus. The program starts it and stops it;
// it exits on its own when the program leaves the bus or dies.
//
// One thread does everything: a main loop polls the sound server's socket and the bus's
// socket together, and each frame is sent from the callback that computed it.

#include <pulse/mainloop.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <sys/prctl.h>

#include "audio/AudioAnalyser.h"
#include "audio/WavFile.h"
#include "audio/program/AudioRecorderService.h"
#include "audio/program/LoopPacer.h"
#include "audio/program/PulseSource.h"
#include "audio/program/WavSource.h"
#include "platform/Product.h"

namespace {

using namespace talyx;

void usage(FILE* to) {
    std::fprintf(to, "Usage: talyx-audio [--wav FILE [--loop]] [--period-ms N] [--owner BUSNAME]\n"
                     "       talyx-audio --print [--wav FILE] [--period-ms N] [--frames N]\n"
                     "  --wav FILE     read this WAV file instead of the sound server\n"
                     "  --loop         start the file again at its end\n"
                     "  --period-ms N  one frame every N ms (2 to 100, default 10)\n"
                     "  --owner NAME   the program's bus name (default org.talyx.RgbGamingKeyboard)\n"
                     "  --print        print the frames instead of sending them: a file is read\n"
                     "                 whole without pacing, the sound server for --frames frames\n");
}

void printFrame(const AudioFrame& f) {
    std::printf("%llu %u", static_cast<unsigned long long>(f.timestampUs), static_cast<unsigned>(f.level));
    for (uint16_t b : f.bands)
        std::printf(" %u", static_cast<unsigned>(b));
    std::printf("\n");
}

bool readNumber(const char* text, long low, long high, long& out) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (!end || *end != '\0' || end == text || v < low || v > high)
        return false;
    out = v;
    return true;
}

// The loop and what runs on it, freed in the right order: sources and the bus first,
// while the loop they use is still there.
class Loop {
public:
    Loop() : m_loop(pa_mainloop_new()) {}
    ~Loop() {
        if (m_loop)
            pa_mainloop_free(m_loop);
    }
    Loop(const Loop&) = delete;
    Loop& operator=(const Loop&) = delete;
    bool ok() const { return m_loop != nullptr; }
    pa_mainloop_api* api() const { return pa_mainloop_get_api(m_loop); }
    pa_mainloop* loop() const { return m_loop; }
    int run() {
        int rc = 0;
        if (pa_mainloop_run(m_loop, &rc) < 0)
            return 1;
        return rc;
    }

private:
    pa_mainloop* m_loop;
};

} // namespace

int main(int argc, char** argv) {
    // The program's end ends the recorder too, even when it had no time to say so.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    std::string wav;
    std::string owner = kBusName;
    bool loop = false;
    bool print = false;
    long periodMs = 10;
    long frames = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        bool ok = true;
        if (a == "--wav" && hasValue) {
            wav = argv[++i];
        } else if (a == "--owner" && hasValue) {
            owner = argv[++i];
        } else if (a == "--period-ms" && hasValue) {
            ok = readNumber(argv[++i], 2, 100, periodMs);
        } else if (a == "--frames" && hasValue) {
            ok = readNumber(argv[++i], 1, 1000000000L, frames);
        } else if (a == "--loop") {
            loop = true;
        } else if (a == "--print") {
            print = true;
        } else if (a == "--help") {
            usage(stdout);
            return 0;
        } else {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "talyx-audio: bad option %s\n", a.c_str());
            usage(stderr);
            return 2;
        }
    }
    const uint32_t periodUs = static_cast<uint32_t>(periodMs * 1000);

    WavData data;
    if (!wav.empty()) {
        std::string error;
        if (!ReadWavFile(wav, data, error)) {
            std::fprintf(stderr, "talyx-audio: %s: %s\n", wav.c_str(), error.c_str());
            return 1;
        }
        if (print) {
            WavSource::AnalyseAll(data, periodUs, [](AudioFrame& f) { printFrame(f); });
            return 0;
        }
    }

    LoopPacer pacer;
    Loop main;
    if (!main.ok()) {
        std::fprintf(stderr, "talyx-audio: no main loop\n");
        return 1;
    }
    pacer.Attach(main.loop());
    pa_mainloop_api* api = main.api();
    std::unique_ptr<AudioSource> source;
    if (!wav.empty()) {
        source = std::make_unique<WavSource>(api, std::move(data), wav, periodUs, loop);
    } else {
        auto pulse = std::make_unique<PulseSource>(api, periodUs);
        pulse->SetPacer(&pacer);
        source = std::move(pulse);
    }

    if (print) {
        // The server's capture to standard output, for trying the capture by hand.
        long left = frames > 0 ? frames : -1;
        source->SetCallbacks(
            [&left, api](AudioFrame& f) {
                if (left == 0)
                    return;
                printFrame(f);
                std::fflush(stdout);
                if (left > 0 && --left == 0)
                    api->quit(api, 0);
            },
            [](const AudioStateReport& s) {
                std::fprintf(stderr, "talyx-audio: state %u %s\n", static_cast<unsigned>(s.state), s.source.c_str());
            });
        if (!source->Start())
            return 1;
        const int rc = main.run();
        source.reset();
        return rc;
    }

    AudioRecorderService service(api, std::move(source), owner);
    if (!service.Run())
        return 1;
    pacer.SetBeforeWait([&service] { service.FlushData(); });
    const int rc = main.run();
    service.Finish();
    return rc;
}
