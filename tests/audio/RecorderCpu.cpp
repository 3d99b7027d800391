// Measures the recorder's own cost while it captures (not a test): a PulseAudio of its
// own with a null output playing music-like sound, a private bus, and talyx-audio sending
// its frames to this tool, which stands in for the program. For each run it reads the
// kernel's counters of every thread of the recorder over the interval and prints the CPU
// time as a share of one core, the wake-ups per second (the times a thread went to sleep
// and was woken: voluntary context switches) and, apart, the preemptions per second (a
// busy machine takes the CPU away; they say more about the machine than the recorder),
// then the median of the runs.
//
//   audio_recorder_cpu [--runs N] [--seconds S] [--period-ms P] [--silence]
//                      [--player-latency-ms L] [--recorder PATH] [--floor]
//
// --floor measures audio_capture_floor in the recorder's place: the same capture without
// the analysis and the bus, what any capture costs on this machine.
//
// The player's latency matters: the server's output runs at the lowest latency any of its
// streams asks for, and a monitor delivers what the output renders as it renders it.

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QObject>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <vector>

#include "audio/AudioFrame.h"
#include "audio/WavFile.h"
#include "platform/Product.h"
#include "tests/app/ProgramProcess.h"
#include "tests/audio/SoundServer.h"

namespace {

using namespace talyx;

// The program's side of CopyData, counting frames.
class FrameCounter : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.talyx.RgbGamingKeyboard")
public:
    uint64_t frames = 0;
public slots:
    void CopyData(uint kind, qulonglong, const QByteArray&) {
        if (kind == 1)
            ++frames;
    }
};

struct ThreadCounters {
    QString name;
    uint64_t cpuNs = 0;
    uint64_t wakeups = 0;
    uint64_t preempted = 0;
};

// A "name: value" line of /proc/.../status.
uint64_t statusValue(const QString& status, const QString& key) {
    const int at = status.indexOf(key + ":");
    return at < 0 ? 0 : status.mid(at + key.size() + 1).section('\n', 0, 0).trimmed().toULongLong();
}

// Every thread of the process: on-CPU time (schedstat) and context switches (status).
std::map<QString, ThreadCounters> sample(qint64 pid) {
    std::map<QString, ThreadCounters> out;
    const QString tasks = QString("/proc/%1/task").arg(pid);
    for (const QString& tid : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(tasks + "/" + tid + "/schedstat");
        QFile status(tasks + "/" + tid + "/status");
        QFile comm(tasks + "/" + tid + "/comm");
        if (!stat.open(QIODevice::ReadOnly) || !status.open(QIODevice::ReadOnly) || !comm.open(QIODevice::ReadOnly))
            continue;
        const QStringList f = QString::fromLatin1(stat.readAll()).split(' ', Qt::SkipEmptyParts);
        const QString text = QString::fromLatin1(status.readAll());
        if (f.isEmpty())
            continue;
        out[tid] = {QString::fromLatin1(comm.readAll()).trimmed(), f[0].toULongLong(),
                    statusValue(text, "voluntary_ctxt_switches"), statusValue(text, "nonvoluntary_ctxt_switches")};
    }
    return out;
}

// Something like music: a bass line, a few tones and some noise, at about -12 dB.
WavData music(double seconds) {
    WavData d;
    d.sampleRate = 48000;
    d.channels = 1;
    const size_t n = static_cast<size_t>(seconds * d.sampleRate);
    d.samples.resize(n);
    std::mt19937 random(7);
    std::uniform_real_distribution<float> noise(-1.f, 1.f);
    for (size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / d.sampleRate;
        const double beat = std::fmod(t, 0.5) < 0.1 ? 1.0 : 0.3;
        const double x = 0.3 * beat * std::sin(2 * M_PI * 60 * t) + 0.1 * std::sin(2 * M_PI * 440 * t) +
                         0.05 * std::sin(2 * M_PI * 2500 * t) + 0.03 * noise(random);
        d.samples[i] = static_cast<float>(x);
    }
    return d;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int runs = 5;
    int seconds = 10;
    int periodMs = 10;
    bool silence = false;
    int playerLatencyMs = 0; // the player's default
    QString recorder = QCoreApplication::applicationDirPath() + "/talyx-audio";
    bool captureFloor = false;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        const bool more = i + 1 < args.size();
        if (args[i] == "--runs" && more)
            runs = std::max(1, args[++i].toInt());
        else if (args[i] == "--seconds" && more)
            seconds = std::max(1, args[++i].toInt());
        else if (args[i] == "--period-ms" && more)
            periodMs = std::clamp(args[++i].toInt(), 2, 100);
        else if (args[i] == "--silence")
            silence = true;
        else if (args[i] == "--player-latency-ms" && more)
            playerLatencyMs = std::max(1, args[++i].toInt());
        else if (args[i] == "--recorder" && more)
            recorder = args[++i];
        else if (args[i] == "--floor") {
            captureFloor = true;
            recorder = QCoreApplication::applicationDirPath() + "/audio_capture_floor";
        } else {
            std::fprintf(stderr, "usage: audio_recorder_cpu [--runs N] [--seconds S] [--period-ms P] [--silence] "
                                 "[--player-latency-ms L] [--recorder PATH] [--floor]\n");
            return 2;
        }
    }

    QTemporaryDir dir;
    const QString root = test::privateRuntime(dir);
    test::SoundServer sound(root);
    if (!sound.start()) {
        std::fprintf(stderr, "PulseAudio could not be started\n");
        return 77;
    }
    test::PrivateBus bus;
    if (!bus.start()) {
        std::fprintf(stderr, "dbus-daemon could not be started\n");
        return 77;
    }
    QDBusConnection connection = QDBusConnection::connectToBus(bus.address(), "owner");
    FrameCounter counter;
    if (!connection.isConnected() ||
        !connection.registerObject(QString::fromLatin1(kBusPath), &counter, QDBusConnection::ExportAllSlots)) {
        std::fprintf(stderr, "the private bus cannot be used\n");
        return 1;
    }
    const QString file = root + "/music.wav";
    if (!silence && !WriteWav16(file.toStdString(), music(seconds + 4.0))) {
        std::fprintf(stderr, "the sound file cannot be written\n");
        return 1;
    }
    std::printf("talyx-audio at %d ms frames, %s, %d s per run (%s)\n", periodMs, silence ? "silence" : "music",
                seconds, qPrintable(recorder));

    std::vector<double> cpu, wakeups, preemptions;
    for (int run = 1; run <= runs; ++run) {
        QProcess player;
        if (!silence) {
            player.setProcessEnvironment(sound.environment());
            QStringList playerArgs = {file};
            if (playerLatencyMs > 0)
                playerArgs.prepend(QString("--latency-msec=%1").arg(playerLatencyMs));
            player.start("paplay", playerArgs);
        }
        QProcess process;
        QProcessEnvironment env = sound.environment();
        env.insert("DBUS_SESSION_BUS_ADDRESS", bus.address());
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(recorder, {"--owner", connection.baseService(), "--period-ms", QString::number(periodMs)});
        counter.frames = 0;
        const auto running = [&] {
            return captureFloor ? process.readAllStandardOutput().contains("capturing") : counter.frames > 20;
        };
        if (!process.waitForStarted(5000) || !test::waitUntil(running, 10000)) {
            std::fprintf(stderr, "run %d: the recorder sent no frames\n", run);
            return 1;
        }
        // Settled: the stream runs at its final fragment size.
        test::waitUntil([] { return false; }, 1000);
        const qint64 pid = process.processId();
        const auto before = sample(pid);
        const uint64_t framesBefore = counter.frames;
        test::waitUntil([] { return false; }, seconds * 1000);
        const auto after = sample(pid);
        const uint64_t framesAfter = counter.frames;

        const ThreadCounters none;
        ThreadCounters sum;
        QString threads;
        for (const auto& [tid, a] : after) {
            const auto found = before.find(tid);
            const ThreadCounters& b = found != before.end() ? found->second : none;
            sum.cpuNs += a.cpuNs - b.cpuNs;
            sum.wakeups += a.wakeups - b.wakeups;
            sum.preempted += a.preempted - b.preempted;
            threads += QString(" %1 %2 %/%3")
                           .arg(a.name)
                           .arg(100.0 * (a.cpuNs - b.cpuNs) / (seconds * 1e9), 0, 'f', 2)
                           .arg((a.wakeups - b.wakeups) / static_cast<double>(seconds), 0, 'f', 1);
        }
        const double share = 100.0 * sum.cpuNs / (seconds * 1e9);
        cpu.push_back(share);
        wakeups.push_back(sum.wakeups / static_cast<double>(seconds));
        preemptions.push_back(sum.preempted / static_cast<double>(seconds));
        std::printf("run %d: %.2f %% of one core, %.1f wake-ups/s (%.1f preemptions/s), %.1f frames/s; threads:%s\n",
                    run, share, wakeups.back(), preemptions.back(),
                    (framesAfter - framesBefore) / static_cast<double>(seconds), qPrintable(threads));
        std::fflush(stdout);

        QDBusMessage quit = QDBusMessage::createMethodCall(QString::fromLatin1(kAudioRecorderService),
                                                           QString::fromLatin1(kAudioRecorderPath),
                                                           QString::fromLatin1(kAudioRecorderService), "Command");
        quit << 5u << qlonglong(0);
        if (captureFloor)
            process.terminate();
        else
            connection.call(quit, QDBus::Block, 2000);
        if (!process.waitForFinished(3000)) {
            process.kill();
            process.waitForFinished(1000);
        }
        player.kill();
        player.waitForFinished(2000);
    }
    std::printf("median of %d runs: %.2f %% of one core, %.1f wake-ups/s (%.1f preemptions/s)\n", runs, median(cpu),
                median(wakeups), median(preemptions));
    return 0;
}

#include "RecorderCpu.moc"
