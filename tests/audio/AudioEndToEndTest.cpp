// Sound to light through the whole chain: a sound server of the test's own (PulseAudio
// with two null outputs), the program with talyx-vdev's keyboard in the music mode, and
// the recorder the program starts. Silence leaves the keyboard's frames at the
// background, a tone played with the server's own player lifts them, and after the user
// picks the other output the lights follow the sound there.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <numeric>

#include <gtest/gtest.h>

#include "audio/WavFile.h"
#include "tests/app/ProgramProcess.h"
#include "tests/audio/SoundServer.h"
#include "tests/support/QtTestSupport.h"
#include "vdev/VdevFraming.h"
#include "vdev/VdevProcess.h"

namespace talyx {
namespace {

using test::waitUntil;

TEST(AudioEndToEnd, SilenceRestsAtTheBackgroundAToneLiftsTheLightsAndTheyFollowANewDefaultOutput) {
    QTemporaryDir dir;
    const QString root = test::privateRuntime(dir);
    test::SoundServer sound(root);
    if (!sound.start())
        GTEST_SKIP() << "PulseAudio could not be started here: " << sound.output().toStdString();
    // A tone of 1.5 s at 1 kHz, half of full scale.
    WavData tone;
    tone.sampleRate = 48000;
    tone.channels = 2;
    for (int n = 0; n < 72000; ++n) {
        const float x = static_cast<float>(0.5 * std::sin(2 * 3.14159265358979 * 1000 * n / 48000.0));
        tone.samples.push_back(x);
        tone.samples.push_back(x);
    }
    const QString toneFile = root + "/tone.wav";
    ASSERT_TRUE(WriteWav16(toneFile.toStdString(), tone));

    vdev::VdevProcess vdev;
    ASSERT_TRUE(vdev.start((root + "/hid").toStdString(), {"keyboard"})) << vdev.lastError();
    test::PrivateBus bus;
    if (!bus.start())
        GTEST_SKIP() << "dbus-daemon is not available";
    test::Program program(root, bus.address());
    program.setEnv("TALYX_HID_BUS", root + "/hid");
    program.start();

    // The music mode, through the automation interface once the keyboard is there.
    QProcessEnvironment ctlEnv = QProcessEnvironment::systemEnvironment();
    ctlEnv.insert("DBUS_SESSION_BUS_ADDRESS", bus.address());
    const bool modeSet = waitUntil(
        [&] {
            QProcess ctl;
            ctl.setProcessEnvironment(ctlEnv);
            ctl.start(QCoreApplication::applicationDirPath() + "/talyxctl", {"lighting", "--mode", "29"});
            return ctl.waitForFinished(30000) && ctl.exitCode() == 0;
        },
        40000);
    ASSERT_TRUE(modeSet) << program.errors().toStdString();

    // The brightness of the keyboard's last frame (all LEDs, all channels).
    auto lit = [&vdev] {
        std::vector<uint8_t> frame;
        vdev::FromHex(vdev.state()[0]["firmware"]["frame"]["last"].asString(), frame);
        return std::accumulate(frame.begin(), frame.end(), 0L);
    };
    auto frames = [&vdev] { return vdev.state()[0]["firmware"]["frame"]["count"].asUInt64(); };
    // Frames stream, and in silence they settle at the background.
    ASSERT_TRUE(waitUntil([&] { return frames() > 50; }, 10000)) << program.errors().toStdString();
    waitUntil([] { return false; }, 1000);
    const long background = lit();
    for (int i = 0; i < 10; ++i) {
        waitUntil([] { return false; }, 50);
        ASSERT_EQ(lit(), background) << "silence must leave the lights at rest";
    }

    struct Output {
        const char* name;
        bool change;
    };
    for (const Output& out : {Output{"one", false}, Output{"two", true}}) {
        SCOPED_TRACE(out.name);
        if (out.change) {
            // The user picks the other output; the recorder moves to its monitor.
            ASSERT_EQ(sound.run("pactl", {"set-default-sink", out.name}), 0);
            waitUntil([] { return false; }, 500);
        }
        sound.play(toneFile);
        EXPECT_TRUE(waitUntil([&] { return lit() > 2 * background + 2000; }, 3000))
            << "lit " << lit() << " at rest " << background << "\n"
            << program.errors().toStdString();
        // The tone ends; the bars fall back to the background.
        EXPECT_TRUE(waitUntil([&] { return lit() == background; }, 4000)) << "lit " << lit();
    }
    // Playing on the output that is no longer the default does not move the lights.
    ASSERT_EQ(sound.run("pactl", {"set-default-sink", "two"}), 0);
    QProcess elsewhere;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", root);
    env.insert("HOME", root);
    elsewhere.setProcessEnvironment(env);
    elsewhere.start("paplay", {"--device=one", toneFile});
    for (int i = 0; i < 20; ++i) {
        waitUntil([] { return false; }, 50);
        EXPECT_EQ(lit(), background);
    }
    elsewhere.waitForFinished(5000);
}

} // namespace
} // namespace talyx
