// The program's client of talyx-audio on a real session bus: it starts the recorder, takes
// only that recorder's data, stops it without waiting, gives up after a few deaths, and
// the recorder leaves when the program's bus name goes.

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QProcess>
#include <csignal>
#include <vector>

#include <gtest/gtest.h>

#include "app/AppBus.h"
#include "app/AudioRecorderClient.h"
#include "audio/AudioFrame.h"
#include "audio/WavFile.h"
#include "platform/Product.h"
#include "support/QtTestSupport.h"
#include "support/TestSupport.h"

namespace talyx {
namespace {

using State = AudioRecorderClient::State;

bool recorderOnBus() {
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(QStringLiteral("org.talyx.AudioRecorder"));
}

std::string toneFile(const test::ScratchDir& dir) {
    WavData d;
    d.sampleRate = 48000;
    d.channels = 1;
    d.samples.resize(48000);
    for (size_t n = 0; n < d.samples.size(); ++n)
        d.samples[n] = static_cast<float>(0.5 * std::sin(2 * 3.14159265358979 * 1000 * n / 48000.0));
    const std::string path = dir.file("tone.wav");
    EXPECT_TRUE(WriteWav16(path, d));
    return path;
}

TEST(RecorderClient, RunsOnlyWhileWantedTakesOnlyItsOwnRecordersDataAndGivesUpAfterDeaths) {
    if (!QDBusConnection::sessionBus().isConnected())
        GTEST_SKIP() << "no session bus (run under dbus-run-session)";
    test::ScratchDir dir;
    AppBus bus;
    ASSERT_TRUE(bus.Export());
    AudioRecorderClient client;
    bus.SetCopyDataHandler([&client](const QString& sender, uint32_t kind, const QByteArray& data) {
        client.OnCopyData(sender, kind, data);
    });
    std::vector<AudioInput> frames;
    std::vector<State> states;
    client.SetSinks([&frames](const AudioInput& in, uint64_t) { frames.push_back(in); },
                    [&states](State s) { states.push_back(s); });
    client.SetExtraArguments(
        {QStringLiteral("--wav"), QString::fromStdString(toneFile(dir)), QStringLiteral("--loop")});

    // Not wanted: nothing runs.
    client.SetWanted(false, 10000);
    EXPECT_FALSE(client.Running());

    // Wanted: the recorder comes, and its frames carry the tone at the lighting's pace.
    client.SetWanted(true, 10000);
    ASSERT_TRUE(test::waitUntil([&] { return frames.size() >= 30; }, 8000)) << "frames: " << frames.size();
    EXPECT_EQ(client.CurrentState(), State::Capturing);
    EXPECT_NEAR(frames.back().level / 65535.0, 0.5, 0.03);
    EXPECT_NEAR(frames.back().bands[4] / 65535.0, 0.5, 0.05);

    // Another program on the bus sends a block that is perfect in every other way: refused.
    const uint64_t accepted = client.AcceptedFrames();
    const uint64_t refused = client.RefusedBlocks();
    {
        QDBusConnection other = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("forger"));
        AudioFrame f;
        f.sequence = 0x7FFFFFF0;
        f.timestampUs = MonotonicMicros();
        f.level = 65535;
        const std::vector<uint8_t> bytes = EncodeAudioFrame(f);
        QDBusMessage call =
            QDBusMessage::createMethodCall(QDBusConnection::sessionBus().baseService(), QString::fromLatin1(kBusPath),
                                           QString::fromLatin1(kBusInterface), QStringLiteral("CopyData"));
        call << 1u << qulonglong(0) << QByteArray(reinterpret_cast<const char*>(bytes.data()), int(bytes.size()));
        other.call(call, QDBus::BlockWithGui, 2000);
        // Its own sender, wrong lengths and unknown kinds from our recorder's name are the
        // client's checks; a forged frame never reaches the lights.
        client.OnCopyData(QStringLiteral(":1.99999"), 1, QByteArray(reinterpret_cast<const char*>(bytes.data()), 32));
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("forger"));
    EXPECT_GE(client.RefusedBlocks(), refused + 2);
    test::waitUntil([&] { return client.AcceptedFrames() > accepted; }, 2000);
    EXPECT_TRUE(std::none_of(frames.begin(), frames.end(), [](const AudioInput& in) { return in.level == 65535; }));
    EXPECT_GT(client.AcceptedFrames(), accepted) << "the real recorder goes on";

    // Not wanted any more: the recorder leaves on its commands, well before the grace time.
    client.SetWanted(false, 10000);
    EXPECT_EQ(client.CurrentState(), State::Off);
    EXPECT_TRUE(test::waitUntil([&] { return !client.Running() && !recorderOnBus(); }, 900));

    // A recorder that keeps dying is restarted kMaxRestarts times, then given up.
    client.SetWanted(true, 10000);
    for (int death = 0; death <= AudioRecorderClient::kMaxRestarts; ++death) {
        ASSERT_TRUE(test::waitUntil([&] { return client.Running() && recorderOnBus(); }, 5000)) << "death " << death;
        ::kill(static_cast<pid_t>(client.ProcessId()), SIGKILL);
        ASSERT_TRUE(test::waitUntil([&] { return !client.Running(); }, 2000));
    }
    EXPECT_TRUE(test::waitUntil([&] { return client.CurrentState() == State::Unavailable; }, 3000));
    test::waitUntil([] { return false; }, AudioRecorderClient::kRestartDelayMs + 300);
    EXPECT_FALSE(client.Running()) << "no fourth restart";
    // Picking the audio mode again is a fresh start.
    client.SetWanted(false, 10000);
    client.SetWanted(true, 50000);
    EXPECT_TRUE(test::waitUntil([&] { return client.CurrentState() == State::Capturing; }, 5000));
    // Off and at once on again (a quick change of mode): the leaving recorder is followed by
    // a new one, not by none.
    const qint64 first = client.ProcessId();
    client.SetWanted(false, 50000);
    client.SetWanted(true, 50000);
    EXPECT_TRUE(test::waitUntil(
        [&] { return client.Running() && client.ProcessId() != first && client.CurrentState() == State::Capturing; },
        5000));
    client.Shutdown();
    EXPECT_FALSE(client.Running());
}

TEST(RecorderClient, TheRecorderLeavesWhenTheProgramsBusNameGoes) {
    if (!QDBusConnection::sessionBus().isConnected())
        GTEST_SKIP() << "no session bus (run under dbus-run-session)";
    test::ScratchDir dir;
    const QString name = QStringLiteral("owner");
    QString ownerName;
    {
        QDBusConnection owner = QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
        ASSERT_TRUE(owner.isConnected());
        ownerName = owner.baseService();
    }
    QProcess recorder;
    recorder.start(AudioRecorderClient::ProgramPath(),
                   {QStringLiteral("--owner"), ownerName, QStringLiteral("--wav"),
                    QString::fromStdString(toneFile(dir)), QStringLiteral("--loop")});
    ASSERT_TRUE(recorder.waitForStarted(3000));
    ASSERT_TRUE(test::waitUntil(recorderOnBus, 5000));
    // A recorder for a program that is not on the bus does not start at all.
    QProcess orphan;
    orphan.start(AudioRecorderClient::ProgramPath(), {QStringLiteral("--owner"), QStringLiteral(":1.424242")});
    ASSERT_TRUE(orphan.waitForFinished(3000));
    EXPECT_NE(orphan.exitCode(), 0);
    // The program goes (crashed, killed: its connection closes).
    QDBusConnection::disconnectFromBus(name);
    EXPECT_TRUE(recorder.waitForFinished(3000));
    EXPECT_EQ(recorder.exitCode(), 0);
}

} // namespace
} // namespace talyx
