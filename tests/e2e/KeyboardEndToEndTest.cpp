// The keyboard core against talyx-vdev on a private bus with a private data folder: page
// start with a prepared profile, then the frames the engine streams.

#include <algorithm>
#include <map>

#include <gtest/gtest.h>

#include "device/SupportedDeviceTable.h"
#include "device/transport/HidDevice.h"
#include "keyboard/CKestravaKeyboardDevice.h"
#include "platform/Clock.h"
#include "platform/JsonFile.h"
#include "platform/Paths.h"
#include "profile/ProfileFiles.h"
#include "support/PreparedProfiles.h"
#include "support/TestSupport.h"
#include "vdev/VdevFraming.h"
#include "vdev/VdevProcess.h"

namespace talyx {
namespace {

using vdev::VdevProcess;

constexpr const char* kUuid = "2024_06_01_09_30_00_000";
// A key whose factory code no slot of the page holds.
constexpr int kStrayKey = 3;
constexpr const char* kStrayCode = "200099";

class KeyboardEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        if (!FileExists(VdevProcess::ExecutablePath()))
            GTEST_SKIP() << "talyx-vdev not built at " << VdevProcess::ExecutablePath();
        SetCurrentClock(&clock);
    }
    void TearDown() override { SetCurrentClock(nullptr); }

    // The keyboard's folder in the private data folder, with the prepared profile: remapped
    // keys, two macros, static lighting and changed switches.
    void prepareData() {
        folder = FamilyDataDir("keyboard");
        test::WriteMacroLibrary(folder,
                                {{"Copy",
                                  "2024_06_01_09_00_00_001",
                                  {test::MacroEvent("down", 10, 0x04, "50"), test::MacroEvent("up", 10, 0x04, "30")}},
                                 {"Click", "2024_06_01_09_00_00_002", {test::MacroEvent("down", 1, 0x01, "1000")}}});
        Json::Value entry = readjsonFile(DefaultDocumentPath("keyboard"))["Device"][0];
        ASSERT_TRUE(entry.isObject());
        changes = {{64, 0x200005},  // A types B
                   {65, 0x700100},  // S plays "Click"
                   {66, 0x710003},  // D repeats "Copy" three times
                   {67, 0x700102}}; // F plays "Click" in mode 2
        for (const auto& [slot, code] : changes)
            entry["KeyList"][slot]["Assignment"] = code;
        Json::Value& light = entry["LightInfo"];
        light["SelectItem"] = 6;
        light["Light"] = 3;
        light["Speed"] = 1;
        light["Fx"] = 1;
        light["MultiColor"] = 0;
        light["Red"] = 10;
        light["Green"] = 200;
        light["Blue"] = 30;
        light["ZZCCLedMode"] = 2;
        light["CustomGroup"] = 1;
        entry["SystemStages"]["PollingRate"] = 2;
        entry["SystemStages"]["WinFlag"] = 1;
        entry["SystemStages"]["WFlag"] = 0;
        entry["SystemStages"]["Key6Flag"] = 1;
        test::WriteProfile(folder, kUuid, "profile1", entry, false);
    }

    std::string vendorPath() {
        SupportedDeviceTable table;
        HidDevice scanner;
        EXPECT_TRUE(scanner.Enumerate());
        while (const std::string* path = scanner.NextPath())
            table.AttachInterface(scanner, *path);
        return table.Entry(0).devicePath;
    }

    Json::Value firmware() {
        const Json::Value state = vdev.state();
        EXPECT_TRUE(state.isArray()) << vdev.lastError();
        return state[0]["firmware"];
    }

    static std::vector<uint8_t> bytes(const Json::Value& hex) {
        std::vector<uint8_t> out;
        EXPECT_TRUE(vdev::FromHex(hex.asString(), out)) << hex.asString();
        return out;
    }

    // Steps the engine once, lets a new mode fade in, and streams the frame.
    void stepAndSend(CKestravaKeyboardDevice& kb, int steps = 1) {
        for (int i = 0; i < steps; ++i)
            kb.LightStep();
        clock.advance(200);
        kb.LightOverlays();
        ASSERT_EQ(kb.SendLightFrame(), kResultSuccess);
    }

    ManualClock clock;
    test::ScratchDir scratch;
    VdevProcess vdev;
    std::string folder;
    std::map<int, uint32_t> changes;
};

TEST_F(KeyboardEndToEnd, PageStartWritesTheProfileAndFramesCarryTheEnginesColours) {
    const std::string bus = scratch.file("bus");
    ASSERT_TRUE(vdev.start(bus, {"keyboard"})) << vdev.lastError();
    test::ScopedEnv busEnv("TALYX_HID_BUS", bus);
    test::ScopedEnv dataEnv("XDG_DATA_HOME", scratch.file("data"));
    prepareData();
    // One key of the keyboard gets a factory code that no slot of the page holds.
    Json::Value stray(Json::objectValue);
    stray["cmd"] = "set";
    stray["area"] = "factoryCodes";
    stray["offset"] = 3 * kStrayKey;
    stray["hex"] = kStrayCode;
    ASSERT_TRUE(vdev.request(stray)["ok"].asBool());

    CKestravaKeyboardDevice kb;
    ASSERT_TRUE(kb.Channel().OpenInterface(false, vendorPath()));
    ASSERT_EQ(kb.PageStart(kUuid, false), 0);

    const Json::Value fw = firmware();
    EXPECT_EQ(fw["framingErrorCount"].asInt(), 0) << fw["framingErrors"].toStyledString();
    const std::vector<uint8_t> factory = bytes(fw["factoryCodes"]);
    const std::vector<uint8_t> assigned = bytes(fw["assignments"]);
    const Json::Value& keySlots = fw["keySlots"];
    ASSERT_EQ(assigned.size(), factory.size());

    // The assignment block: the remapped keys with the macros renumbered in order of first
    // use ("Click" is number 0 in the image, "Copy" number 1), the factory code elsewhere,
    // and the key no slot reaches keeps its own.
    const std::map<int, uint32_t> onTheWire = {{64, 0x200005}, {65, 0x700000}, {66, 0x710103}, {67, 0x700002}};
    for (int k = 0; k < fw["keyCount"].asInt(); ++k) {
        const int slot = keySlots[k].asInt();
        uint32_t expected = (factory[3 * k] << 16) | (factory[3 * k + 1] << 8) | factory[3 * k + 2];
        if (onTheWire.count(slot))
            expected = onTheWire.at(slot);
        const uint32_t got = (assigned[3 * k] << 16) | (assigned[3 * k + 1] << 8) | assigned[3 * k + 2];
        EXPECT_EQ(got, expected) << "device key " << k << " on slot " << slot;
    }
    EXPECT_EQ(vdev::ToHex(assigned.data() + 3 * kStrayKey, 3), kStrayCode);

    // The macro image, byte for byte.
    EXPECT_EQ(fw["macroImage"].asString(),
              "aa552800020000000000000000000000" // signature, 40 bytes, 2 macros
              "1400"
              "1c00" // records at 20 and 28
              "01000000"
              "e8038101" // Click: 1000 ms, button down
              "02000000"
              "32008a04"
              "1e000a04"); // Copy: A down 50 ms, A up 30 ms

    // The light and settings record.
    const std::vector<uint8_t> records = bytes(fw["records"]);
    EXPECT_EQ(vdev::ToHex(records.data(), 34),
              "0006"           // index 0, static (mode value 6)
              "03030100"       // brightness 3, speed 1 sent as 3, forward, one colour
              "0ac81e"         // the colour
              "393a3b3c3d3e3f" // kept
              "0041"           // always 0, kept
              "02000101"       // extra mode byte, W-key off, six-key on, Windows key locked
              "02"             // report rate
              "5152"           // kept
              "01"             // custom colour page
              "5a5b5c5d5e5f60" // kept
              "01");           // kept: records overlap by one byte, this is record 1's index

    // A static frame: the colour times brightness 195 at every key's LED.
    const std::vector<uint8_t> leds = bytes(fw["ledPositions"]);
    const Json::Value before = firmware();
    stepAndSend(kb);
    Json::Value after = firmware();
    EXPECT_EQ(after["frame"]["count"].asInt(), before["frame"]["count"].asInt() + 1);
    EXPECT_EQ(after["commands"]["0x12"].asInt() - before["commands"]["0x12"].asInt(), 7)
        << "384 bytes in seven chunks of 56";
    std::vector<uint8_t> frame = bytes(after["frame"]["last"]);
    ASSERT_EQ(frame.size(), 384u);
    for (int k = 0; k < fw["keyCount"].asInt(); ++k) {
        const int p = leds[k];
        const bool lit = keySlots[k].asInt() >= 0 && k != kStrayKey;
        EXPECT_EQ(vdev::ToHex(frame.data() + 3 * p, 3), lit ? "079816" : "000000") << "LED " << p << " key " << k;
    }

    // Breathing in red at full brightness: after ten steps the phase is 10.
    LightInfo breathing = kb.CurrentLightInfo();
    breathing.selectItem = 5;
    breathing.light = 4;
    breathing.red = 255;
    breathing.green = 0;
    breathing.blue = 0;
    kb.ChangeLighting(breathing);
    stepAndSend(kb, 10);
    frame = bytes(firmware()["frame"]["last"]);
    const int alpha = (kBreathingCurve[10] * 255) >> 8;
    const int red = (255 * alpha) >> 8;
    const int p = leds[0];
    EXPECT_EQ(frame[3 * p], red);
    EXPECT_EQ(frame[3 * p + 1], 0);
    EXPECT_EQ(bytes(firmware()["records"])[1], 5) << "the change reached the record too";

    // The custom mode: the keyboard shows its own colour page; no frame goes out.
    LightInfo custom = breathing;
    custom.selectItem = 20;
    const int reads = firmware()["commands"]["0x0a"].asInt();
    kb.ChangeLighting(custom);
    after = firmware();
    EXPECT_GT(after["commands"]["0x0a"].asInt(), reads) << after["commands"].toStyledString();
    const int frames = after["frame"]["count"].asInt();
    kb.LightStep();
    EXPECT_EQ(kb.SendLightFrame(), kResultSuccess);
    EXPECT_EQ(firmware()["frame"]["count"].asInt(), frames);
    EXPECT_EQ(firmware()["framingErrorCount"].asInt(), 0);
    EXPECT_TRUE(vdev.stop());
}

} // namespace
} // namespace talyx
