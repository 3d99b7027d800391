// talyx-audio: the audio recorder companion of talyx. It listens to what the computer
// plays (or to a WAV file), measures a level and frequency bands once per lighting frame
// and sends them to the program on the session bus. The program starts it and stops it;
// it exits on its own when the program leaves the bus or dies.

#include <QCoreApplication>
#include <QStringList>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <sys/prctl.h>

#include "audio/AudioAnalyser.h"
#include "audio/WavFile.h"
#include "audio/program/AudioRecorderService.h"
#include "audio/program/WavSource.h"
#include "platform/Product.h"
#ifdef TALYX_HAVE_PULSE
#include "audio/program/PulseSource.h"
#endif

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

} // namespace

int main(int argc, char** argv) {
    // The program's end ends the recorder too, even when it had no time to say so.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    args.removeFirst();
    QString wav;
    QString owner = QString::fromLatin1(kBusName);
    bool loop = false;
    bool print = false;
    long periodMs = 10;
    long frames = 0;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool hasValue = i + 1 < args.size();
        bool ok = true;
        if (a == QLatin1String("--wav") && hasValue) {
            wav = args[++i];
        } else if (a == QLatin1String("--owner") && hasValue) {
            owner = args[++i];
        } else if (a == QLatin1String("--period-ms") && hasValue) {
            periodMs = args[++i].toLong(&ok);
            ok = ok && periodMs >= 2 && periodMs <= 100;
        } else if (a == QLatin1String("--frames") && hasValue) {
            frames = args[++i].toLong(&ok);
            ok = ok && frames > 0;
        } else if (a == QLatin1String("--loop")) {
            loop = true;
        } else if (a == QLatin1String("--print")) {
            print = true;
        } else if (a == QLatin1String("--help")) {
            usage(stdout);
            return 0;
        } else {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "talyx-audio: bad option %s\n", qPrintable(a));
            usage(stderr);
            return 2;
        }
    }
    const uint32_t periodUs = static_cast<uint32_t>(periodMs * 1000);

    std::unique_ptr<AudioSource> source;
    if (!wav.isEmpty()) {
        WavData data;
        std::string error;
        if (!ReadWavFile(wav.toStdString(), data, error)) {
            std::fprintf(stderr, "talyx-audio: %s: %s\n", qPrintable(wav), error.c_str());
            return 1;
        }
        if (print) {
            WavSource::AnalyseAll(data, periodUs, [](AudioFrame& f) { printFrame(f); });
            return 0;
        }
        source = std::make_unique<WavSource>(std::move(data), wav.toStdString(), periodUs, loop);
    } else {
#ifdef TALYX_HAVE_PULSE
        source = std::make_unique<PulseSource>(periodUs);
#else
        std::fprintf(stderr, "talyx-audio: built without sound server support; use --wav\n");
        return 1;
#endif
    }

    if (print) {
        // The server's capture to standard output, for trying the capture by hand.
        long left = frames > 0 ? frames : -1;
        source->SetCallbacks(
            [&left](AudioFrame& f) {
                QMetaObject::invokeMethod(QCoreApplication::instance(), [f, &left] {
                    if (left == 0)
                        return;
                    printFrame(f);
                    std::fflush(stdout);
                    if (left > 0 && --left == 0)
                        QCoreApplication::exit(0);
                });
            },
            [](const AudioStateReport& s) {
                std::fprintf(stderr, "talyx-audio: state %u %s\n", static_cast<unsigned>(s.state), s.source.c_str());
            });
        if (!source->Start())
            return 1;
        const int rc = app.exec();
        source.reset();
        return rc;
    }

    AudioRecorderService service(std::move(source), owner);
    if (!service.Run())
        return 1;
    return app.exec();
}
