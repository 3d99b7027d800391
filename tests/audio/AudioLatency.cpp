// Measures sound to light (not a test): a PulseAudio of its own, talyx-vdev's keyboard in
// the music mode, the program and the recorder it starts. A player stream is opened and
// left silent; then, again and again, a tone is written into it and the time until the
// first frame on the keyboard's bus that shows it is taken (both on CLOCK_MONOTONIC: the
// virtual keyboard time-stamps each frame it receives). Prints the median and the 95th
// percentile, and the recorder's CPU use while it captures.
//
//   audio_latency [trials]

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <unistd.h>
#include <vector>

#include "audio/AudioFrame.h"
#include "tests/app/ProgramProcess.h"
#include "tests/audio/SoundServer.h"
#include "vdev/VdevFraming.h"
#include "vdev/VdevProcess.h"

using namespace talyx;

namespace {

long frameSum(const Json::Value& state) {
    std::vector<uint8_t> frame;
    vdev::FromHex(state[0]["firmware"]["frame"]["last"].asString(), frame);
    return std::accumulate(frame.begin(), frame.end(), 0L);
}

uint64_t lastFrameTime(const Json::Value& state) {
    const Json::Value& times = state[0]["firmware"]["frame"]["timesUs"];
    return times.size() ? times[times.size() - 1].asUInt64() : 0;
}

// utime + stime of a process, in clock ticks.
long cpuTicks(qint64 pid) {
    QFile f(QString("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QString text = QString::fromLatin1(f.readAll());
    const QStringList fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 12 ? fields[11].toLong() + fields[12].toLong() : -1;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int trials = argc > 1 ? std::max(5, atoi(argv[1])) : 40;
    QTemporaryDir dir;
    const QString root = test::privateRuntime(dir);
    test::SoundServer sound(root);
    if (!sound.start()) {
        std::fprintf(stderr, "PulseAudio could not be started\n");
        return 77;
    }
    vdev::VdevProcess vdev;
    test::PrivateBus bus;
    if (!vdev.start((root + "/hid").toStdString(), {"keyboard"}) || !bus.start()) {
        std::fprintf(stderr, "talyx-vdev or dbus-daemon could not be started\n");
        return 1;
    }
    test::Program program(root, bus.address());
    program.setEnv("TALYX_HID_BUS", root + "/hid");
    program.start();
    QProcessEnvironment ctlEnv = QProcessEnvironment::systemEnvironment();
    ctlEnv.insert("DBUS_SESSION_BUS_ADDRESS", bus.address());
    const bool modeSet = test::waitUntil(
        [&] {
            QProcess ctl;
            ctl.setProcessEnvironment(ctlEnv);
            ctl.start(QCoreApplication::applicationDirPath() + "/talyxctl", {"lighting", "--mode", "29"});
            return ctl.waitForFinished(30000) && ctl.exitCode() == 0;
        },
        40000);
    if (!modeSet) {
        std::fprintf(stderr, "the music mode could not be set\n");
        return 1;
    }
    // The player: one stream, silent until the tone is written.
    QProcess player;
    player.setProcessEnvironment(sound.environment());
    player.start("pacat",
                 {"--playback", "--raw", "--format=s16le", "--rate=48000", "--channels=1", "--latency-msec=10"});
    player.waitForStarted(5000);
    test::waitUntil([] { return false; }, 2000);
    const long rest = frameSum(vdev.state());

    // The recorder's CPU while it captures silence, over 10 s.
    QProcess pidQuery;
    pidQuery.setProcessEnvironment(ctlEnv);
    pidQuery.start("dbus-send",
                   {"--session", "--print-reply=literal", "--dest=org.freedesktop.DBus", "/org/freedesktop/DBus",
                    "org.freedesktop.DBus.GetConnectionUnixProcessID", "string:org.talyx.AudioRecorder"});
    pidQuery.waitForFinished(5000);
    const QStringList words = QString::fromUtf8(pidQuery.readAllStandardOutput()).split(' ', Qt::SkipEmptyParts);
    const qint64 recorderPid = words.isEmpty() ? 0 : words.last().toLongLong();
    const qint64 programPid = program.process().processId();
    const long r0 = cpuTicks(recorderPid), p0 = cpuTicks(programPid);
    test::waitUntil([] { return false; }, 10000);
    const long r1 = cpuTicks(recorderPid), p1 = cpuTicks(programPid);
    const double hz = static_cast<double>(sysconf(_SC_CLK_TCK));

    std::vector<double> latencies;
    std::vector<int16_t> tone(48000 * 3 / 10);
    for (size_t n = 0; n < tone.size(); ++n)
        tone[n] = static_cast<int16_t>(16000 * std::sin(2 * 3.14159265358979 * 1000 * n / 48000.0));
    for (int t = 0; t < trials; ++t) {
        // Silence until the lights are at rest again.
        test::waitUntil([&] { return frameSum(vdev.state()) == rest; }, 3000);
        test::waitUntil([] { return false; }, 200 + 37 * (t % 7));
        uint64_t seen = lastFrameTime(vdev.state());
        const uint64_t start = MonotonicMicros();
        player.write(reinterpret_cast<const char*>(tone.data()), static_cast<qint64>(tone.size() * 2));
        player.waitForBytesWritten(1000);
        uint64_t lit = 0;
        while (!lit && MonotonicMicros() - start < 2000000) {
            const Json::Value state = vdev.state();
            const uint64_t last = lastFrameTime(state);
            if (frameSum(state) > rest * 2 + 2000 && last > start)
                lit = last;
            seen = last;
            QCoreApplication::processEvents();
        }
        (void)seen;
        if (lit)
            latencies.push_back((lit - start) / 1000.0);
    }
    player.closeWriteChannel();
    player.kill();
    player.waitForFinished(2000);
    if (latencies.empty()) {
        std::fprintf(stderr, "no frame showed the tone\n");
        return 1;
    }
    std::sort(latencies.begin(), latencies.end());
    const auto pct = [&](double p) {
        return latencies[std::min(latencies.size() - 1, static_cast<size_t>(p * latencies.size()))];
    };
    std::printf("sound to light: %zu of %d tones, median %.1f ms, p95 %.1f ms, min %.1f ms, max %.1f ms\n",
                latencies.size(), trials, pct(0.5), pct(0.95), latencies.front(), latencies.back());
    if (recorderPid > 0 && r0 >= 0 && r1 >= 0)
        std::printf("talyx-audio CPU while capturing: %.2f %% of one core (10 s)\n", 100.0 * (r1 - r0) / hz / 10.0);
    if (p0 >= 0 && p1 >= 0)
        std::printf("talyx CPU in the music mode, silence: %.2f %% of one core (10 s)\n",
                    100.0 * (p1 - p0) / hz / 10.0);
    return 0;
}
