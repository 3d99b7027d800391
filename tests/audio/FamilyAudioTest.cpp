// The mouse's music mode against talyx-vdev's mouse on a virtual bus: the frames the mouse
// is sent rest at the background colour until sound comes, light up where the sound is
// (the tone's band brightest), and sink back to the same rest in silence, when the frames
// stop coming, and when the recorder stops.

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "device/CKestravaMouseDevice.h"
#include "device/DeviceIds.h"
#include "device/transport/VirtualBusBackend.h"
#include "platform/Paths.h"
#include "support/TestSupport.h"
#include "tests/audio/AudioTone.h"
#include "vdev/VdevFraming.h"
#include "vdev/VdevProcess.h"

namespace talyx {
namespace {

using vdev::VdevProcess;

constexpr int kMouseLights = 15;

using test::Tone;
using test::waitFor;

class FamilyAudio : public ::testing::Test {
protected:
    void SetUp() override {
        if (!FileExists(VdevProcess::ExecutablePath()))
            GTEST_SKIP() << "talyx-vdev not built at " << VdevProcess::ExecutablePath();
        ASSERT_TRUE(vdev.start(bus, {"mouse"})) << vdev.lastError();
        std::vector<std::string> paths;
        VirtualBusBackend(bus).enumerate(paths);
        for (const std::string& p : paths)
            if (p.find("pid_50ef") != std::string::npos && p.find("&col04") != std::string::npos)
                path = p;
        ASSERT_FALSE(path.empty()) << "no command collection of the mouse on the bus";
    }
    // The mouse's last frame: its lights' red, green and blue.
    std::vector<uint8_t> lights() {
        std::vector<uint8_t> frame;
        vdev::FromHex(vdev.state()[0]["firmware"]["frame"]["last"].asString(), frame);
        frame.resize(3 * kMouseLights);
        return frame;
    }
    uint64_t frameCount() { return vdev.state()[0]["firmware"]["frame"]["count"].asUInt64(); }
    static int brightness(const std::vector<uint8_t>& f, int light) {
        return f[3 * light] + f[3 * light + 1] + f[3 * light + 2];
    }
    // `ms` of the recorder's frames every 10 ms, as on the cable.
    static void play(CKestravaMouseDevice& mouse, const AudioInput& in, int ms) {
        for (int t = 0; t < ms; t += 10) {
            mouse.OnAudioFrame(in);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    // Waits until the frames on the bus show `want`.
    bool shows(const std::vector<uint8_t>& want, int timeoutMs = 1500) {
        return waitFor([&] { return lights() == want; }, timeoutMs);
    }

    test::ScratchDir scratch;
    const std::string bus = scratch.file("bus");
    test::ScopedEnv busEnv{"TALYX_HID_BUS", scratch.file("bus")};
    test::ScopedEnv dataEnv{"XDG_DATA_HOME", scratch.file("data")};
    VdevProcess vdev;
    std::string path;
};

TEST_F(FamilyAudio, TheMouseInItsMusicModeRestsAtTheBackgroundAndLightsUpWithTheSound) {
    CKestravaMouseDevice mouse;
    mouse.SetFamilyIndex(DeviceTypeMouse);
    mouse.SetFamilyName("mouse");
    mouse.SetLightCount(kMouseLights);
    ASSERT_TRUE(mouse.LoadProfile());
    EXPECT_FALSE(mouse.ShowsAudioMode());
    LightInfo light = mouse.CurrentLightInfo();
    const std::vector<PresetLightMode>& modes = mouse.PresetModes();
    light.selectItem = 0xFF;
    for (size_t i = 0; i < modes.size(); ++i)
        if (modes[i].value == 11)
            light.selectItem = static_cast<uint8_t>(i);
    ASSERT_NE(light.selectItem, 0xFF) << "the mouse offers its music mode";
    light.light = 4;
    mouse.ChangeLighting(light);
    ASSERT_TRUE(mouse.ShowsAudioMode()) << "the program runs the recorder for this mode";

    ASSERT_TRUE(mouse.Channel().OpenInterface(false, path));
    mouse.SetLightingControl(1);
    ASSERT_TRUE(mouse.StartCommandWorker());
    ASSERT_TRUE(mouse.StartLightThread());
    mouse.EnableFrames(true);
    ASSERT_TRUE(waitFor([&] { return frameCount() > 5; })) << "the mouse gets frames";

    // At rest, before any sound: every light the background colour, dimmed (the profile
    // has no audio record yet: the default dark blue).
    const std::vector<uint8_t> rest = lights();
    for (int i = 0; i < kMouseLights; ++i) {
        EXPECT_EQ(rest[3 * i], 0) << "light " << i << ": " << vdev::ToHex(rest);
        EXPECT_EQ(rest[3 * i + 1], 0) << "light " << i;
        EXPECT_GT(rest[3 * i + 2], 0) << "light " << i;
        EXPECT_LT(rest[3 * i + 2], kAudioDefaultBackground.b) << "light " << i << " is dimmed";
    }
    // Silence from the recorder leaves it there.
    play(mouse, AudioInput{}, 200);
    EXPECT_EQ(lights(), rest) << vdev::ToHex(lights());

    // A tone, quiet or loud (the gain fills the lights either way): the lights of its band
    // (8 and 9 show band 4 of 8) are the brightest, the others move with the level.
    for (double amplitude : {0.5, 0.03}) {
        SCOPED_TRACE(amplitude);
        mouse.OnAudioStopped();
        ASSERT_TRUE(shows(rest));
        play(mouse, Tone(amplitude), 200);
        ASSERT_TRUE(waitFor([&] { return brightness(lights(), 8) > 3 * brightness(rest, 8); }))
            << "lit " << vdev::ToHex(lights()) << "\nrest " << vdev::ToHex(rest);
        const std::vector<uint8_t> lit = lights();
        EXPECT_GT(brightness(lit, 8), brightness(lit, 0) + 100) << vdev::ToHex(lit);
        EXPECT_GT(brightness(lit, 9), brightness(lit, 14) + 100) << vdev::ToHex(lit);
        EXPECT_GT(brightness(lit, 0), brightness(rest, 0)) << "every light moves with the level: " << vdev::ToHex(lit);
        // Silence: back to the rest within the fall time.
        play(mouse, AudioInput{}, AudioFall::kFallMs + 50);
        EXPECT_TRUE(shows(rest, 500)) << vdev::ToHex(lights());
    }

    // Below the gate (a quiet room) nothing lights up.
    play(mouse, Tone(0.002), 300);
    EXPECT_EQ(lights(), rest) << vdev::ToHex(lights());

    // Frames that stop coming (the recorder hangs) count as silence: the light thread
    // lets the lights sink back by themselves.
    play(mouse, Tone(0.5), 100);
    ASSERT_TRUE(waitFor([&] { return brightness(lights(), 8) > 3 * brightness(rest, 8); }));
    EXPECT_TRUE(shows(rest, static_cast<int>(kAudioStaleMs) + AudioFall::kFallMs + 1000)) << vdev::ToHex(lights());

    // Another mode: the recorder's frames no longer move the lights.
    light.selectItem = 3; // static
    mouse.ChangeLighting(light);
    EXPECT_FALSE(mouse.ShowsAudioMode());
    ASSERT_TRUE(waitFor([&] { return lights() != rest; }));
    const std::vector<uint8_t> still = lights();
    play(mouse, Tone(0.5), 100);
    EXPECT_EQ(lights(), still);
    mouse.StopWorkers();
}

} // namespace
} // namespace talyx
