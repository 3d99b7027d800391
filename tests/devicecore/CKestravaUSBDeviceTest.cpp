#include "device/CKestravaUSBDevice.h"

#include <map>

#include <gtest/gtest.h>

#include "FakeHid.h"
#include "device/DeviceButton.h"
#include "device/DeviceHost.h"
#include "device/LightTables.h"
#include "platform/Clock.h"
#include "platform/Debug.h"
#include "platform/MessageTarget.h"
#include "platform/Paths.h"
#include "support/TestSupport.h"

namespace talyx {
namespace {

using test::FakeBackend;
using test::Packet;
using test::Reply;

const char* kWired = "kbd0#vid_320f&pid_5078&mi_01&col04";
const char* kWireless = "kbr0#vid_320f&pid_50ec&mi_01&col04";

struct FakeButton : DeviceButton {
    bool visible = true;
    bool enabled = true;
    int shown = 0;
    LightColour last{};
    bool isVisible() const override { return visible; }
    void showLightColour(uint8_t r, uint8_t g, uint8_t b, uint8_t a) override {
        ++shown;
        last = {r, g, b, a};
    }
    void setEnabled(bool e) override { enabled = e; }
};

struct FakeHost : DeviceHost {
    std::vector<std::pair<std::string, DeviceButton*>> buttons;
    bool hasPanel = true;
    std::vector<std::pair<int, int>> timers;
    std::vector<std::pair<std::string, int>> tabs;
    std::vector<int> sleeps;
    int battery = -1;
    bool panelButtons(std::vector<std::pair<std::string, DeviceButton*>>& out) override {
        out = buttons;
        return hasPanel;
    }
    void armSelectorTimer(int id, int ms) override { timers.emplace_back(id, ms); }
    int selectorIndex() const override { return 3; }
    void selectTab(const std::string& layout, int index) override { tabs.emplace_back(layout, index); }
    void showBatteryIndicator(bool shown) override { battery = shown; }
    void sleepMs(int ms) override { sleeps.push_back(ms); }
};

struct FakeWindow : MessageTarget {
    std::vector<std::tuple<uint32_t, WPARAM, LPARAM>> posted;
    bool postMessage(uint32_t msg, WPARAM w, LPARAM l) override {
        posted.emplace_back(msg, w, l);
        return true;
    }
    LRESULT sendMessage(uint32_t, WPARAM, LPARAM) override { return 0; }
};

// Counts the settings re-application that the hand-over asks of the device class.
struct CountingDevice : CKestravaUSBDevice {
    using CKestravaUSBDevice::CKestravaUSBDevice;
    int reapplied = 0;
    void ReapplySettings() override { ++reapplied; }
};

class DeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetCurrentClock(&clock);
        backend = std::make_shared<FakeBackend>();
        device = std::make_unique<CountingDevice>(backend);
        device->SetHost(&host);
        device->SetMainWindow(&window);
        device->SetLightCount(170);
        device->SetKeyCount(170);
    }
    void TearDown() override { SetCurrentClock(nullptr); }

    SupportedDeviceEntry entry(uint16_t code) {
        SupportedDeviceEntry e;
        e.vendorId = 0x320F;
        e.productId = code == 9 ? 0x50EC : 0x5078;
        e.productCode = code;
        return e;
    }

    ManualClock clock;
    FakeHost host;
    FakeWindow window;
    std::shared_ptr<FakeBackend> backend;
    std::unique_ptr<CountingDevice> device;
};

TEST(StepWrapped, WrapsBothWays) {
    EXPECT_EQ(CKestravaUSBDevice::StepWrapped(127, 128, true), 0);
    EXPECT_EQ(CKestravaUSBDevice::StepWrapped(5, 128, true), 6);
    EXPECT_EQ(CKestravaUSBDevice::StepWrapped(0, 128, false), 127);
    EXPECT_EQ(CKestravaUSBDevice::StepWrapped(5, 192, false), 4);
}

TEST_F(DeviceTest, BreathingBackwardRunsDownAndAdvancesTheColourAtEachWrap) {
    device->SetLightingValues(4, 2, /*direction*/ 0, /*wheel*/ 1);
    std::vector<int> steps;
    std::vector<int> colours;
    for (int i = 0; i < 130; ++i) {
        device->GenerateBreathing();
        steps.push_back(device->StepIndex());
        colours.push_back(device->ColourIndex());
    }
    EXPECT_EQ(steps[0], 127);
    EXPECT_EQ(steps[1], 126);
    EXPECT_EQ(steps[127], 0);
    EXPECT_EQ(steps[128], 127);
    EXPECT_EQ(colours[126], 0);
    EXPECT_EQ(colours[127], 16); // reached 0: next colour
    EXPECT_EQ(colours[128], 16);

    // Colour and brightness of the last step: wheel at 16, curve[126] × 255 / 256.
    const LightColour c = device->GetLightColour(169);
    EXPECT_EQ(c.r, kColourWheel[16].r);
    EXPECT_EQ(c.g, kColourWheel[16].g);
    EXPECT_EQ(c.brightness, kBreathingCurve[126] * 255 / 256);

    // The colour index wraps to 0 after 192.
    for (int i = 0; i < 11 * 128; ++i)
        device->GenerateBreathing();
    EXPECT_EQ(device->ColourIndex(), 0);
}

TEST_F(DeviceTest, BreathingFourColoursAndCustomColour) {
    device->SetLightingValues(2, 2, 1, 0);
    device->SetCustomColour(10, 20, 30);
    device->GenerateBreathing();
    LightColour c = device->GetLightColour(0);
    EXPECT_EQ(c.r, 10);
    EXPECT_EQ(c.b, 30);
    EXPECT_EQ(c.brightness, kBreathingCurve[1] * 135 / 256);

    device->ResetEffectState();
    for (int i = 0; i < 128 * 4; ++i)
        device->GenerateBreathingFourColours();
    EXPECT_EQ(device->ColourIndex(), 0); // four wraps: 1, 2, 3, back to 0
    device->GenerateBreathingFourColours();
    c = device->GetLightColour(7);
    EXPECT_EQ(c.r, 0x00);
    EXPECT_EQ(c.g, 0xFF);
    EXPECT_EQ(c.b, 0xB4);
}

TEST_F(DeviceTest, ColourWheelStaticAndDark) {
    device->SetLightingValues(3, 0, 1, 1);
    for (int i = 0; i < 191; ++i)
        device->GenerateColourWheel();
    EXPECT_EQ(device->StepIndex(), 191);
    LightColour c = device->GetLightColour(100);
    EXPECT_EQ(c.b, kColourWheel[191].b);
    EXPECT_EQ(c.brightness, 195);
    device->GenerateColourWheel();
    EXPECT_EQ(device->StepIndex(), 0);
    EXPECT_EQ(device->GetLightColour(100).g, 1);

    device->SetCustomColour(1, 2, 3);
    device->GenerateStatic();
    c = device->GetLightColour(0);
    EXPECT_EQ(c.g, 2);
    EXPECT_EQ(c.brightness, 195);

    device->GenerateDark();
    c = device->GetLightColour(0);
    EXPECT_EQ(c.r | c.g | c.b | c.brightness, 0);
}

TEST_F(DeviceTest, BlinkPeriodFollowsTheSpeed) {
    const uint64_t periods[] = {1600, 1200, 800, 400, 200};
    for (int speed = 0; speed < 5; ++speed) {
        SCOPED_TRACE(speed);
        device->ResetEffectState();
        clock.setTick(10000);
        device->SetLightingValues(4, speed, 1, 1);
        device->GenerateBlinking(); // the first blink: on
        EXPECT_TRUE(device->BlinkPhase());
        EXPECT_EQ(device->StepIndex(), 16);
        EXPECT_EQ(device->GetLightColour(0).g, kColourWheel[16].g);
        clock.advance(periods[speed] - 1);
        device->GenerateBlinking();
        EXPECT_TRUE(device->BlinkPhase());
        clock.advance(1);
        device->GenerateBlinking();
        EXPECT_FALSE(device->BlinkPhase());
        const LightColour off = device->GetLightColour(0);
        EXPECT_EQ(off.r | off.g | off.b | off.brightness, 0);
    }
    // Four colours: the index runs 0..3.
    device->ResetEffectState();
    clock.setTick(50000);
    device->SetLightingValues(4, 4, 1, 0);
    for (int i = 0; i < 4; ++i) {
        clock.advance(200);
        device->GenerateBlinkingFourColours();
    }
    EXPECT_EQ(device->StepIndex(), 0);
}

TEST_F(DeviceTest, FrameScalesByBrightnessAndFeedsVisibleButtons) {
    FakeButton shown;
    FakeButton hidden;
    hidden.visible = false;
    device->SetPageLayout("keyboarddevice.xml");
    host.buttons = {{"light_0", &shown}, {"light_1", &hidden}, {"light_999", &shown}, {"key_5", &hidden}};
    device->BuildButtonLists();
    EXPECT_EQ(device->LightButton(0), &shown);
    EXPECT_EQ(device->KeyButton(5), &hidden);

    device->SetLightColour(0, {255, 128, 1, 128});
    device->SetLightColour(1, {200, 200, 200, 255});
    device->SetLightColour(169, {255, 255, 255, 255});
    device->BuildLightFrame();
    uint8_t frame[CKestravaUSBDevice::kFrameBytes];
    device->CopyLightFrame(frame);
    EXPECT_EQ(frame[0], 127);
    EXPECT_EQ(frame[1], 64);
    EXPECT_EQ(frame[2], 0);
    EXPECT_EQ(frame[3], 199);
    EXPECT_EQ(frame[507], 254);
    EXPECT_EQ(shown.shown, 1);
    EXPECT_EQ(shown.last.g, 128);
    EXPECT_EQ(hidden.shown, 0);

    // Lights past 170 do not reach the frame; nothing is built while the display is off.
    device->SetLightCount(180);
    device->SetLightColour(175, {255, 255, 255, 255});
    device->SetLightingDisplay(false);
    device->SetLightColour(0, {255, 255, 255, 255});
    device->BuildLightFrame();
    device->CopyLightFrame(frame);
    EXPECT_EQ(frame[0], 127);
    device->SetLightingDisplay(true);
    device->BuildLightFrame();
    device->CopyLightFrame(frame);
    EXPECT_EQ(frame[0], 254);
    EXPECT_EQ(frame[3], 0); // light 1 was cleared by the resize

    // No page layout: both lists empty.
    device->SetPageLayout("");
    device->BuildButtonLists();
    EXPECT_EQ(device->KeyCount(), 0);
    EXPECT_EQ(device->LightCount(), 0);
}

TEST_F(DeviceTest, SettingTheLightCountClearsColoursAndRecords) {
    device->SetLightColour(3, {1, 2, 3, 4});
    device->SetEffectRecord(3, {1, 2, 3});
    device->SetLightCount(15);
    EXPECT_EQ(device->GetLightColour(3).r, 0);
    EXPECT_EQ(device->EffectRecord(3)[0], 0);
    EXPECT_EQ(device->GetLightColour(15).r, 0); // outside: zero, no crash
    device->SetLightColour(15, {9, 9, 9, 9});   // outside: ignored
}

TEST_F(DeviceTest, RingAndReactiveSteps) {
    device->LightRing();
    auto ring = device->Ring();
    for (int i = 0; i < CKestravaUSBDevice::kRingSize; ++i)
        EXPECT_EQ(ring[i], i < 9 ? 0xFF : 0) << i;
    device->RotateRing(false);
    ring = device->Ring();
    EXPECT_EQ(ring[0], 0);
    EXPECT_EQ(ring[9], 0xFF);
    device->RotateRing(true);
    device->RotateRing(true);
    ring = device->Ring();
    EXPECT_EQ(ring[22], 0xFF);
    EXPECT_EQ(ring[8], 0);

    device->SetKeyIntensity(40, 12);
    device->ReactiveStep(40, 7);
    EXPECT_EQ(device->KeyIntensity(40), 7);
    device->ReactiveStep(40, 7);
    device->ReactiveStep(40, 7);
    EXPECT_EQ(device->KeyIntensity(40), 0);
    device->ReactiveStep(400, 7); // outside: ignored

    device->SetKeyIntensity(1, 200);
    device->ClearReactive();
    EXPECT_EQ(device->KeyIntensity(1), 0);
    EXPECT_EQ(device->Ring()[3], 0);
}

TEST_F(DeviceTest, FunctionTabsByMode) {
    device->SetIdentity(entry(1));
    EXPECT_EQ(device->FunctionMode(), 1);
    const std::pair<int, std::pair<std::string, int>> expected[] = {
        {2, {"device_key_function_switch", 1}}, {6, {"device_key_function_switch", 1}},
        {3, {"device_function_switch", 1}},     {8, {"device_function_switch", 1}},
        {4, {"device_function_switch", 3}},     {5, {"device_function_switch", 2}},
        {7, {"device_key_function_switch", 2}}, {1, {"device_key_function_switch", 0}},
    };
    for (const auto& [mode, tab] : expected) {
        host.tabs.clear();
        device->ShowFunctionTab(mode);
        ASSERT_EQ(host.tabs.size(), 1u);
        EXPECT_EQ(host.tabs[0], tab) << "mode " << mode;
        EXPECT_EQ(device->FunctionMode(), mode);
    }
    device->SetIdentity(entry(9));
    host.tabs.clear();
    device->ShowFunctionTab(4);
    EXPECT_EQ(host.tabs[0], std::make_pair(std::string("device_key_function_switch"), 0));
}

TEST_F(DeviceTest, FlagsAndBaseOperations) {
    auto link = backend->link(kWired);
    link->responder = test::EchoSuccess;
    ASSERT_TRUE(device->Channel().OpenInterface(false, kWired));

    device->SetIdentity(entry(9));
    device->SetLightingControl(1);
    EXPECT_TRUE(link->writtenPackets().empty());
    device->SetIdentity(entry(1));
    EXPECT_EQ(device->ProductCode(), 1);
    device->SetLightingControl(0);
    EXPECT_TRUE(link->writtenPackets().empty());
    device->SetLightingControl(1);
    ASSERT_EQ(link->writtenPackets().size(), 1u);
    EXPECT_EQ(link->writtenPackets()[0][3], 0x1C);

    device->SetWindowHidden(true);
    EXPECT_FALSE(device->IsWindowHidden()); // not wireless-capable
    device->SetWirelessCapable(true);
    EXPECT_EQ(host.battery, 1);
    device->SetWindowHidden(true);
    EXPECT_TRUE(device->IsWindowHidden());

    EXPECT_EQ(device->RunTimerOperation(), 0);
    EXPECT_EQ(device->FirstSelection(), -1);
    device->SetProfileValues(4, 5, 6);
    int a = 0, b = 0, c = 0;
    device->GetProfileValues(a, b, c);
    EXPECT_EQ(a * 100 + b * 10 + c, 456);
}

TEST_F(DeviceTest, FilesOfADevice) {
    test::ScratchDir dir;
    test::ScopedEnv data("XDG_DATA_HOME", dir.path());
    test::ScopedEnv program("TALYX_DATA_DIR", dir.file("program"));
    device->SetFamilyName("keyboard");
    EXPECT_EQ(device->DefaultProfilePath(), dir.file("program") + "/DefaultData/keyboard.Json");
    const std::string folder = device->UserFolder();
    EXPECT_EQ(folder, dir.path() + "/TALYX RGB Gaming keyboard/keyboard/");
    EXPECT_TRUE(DirExists(folder));
}

TEST_F(DeviceTest, SwitchingToTheReceiverWaitsUntilTheKeyboardIsOnline) {
    device->SetIdentity(entry(1));
    device->SetWirelessCapable(true);
    ASSERT_TRUE(device->Channel().OpenInterface(false, kWired));
    auto link = backend->link(kWireless);
    int queries = 0;
    link->responder = [&queries](const Packet& req) {
        if (req[3] == 0xAA)
            return std::vector<Packet>{Reply(0xAA, 0, {static_cast<uint8_t>(++queries >= 4 ? 0xFF : 0x00)})};
        return std::vector<Packet>{Reply(req[3])};
    };
    DebugCapture capture;
    ASSERT_TRUE(device->SwitchConnection(true, kWireless));
    EXPECT_TRUE(device->Channel().IsWireless());
    EXPECT_FALSE(device->Channel().InterfaceA().IsOpen());
    EXPECT_EQ(queries, 4);
    EXPECT_EQ(capture.count("获取2.4G模式失败"), 3u);
    EXPECT_EQ(capture.count("获取2"), 1u);
    EXPECT_EQ(host.sleeps, std::vector<int>(3, 50));
    EXPECT_EQ(device->reapplied, 1);
    EXPECT_EQ(link->writtenPackets().back()[3], 0x01);
    ASSERT_EQ(host.timers.size(), 1u);
    EXPECT_EQ(host.timers[0], std::make_pair(1007, 2000));

    // Never online: 26 queries, a failure text after each but the last.
    capture.clear();
    host.sleeps.clear();
    queries = -100;
    ASSERT_TRUE(device->SwitchConnection(true, kWireless));
    EXPECT_EQ(capture.count("获取2.4G模式失败"), 25u);
    EXPECT_EQ(host.sleeps.size(), 25u);
    EXPECT_EQ(device->reapplied, 2);
}

TEST_F(DeviceTest, SwitchingToTheCableShowsTheSelectorItem) {
    device->SetIdentity(entry(1));
    ASSERT_TRUE(device->Channel().OpenInterface(true, kWireless));
    ASSERT_TRUE(device->SwitchConnection(false, kWired));
    EXPECT_FALSE(device->Channel().IsWireless());
    EXPECT_EQ(device->Channel().ChunkSize(), 56);
    ASSERT_EQ(window.posted.size(), 1u);
    EXPECT_EQ(std::get<0>(window.posted[0]), 3331u);
    EXPECT_EQ(std::get<1>(window.posted[0]), 3u);
    EXPECT_EQ(std::get<2>(window.posted[0]), 1);
    EXPECT_EQ(device->reapplied, 0); // not wireless-capable

    device->SetWirelessCapable(true);
    ASSERT_TRUE(device->SwitchConnection(false, kWired));
    EXPECT_EQ(device->reapplied, 1);

    // A form that cannot be opened leaves the channel closed, and nothing else happens.
    window.posted.clear();
    EXPECT_FALSE(device->SwitchConnection(true, ""));
    EXPECT_FALSE(device->Channel().IsOpen());
    EXPECT_TRUE(window.posted.empty());
    EXPECT_EQ(device->reapplied, 1);
}

} // namespace
} // namespace talyx
