// Measures the program against the timed virtual keyboard (endpoints polled every 1 ms):
// how regularly frames arrive, and how quickly the interface thread answers a D-Bus
// Instance call while frames stream, while a 170-key table and a full macro image are
// written, and during wired/wireless hand-overs. It prints its figures; it fails only on
// gross breakage (no frames, no answers), never on a time.
//
// The window is shown on the platform in $TALYX_MEASURE_QPA (default offscreen; "xcb"
// under xvfb-run).
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QElapsedTimer>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <gtest/gtest.h>
#include <vector>

#include "platform/JsonFile.h"
#include "platform/Paths.h"
#include "profile/ProfileFiles.h"
#include "tests/app/ProgramProcess.h"
#include "tests/support/PreparedProfiles.h"
#include "vdev/VdevProcess.h"

namespace {

using talyx::test::PrivateBus;
using talyx::test::privateRuntime;
using talyx::test::Program;
using talyx::test::waitUntil;

// Devices on the bus, all unplugged at first; each phase plugs what it needs.
enum Device { kKeyboard = 0, kKeyboardReceiver = 1, kMouse = 2, kMouseReceiver = 3 };

struct Latency {
    std::vector<double> ms;
    int failed = 0;
    double percentile(double p) const {
        if (ms.empty())
            return 0;
        std::vector<double> sorted = ms;
        std::sort(sorted.begin(), sorted.end());
        const size_t i = std::min(sorted.size() - 1, static_cast<size_t>(p / 100.0 * sorted.size()));
        return sorted[i];
    }
    void print(const char* phase) const {
        std::printf("[ figure ] %-34s Instance calls %4zu  p50 %6.2f ms  p99 %6.2f ms  max %6.2f ms  failed %d\n",
                    phase, ms.size(), percentile(50), percentile(99), percentile(100), failed);
    }
};

class Measure : public ::testing::Test {
protected:
    void SetUp() override {
        if (!bus.start())
            GTEST_SKIP() << "dbus-daemon is not available";
        root = privateRuntime(runtime);
        setenv("XDG_DATA_HOME", (root + "/data").toLocal8Bit().constData(), 1);
        prepareProfile();
        const std::string busDir = root.toStdString() + "/bus";
        // 170 keys and the largest macro memory: the biggest key table and macro image.
        ASSERT_TRUE(vdev.start(busDir, {"keyboard", "keyboard-receiver", "mouse", "mouse-receiver"},
                               {"--unplugged", "--keys", "170", "--macro-units", "255"}))
            << vdev.lastError();
        connection = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(bus.address(), "measure"));
        ASSERT_TRUE(connection->isConnected());
        program = std::make_unique<Program>(root, bus.address());
        const QByteArray qpa = qgetenv("TALYX_MEASURE_QPA");
        QStringList env = {"TALYX_HID_BUS=" + QString::fromStdString(busDir), "TALYX_DEBUG=0"};
        if (!qpa.isEmpty())
            env << "QT_QPA_PLATFORM=" + QString::fromLocal8Bit(qpa);
        program->start(env);
    }
    void TearDown() override {
        if (program && program->process().state() != QProcess::NotRunning) {
            program->process().terminate();
            program->process().waitForFinished(5000);
        }
        vdev.stop();
    }

    // A macro of 8000 events bound to a key fills the keyboard's 32 KiB macro memory.
    void prepareProfile() {
        const std::string folder = talyx::FamilyDataDir("keyboard");
        std::vector<Json::Value> events;
        for (int i = 0; i < 4000; ++i) {
            events.push_back(talyx::test::MacroEvent("down", 1, 0x04, "5"));
            events.push_back(talyx::test::MacroEvent("up", 1, 0x04, "5"));
        }
        talyx::test::WriteMacroLibrary(folder, {{"Long", "long1", events}});
        Json::Value entry = talyx::readjsonFile(talyx::DefaultDocumentPath("keyboard"))["Device"][0];
        ASSERT_TRUE(entry.isObject());
        entry["KeyList"][65]["Assignment"] = 0x700000;
        entry["LightInfo"]["SelectItem"] = 5; // breathing: frames change every step
        talyx::test::WriteProfile(folder, "2026_01_01_00_00_00_001", "Measured", entry, true);
    }

    Json::Value device(int index) { return vdev.state()[index]; }
    uint64_t frames(int index) { return device(index)["firmware"]["frame"]["count"].asUInt64(); }
    bool request(const std::string& json) { return vdev.request(json)["ok"].asBool(); }
    bool plug(int index) { return request(R"({"cmd":"plug","device":)" + std::to_string(index) + "}"); }
    bool unplug(int index) { return request(R"({"cmd":"unplug","device":)" + std::to_string(index) + "}"); }

    // When the device completed its last frame (monotonic microseconds).
    double lastFrameUs(int index) {
        const Json::Value times = device(index)["firmware"]["frame"]["timesUs"];
        return times.size() ? times[times.size() - 1].asDouble() : 0;
    }
    // Median gap between the frames the device completed after sinceUs, in ms.
    double medianFrameGap(int index, double sinceUs) {
        const Json::Value times = device(index)["firmware"]["frame"]["timesUs"];
        std::vector<double> gaps;
        for (Json::ArrayIndex i = 1; i < times.size(); ++i)
            if (times[i - 1].asDouble() >= sinceUs)
                gaps.push_back((times[i].asDouble() - times[i - 1].asDouble()) / 1000.0);
        if (gaps.empty())
            return 0;
        std::sort(gaps.begin(), gaps.end());
        return gaps[gaps.size() / 2];
    }

    // Instance calls every ~10 ms for `ms` milliseconds.
    Latency callFor(int ms) {
        QDBusInterface app("org.talyx.RgbGamingKeyboard", "/org/talyx/RgbGamingKeyboard", "org.talyx.RgbGamingKeyboard",
                           *connection);
        Latency latency;
        QElapsedTimer total;
        total.start();
        while (total.elapsed() < ms) {
            QElapsedTimer one;
            one.start();
            const QDBusMessage reply = app.call("Instance", 0u, qlonglong(0));
            const double took = one.nsecsElapsed() / 1e6;
            if (reply.type() == QDBusMessage::ErrorMessage)
                ++latency.failed;
            else
                latency.ms.push_back(took);
            QTest::qWait(10);
        }
        return latency;
    }

    PrivateBus bus;
    QTemporaryDir runtime;
    QString root;
    talyx::vdev::VdevProcess vdev;
    std::unique_ptr<QDBusConnection> connection;
    std::unique_ptr<Program> program;
};

TEST_F(Measure, FramesAndInterfaceLatencyAgainstTheTimedKeyboard) {
    // The wired keyboard: page start, then frames every 10 ms.
    ASSERT_TRUE(plug(kKeyboard));
    ASSERT_TRUE(waitUntil([&] { return frames(kKeyboard) > 100; }, 20000)) << "no frames on the cable";
    const double wiredSince = lastFrameUs(kKeyboard);
    const Latency streaming = callFor(3000);
    const double wiredGap = medianFrameGap(kKeyboard, wiredSince);

    // Replugged: the page starts again and writes the 170-key table and the full macro image
    // while frames go on between its chunks.
    ASSERT_TRUE(unplug(kKeyboard));
    QTest::qWait(300);
    ASSERT_TRUE(request(R"({"cmd":"reset-counters","device":0})"));
    ASSERT_TRUE(plug(kKeyboard));
    const Latency writing = callFor(2500);
    const Json::Value commands = device(kKeyboard)["firmware"]["commands"];
    std::printf("[ figure ] page start wrote %d macro chunks and %d assignment chunks\n", commands["0x15"].asInt(),
                commands["0x09"].asInt());

    // The receiver arrives: the page hands over to it and starts again on it (its macro
    // image takes about 1.4 s in 24-byte chunks, and frames lose chunks meanwhile); then the
    // cable goes. The gaps are taken once that is over.
    ASSERT_TRUE(plug(kKeyboardReceiver));
    QTest::qWait(500);
    ASSERT_TRUE(unplug(kKeyboard));
    const uint64_t before = frames(kKeyboardReceiver);
    ASSERT_TRUE(waitUntil([&] { return frames(kKeyboardReceiver) > before + 60; }, 20000))
        << "no frames through the receiver";
    const double receiverSince = lastFrameUs(kKeyboardReceiver);
    const Latency receiver = callFor(3000);
    const double receiverGap = medianFrameGap(kKeyboardReceiver, receiverSince);

    // The mouse on its cable, then its receiver: the hand-over asks 26 times whether the
    // mouse is online (it never is on the virtual bus), 50 ms apart.
    ASSERT_TRUE(plug(kMouse));
    QTest::qWait(1500);
    ASSERT_TRUE(plug(kMouseReceiver));
    const Latency handOver = callFor(2500);

    std::printf("[ figure ] median frame gap on the cable        %6.2f ms (target 10 ms)\n", wiredGap);
    std::printf("[ figure ] median frame gap through the receiver %6.2f ms (target 50 ms)\n", receiverGap);
    streaming.print("streaming on the cable");
    writing.print("170-key table and 32 KiB macros");
    receiver.print("streaming through the receiver");
    handOver.print("wireless hand-over (26 tries)");

    EXPECT_GT(wiredGap, 0);
    EXPECT_GT(receiverGap, 0);
    for (const Latency* l : {&streaming, &writing, &receiver, &handOver}) {
        EXPECT_FALSE(l->ms.empty()) << "the window answered no call";
        EXPECT_EQ(l->failed, 0);
    }
}

} // namespace
