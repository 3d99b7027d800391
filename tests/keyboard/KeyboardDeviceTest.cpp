// The keyboard device against the firmware model: key table, light and settings record,
// macro download and key assignments, per-key colours, frames, status and the page logic.

#include "keyboard/CKestravaKeyboardDevice.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

#include "KeyboardRig.h"
#include "device/DeviceButton.h"
#include "keyboard/KeyboardLightTables.h"
#include "platform/Clock.h"
#include "profile/ProfileFiles.h"

namespace talyx {
namespace {

using test::KeyboardRig;
using test::Packet;
using vdev::ToHex;

constexpr const char* kUuid = "2024_03_05_14_07_09_123";

// The keyboard's factory document entry with changes.
Json::Value defaultEntry() {
    return readjsonFile(DefaultDocumentPath("keyboard"))["Device"][0];
}

void writeProfile(const KeyboardRig& rig, const Json::Value& entry) {
    Json::Value root(Json::objectValue);
    root["Device"][0] = entry;
    root["profilename"] = "profile1";
    root["profileUUID"] = kUuid;
    rig.writeJson(std::string(kUuid) + ".Json", root);
}

Json::Value macroEvent(const char* action, int type, int button, const char* delay) {
    Json::Value e(Json::objectValue);
    e["Action"] = action;
    e["Type"] = type;
    e["Button"] = button;
    e["Delay"] = delay;
    return e;
}

// A library of macros named m0, m1 … with the given number of events each.
void writeLibrary(const KeyboardRig& rig, const std::vector<int>& eventCounts) {
    Json::Value index(Json::objectValue);
    for (size_t m = 0; m < eventCounts.size(); ++m) {
        const std::string guid = "g" + std::to_string(m);
        index["MacroInfo"][static_cast<Json::ArrayIndex>(m)]["MacroName"] = "m" + std::to_string(m);
        index["MacroInfo"][static_cast<Json::ArrayIndex>(m)]["Guid"] = guid;
        Json::Value file(Json::objectValue);
        file["Events"] = Json::Value(Json::arrayValue);
        for (int e = 0; e < eventCounts[m]; ++e)
            file["Events"].append(macroEvent(e % 2 ? "up" : "down", 10, 4 + static_cast<int>(m), "20"));
        rig.writeJson(guid + ".mac", file);
    }
    rig.writeJson("macro.config", index);
}

std::vector<uint8_t> record(const KeyboardRig& rig, int index = 0) {
    const auto& r = rig.firmware.Records();
    return std::vector<uint8_t>(r.begin() + index * 33, r.begin() + index * 33 + 34);
}

TEST(KeyboardDevice, KeyTableMapsEverySlotToTheKeyboardsOwnNumbers) {
    KeyboardRig rig;
    rig.keyboard.ReadKeyTable();
    ASSERT_TRUE(rig.keyboard.HasKeyTable());
    EXPECT_EQ(rig.keyboard.DeviceKeyCount(), 104);
    EXPECT_EQ(rig.keyboard.Channel().BlockSize(), 312);
    EXPECT_EQ(rig.commandOrder(), (std::vector<uint8_t>{0x01, 0x03, 0x07, 0x1B, 0x02}));
    const KeySlotMaps maps = rig.keyboard.SlotMaps();
    for (int k = 0; k < 104; ++k) {
        const int slot = rig.firmware.SlotOfKey(k);
        ASSERT_GE(slot, 0);
        EXPECT_EQ(maps.keyMap[slot], k) << "slot " << slot;
        EXPECT_EQ(maps.ledMap[slot], rig.firmware.LedPositions()[k]);
    }
    EXPECT_EQ(maps.keyMap[16], kNoDeviceKey) << "the 104-key board has no G-mode key";
    EXPECT_EQ(rig.keyboard.SlotOfDeviceKey(rig.firmware.LedPositions().size()), -1);
}

TEST(KeyboardDevice, AKeyboardWithMoreThan170KeysIsLeftAlone) {
    vdev::KeyboardOptions options;
    options.keyCount = 171;
    KeyboardRig rig(options);
    rig.keyboard.ReadKeyTable();
    EXPECT_FALSE(rig.keyboard.HasKeyTable());
    EXPECT_TRUE(rig.sent(0x07).empty()) << "no factory codes are read";
    EXPECT_EQ(rig.commandOrder(), (std::vector<uint8_t>{0x01, 0x03, 0x02})) << "the batch is still closed";
    EXPECT_FALSE(rig.firmware.BatchOpen());
    EXPECT_EQ(rig.keyboard.SlotMaps().keyMap[0], kNoDeviceKey);
    rig.clearSent();
    EXPECT_EQ(rig.keyboard.WriteKeyAssignments(0, KeyList(170)), kResultNoReply);
    EXPECT_TRUE(rig.sent(0x09).empty());
}

TEST(KeyboardDevice, LightRecordCarriesTheProfileAndKeepsTheKeyboardsOwnBytes) {
    KeyboardRig rig;
    Json::Value entry = defaultEntry();
    entry["LightInfo"]["SelectItem"] = 29;
    entry["LightInfo"]["Speed"] = 0;
    entry["LightInfo"]["ZZCCLedMode"] = 7;
    entry["LightInfo"]["CustomGroup"] = 2;
    entry["SystemStages"]["PollingRate"] = 7;
    entry["SystemStages"]["WinFlag"] = 1;
    writeProfile(rig, entry);
    rig.keyboard.ReadKeyTable();
    const std::vector<uint8_t> before = record(rig);
    ASSERT_EQ(rig.keyboard.ApplyProfile(kUuid), 0);

    const std::vector<uint8_t> after = record(rig);
    EXPECT_EQ(after[1], 0xFE) << "music is host lighting on the keyboard: " << ToHex(after);
    EXPECT_EQ(after[3], 4) << "speed 0 is the keyboard's 4";
    EXPECT_EQ(after[18], 7);
    EXPECT_EQ(after[21], 1);
    EXPECT_EQ(after[22], 7) << "a report rate outside the options is sent as stored";
    EXPECT_EQ(after[25], 2);
    EXPECT_EQ(after[16], 0);
    for (int b : {9, 10, 11, 12, 13, 14, 15, 17, 23, 24, 26, 27, 28, 29, 30, 31, 32, 33})
        EXPECT_EQ(after[b], before[b]) << "byte " << b << " was the keyboard's: " << ToHex(after);
    // Nothing had been read before the first write: the record was read first.
    const std::vector<uint8_t> order = rig.commandOrder();
    const auto firstRead = std::find(order.begin(), order.end(), 0x05);
    const auto firstWrite = std::find(order.begin(), order.end(), 0x06);
    ASSERT_NE(firstWrite, order.end());
    EXPECT_LT(firstRead, firstWrite);

    // Mode value 30 too, and speed 4 is the keyboard's 0.
    LightInfo light = rig.keyboard.CurrentLightInfo();
    light.selectItem = 30;
    light.speed = 4;
    rig.keyboard.ChangeLighting(light);
    EXPECT_EQ(record(rig)[1], 0xFE);
    EXPECT_EQ(record(rig)[3], 0);
}

TEST(KeyboardDevice, AFirstWriteThatCannotReadTheRecordWritesNothing) {
    KeyboardRig rig;
    writeProfile(rig, defaultEntry());
    rig.refuse = [](const Packet& p) { return p[3] == 0x05; };
    const std::vector<uint8_t> before = record(rig);
    EXPECT_EQ(rig.keyboard.WriteLightRecord(0, 0), kResultStatusFE);
    EXPECT_TRUE(rig.sent(0x06).empty());
    EXPECT_EQ(record(rig), before);
}

TEST(KeyboardDevice, ReadingTheRecordConvertsBackIntoTheProfile) {
    KeyboardRig rig;
    writeProfile(rig, defaultEntry());
    rig.keyboard.ReadKeyTable();
    rig.keyboard.ApplyProfile(kUuid);
    // The keyboard was switched to record 3 with its own keys: static, speed byte 1.
    std::vector<uint8_t> r3 = record(rig, 3);
    r3[1] = 6;
    r3[2] = 2;
    r3[3] = 1;
    r3[6] = 0x11;
    r3[19] = 1;
    r3[20] = 1;
    r3[21] = 0;
    r3[22] = 0;
    r3[25] = 4;
    ASSERT_TRUE(rig.firmware.SetArea("records", 3 * 33, r3));
    ASSERT_TRUE(rig.firmware.SetArea("records", 0, {3}));
    const KeyboardSettings settingsBefore = rig.keyboard.CurrentSettings();

    EXPECT_EQ(rig.keyboard.ReadLightRecord(), 3);
    const LightInfo light = rig.keyboard.CurrentLightInfo();
    EXPECT_EQ(light.selectItem, 6);
    EXPECT_EQ(light.light, 2);
    EXPECT_EQ(light.speed, 3);
    EXPECT_EQ(light.red, 0x11);
    EXPECT_EQ(light.customGroup, 4);
    const KeyboardSettings s = rig.keyboard.CurrentSettings();
    EXPECT_EQ(s.wFlag, 1);
    EXPECT_EQ(s.key6Flag, 1);
    EXPECT_EQ(s.pollingRate, settingsBefore.pollingRate) << "the report rate stays the profile's";
    EXPECT_EQ(rig.keyboard.CurrentModeValue(), 6);
    // It reached the profile document on disk.
    const Json::Value doc = readjsonFile(JoinPath(rig.folder(), std::string(kUuid) + ".Json"));
    EXPECT_EQ(doc["Device"][0]["LightInfo"]["SelectItem"].asInt(), 6);
    EXPECT_EQ(doc["Device"][0]["SystemStages"]["WFlag"].asInt(), 1);

    // A host-lighting byte names no preset: the mode stays what it was.
    r3[1] = 0xFE;
    ASSERT_TRUE(rig.firmware.SetArea("records", 3 * 33, r3));
    rig.keyboard.ReadLightRecord();
    EXPECT_EQ(rig.keyboard.CurrentLightInfo().selectItem, 6);
}

TEST(KeyboardDevice, RecordNotificationsSetTheActiveIndex) {
    KeyboardRig rig;
    rig.keyboard.OnDeviceUsage(0x1103);
    EXPECT_EQ(rig.keyboard.ActiveRecord(), 3);
    EXPECT_EQ(rig.keyboard.SecondValue(), 0);
    rig.keyboard.OnDeviceUsage(0x1125);
    EXPECT_EQ(rig.keyboard.ActiveRecord(), 5);
    EXPECT_EQ(rig.keyboard.SecondValue(), 2);
    rig.keyboard.OnDeviceUsage(0x1007);
    EXPECT_EQ(rig.keyboard.ActiveRecord(), 7);
    EXPECT_EQ(rig.keyboard.SecondValue(), 2) << "0x10xx carries no second value";
    EXPECT_EQ(rig.host.refreshRequests, 3);
    rig.keyboard.OnDeviceUsage(0x1204);
    EXPECT_EQ(rig.keyboard.ActiveRecord(), 7);
    rig.keyboard.Channel().SetOpen(false);
    rig.keyboard.OnDeviceUsage(0x1101);
    EXPECT_EQ(rig.keyboard.ActiveRecord(), 7) << "nothing happens while the channel is closed";
    EXPECT_EQ(rig.host.refreshRequests, 3);
}

TEST(KeyboardDevice, ApplyingAProfileSendsMacrosBeforeTheKeysThatUseThem) {
    KeyboardRig rig;
    writeLibrary(rig, {2, 1, 3});
    Json::Value entry = defaultEntry();
    // Slots 64 (A), 65 (S) and 66 (D): macro 2, macro 0, macro 2 again; slot 67 (F) a macro
    // the library does not have.
    entry["KeyList"][64]["Assignment"] = 0x700201;
    entry["KeyList"][65]["Assignment"] = 0x710005;
    entry["KeyList"][66]["Assignment"] = 0x700200;
    entry["KeyList"][67]["Assignment"] = 0x700700;
    writeProfile(rig, entry);
    rig.keyboard.ReadKeyTable();
    rig.clearSent();
    ASSERT_EQ(rig.keyboard.ApplyProfile(kUuid), 0);

    EXPECT_EQ(rig.keyboard.UsedMacros(), (std::vector<int>{2, 0}));
    EXPECT_EQ(rig.commandOrder(),
              (std::vector<uint8_t>{0x03, 0x01, 0x15, 0x02, 0x03, 0x01, 0x09, 0x02, 0x05, 0x01, 0x06, 0x02}));
    // Image: macro 2 (3 events) as number 0, macro 0 (2 events) as number 1.
    const std::vector<uint8_t> image = rig.sentData(0x15);
    ASSERT_EQ(image.size(), 16u + 2 * 2 + 4 * 2 + 4 * 5);
    EXPECT_EQ(ToHex(image).substr(0, 40), "aa553000020000000000000000000000"
                                          "14002400")
        << ToHex(image);
    EXPECT_EQ(image[0x14], 3);
    EXPECT_EQ(image[0x24], 2);
    EXPECT_EQ(ToHex(std::vector<uint8_t>(image.begin() + 0x18, image.begin() + 0x1C)), "14008a06");

    const auto& assigned = rig.firmware.Assignments();
    const KeySlotMaps maps = rig.keyboard.SlotMaps();
    auto codeOf = [&](int slot) {
        const int k = maps.keyMap[slot];
        return (assigned[3 * k] << 16) | (assigned[3 * k + 1] << 8) | assigned[3 * k + 2];
    };
    EXPECT_EQ(codeOf(64), 0x700001);
    EXPECT_EQ(codeOf(65), 0x710105);
    EXPECT_EQ(codeOf(66), 0x700000) << "the same macro, the same image number";
    EXPECT_EQ(codeOf(67), static_cast<int>(kKeySlotTable[67])) << "an unknown macro gives the default";
    EXPECT_EQ(codeOf(68), static_cast<int>(kKeySlotTable[68]));
}

TEST(KeyboardDevice, MacroImagesLargerThanTheMemoryAreRefusedWithACount) {
    // 128 bytes of macro memory. One macro of e events takes 22 + 4e bytes, two take
    // 28 + 4 (e1 + e2).
    struct Case {
        std::vector<int> events;
        int overflow;
    };
    // Over by 2, 4 and 6 bytes: 1, 2, 2.
    const Case cases[] = {{{26}, 0}, {{13, 12}, 0}, {{27}, 1}, {{13, 13}, 2}, {{28}, 2}};
    for (const Case& c : cases) {
        vdev::KeyboardOptions options;
        options.macroUnits = 1;
        KeyboardRig rig(options);
        writeLibrary(rig, c.events);
        std::vector<int> used;
        for (size_t m = 0; m < c.events.size(); ++m)
            used.push_back(static_cast<int>(m));
        EXPECT_EQ(rig.keyboard.WriteMacros(used), c.overflow) << c.events.size() << " macros";
        EXPECT_EQ(rig.sent(0x15).empty(), c.overflow > 0);
    }
}

TEST(KeyboardDevice, AnOverflowingProfileLeavesTheKeyboardsMacrosAndKeysAlone) {
    vdev::KeyboardOptions options;
    options.macroUnits = 1;
    KeyboardRig rig(options);
    writeLibrary(rig, {40});
    Json::Value entry = defaultEntry();
    entry["KeyList"][64]["Assignment"] = 0x700000;
    writeProfile(rig, entry);
    rig.keyboard.ReadKeyTable();
    EXPECT_EQ(rig.keyboard.ApplyProfile(kUuid), (22 + 160 - 128) / 4 + 1);
    EXPECT_TRUE(rig.sent(0x15).empty());
    EXPECT_TRUE(rig.sent(0x09).empty());
    EXPECT_FALSE(rig.sent(0x06).empty()) << "the lighting still goes out";
}

TEST(KeyboardDevice, NothingToDownloadSendsNothing) {
    KeyboardRig rig;
    EXPECT_EQ(rig.keyboard.WriteMacros({0}), 0) << "no library";
    writeLibrary(rig, {1});
    EXPECT_EQ(rig.keyboard.WriteMacros({}), 0);
    EXPECT_TRUE(rig.sent(0x15).empty());
    // A macro whose file is gone is a macro without events.
    Json::Value index = readjsonFile(JoinPath(rig.folder(), "macro.config"));
    index["MacroInfo"][1]["MacroName"] = "gone";
    index["MacroInfo"][1]["Guid"] = "nothing-here";
    rig.writeJson("macro.config", index);
    EXPECT_EQ(rig.keyboard.WriteMacros({1, 0}), 0);
    const std::vector<uint8_t> image = rig.sentData(0x15);
    ASSERT_EQ(image.size(), 16u + 12 + 4);
    EXPECT_EQ(image[20], 0) << "the missing macro has no events: " << ToHex(image);
    EXPECT_EQ(image[24], 1);
}

TEST(KeyboardDevice, CustomModeReadsItsPageAndPaintingWritesItWhole) {
    KeyboardRig rig;
    Json::Value entry = defaultEntry();
    entry["LightInfo"]["SelectItem"] = 20;
    entry["LightInfo"]["CustomGroup"] = 1;
    entry["LightInfo"]["Red"] = 0x12;
    entry["LightInfo"]["Green"] = 0x34;
    entry["LightInfo"]["Blue"] = 0x56;
    writeProfile(rig, entry);
    rig.keyboard.ReadKeyTable();
    const KeySlotMaps maps = rig.keyboard.SlotMaps();
    // The keyboard's page 1 holds a colour for the LED of slot 64 (A).
    const int ledA = maps.ledMap[64];
    ASSERT_TRUE(rig.firmware.SetArea("colourPages", 512 + 3 * ledA, {0xAA, 0xBB, 0xCC}));
    ASSERT_EQ(rig.keyboard.ApplyProfile(kUuid), 0);
    ASSERT_FALSE(rig.sent(0x0A).empty()) << "entering the custom mode reads the page";
    EXPECT_EQ(rig.sent(0x0A)[0][6], 0x02) << "page 1 sits at offset 512";
    EXPECT_EQ(rig.keyboard.Engine().CustomColours()[64].r, 0xAA);

    rig.clearSent();
    const int slotS = 65;
    EXPECT_EQ(rig.keyboard.PaintKey(slotS), kResultSuccess);
    const std::vector<uint8_t> page = rig.sentData(0x0B, 512);
    ASSERT_EQ(page.size(), 3u * 104) << "the whole page, not one key";
    const int ledS = maps.ledMap[slotS];
    EXPECT_EQ(page[3 * ledS], 0x12);
    EXPECT_EQ(page[3 * ledS + 2], 0x56);
    EXPECT_EQ(page[3 * ledA + 1], 0xBB) << "the other keys keep their colours";
    const Json::Value doc = readjsonFile(JoinPath(rig.folder(), std::string(kUuid) + ".Json"));
    EXPECT_EQ(doc["Device"][0]["CustomLightMode"]["LightColorInfo"][1][slotS]["Red"].asInt(), 0x12);

    // No frame is streamed in the custom mode.
    rig.clearSent();
    EXPECT_EQ(rig.keyboard.SendLightFrame(), kResultSuccess);
    EXPECT_TRUE(rig.sent(0x12).empty());
}

class KeyboardFrames : public ::testing::Test {
protected:
    void SetUp() override { SetCurrentClock(&clock); }
    void TearDown() override { SetCurrentClock(nullptr); }
    ManualClock clock;
};

TEST_F(KeyboardFrames, StreamedFrameIsColourTimesAlphaAtEachLed) {
    KeyboardRig rig;
    Json::Value entry = defaultEntry();
    entry["LightInfo"]["SelectItem"] = 6;
    entry["LightInfo"]["Light"] = 3;
    entry["LightInfo"]["Red"] = 200;
    entry["LightInfo"]["Green"] = 100;
    entry["LightInfo"]["Blue"] = 0;
    writeProfile(rig, entry);
    rig.keyboard.PageStart(kUuid, false);
    rig.keyboard.LightStep();
    clock.advance(200);
    rig.keyboard.LightOverlays();
    rig.clearSent();
    ASSERT_EQ(rig.keyboard.SendLightFrame(), kResultSuccess);
    EXPECT_EQ(rig.sent(0x12).size(), 7u) << "384 bytes in 56-byte chunks";
    const std::vector<uint8_t>& frame = rig.firmware.LastFrame();
    for (int k = 0; k < 104; ++k) {
        const int p = rig.firmware.LedPositions()[k];
        EXPECT_EQ(frame[3 * p], (200 * 195) >> 8) << "LED " << p;
        EXPECT_EQ(frame[3 * p + 1], (100 * 195) >> 8);
        EXPECT_EQ(frame[3 * p + 2], 0);
    }
    for (size_t i = 3 * 104; i < frame.size(); ++i)
        EXPECT_EQ(frame[i], 0) << "positions without a key stay dark";

    // Brightness 0: every byte 0.
    LightInfo dark = rig.keyboard.CurrentLightInfo();
    dark.light = 0;
    rig.keyboard.ChangeLighting(dark);
    rig.keyboard.LightStep();
    clock.advance(200);
    rig.keyboard.LightOverlays();
    ASSERT_EQ(rig.keyboard.SendLightFrame(), kResultSuccess);
    EXPECT_EQ(rig.firmware.LastFrame(), std::vector<uint8_t>(384, 0));

    // A frame the keyboard refuses reports it; the frame schedule makes the pause.
    rig.refuse = [](const Packet& p) { return p[3] == 0x12; };
    EXPECT_EQ(rig.keyboard.SendLightFrame(), kResultStatusFE);
}

TEST_F(KeyboardFrames, LightButtonsGetPlainArgb) {
    KeyboardRig rig;
    Json::Value entry = defaultEntry();
    entry["LightInfo"]["SelectItem"] = 6;
    entry["LightInfo"]["Light"] = 2;
    entry["LightInfo"]["Red"] = 0x10;
    entry["LightInfo"]["Green"] = 0x20;
    entry["LightInfo"]["Blue"] = 0x30;
    writeProfile(rig, entry);
    rig.keyboard.PageStart(kUuid, false);
    rig.keyboard.LightStep();
    clock.advance(200);
    rig.keyboard.LightOverlays();
    const auto colours = rig.keyboard.LightButtonColours();
    EXPECT_EQ(colours[64], 0x87102030u) << std::hex << colours[64];
    EXPECT_EQ(colours[16], 0u) << "no G-mode key on this keyboard";
    rig.keyboard.SetLightingDisplay(false);
    EXPECT_EQ(rig.keyboard.LightButtonColours()[64], 0u);
}

TEST_F(KeyboardFrames, KeyPressesReachTheReactiveModeBySlot) {
    KeyboardRig rig;
    Json::Value entry = defaultEntry();
    entry["LightInfo"]["SelectItem"] = 7;
    writeProfile(rig, entry);
    rig.keyboard.PageStart(kUuid, false);
    const KeySlotMaps maps = rig.keyboard.SlotMaps();
    rig.keyboard.OnKeyEvent(maps.keyMap[64], 1);
    rig.keyboard.LightStep();
    EXPECT_EQ(rig.keyboard.Engine().Intensity(64), 255);
    rig.keyboard.OnKeyEvent(200, 1); // no such key
    rig.clearSent();
    EXPECT_EQ(rig.keyboard.SendLightFrame(), kResultSuccess);
    EXPECT_TRUE(rig.sent(0x12).empty()) << "the keyboard renders its reactive mode itself";
}

TEST(KeyboardDevice, PageStartLeavesTheLightThreadSteppingTheEngine) {
    KeyboardRig rig;
    Json::Value entry = defaultEntry();
    entry["LightInfo"]["SelectItem"] = 4; // colour cycle
    entry["LightInfo"]["Speed"] = 4;      // a step on every tick
    writeProfile(rig, entry);
    rig.keyboard.PageStart(kUuid);
    EXPECT_TRUE(rig.keyboard.LightThreadRunning());
    // About 64 ticks a second: the wheel index moves within a few of them.
    for (int i = 0; i < 200 && rig.keyboard.Engine().Phase() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_NE(rig.keyboard.Engine().Phase(), 0);
    rig.keyboard.StopWorkers();
    EXPECT_FALSE(rig.keyboard.LightThreadRunning());
}

TEST(KeyboardDevice, StatusGoesToTheBatteryIndicatorAndTheMainWindow) {
    KeyboardRig rig;
    rig.keyboard.PollStatus();
    EXPECT_TRUE(rig.sent(0x1A).empty()) << "a keyboard without a battery is not polled";
    rig.keyboard.SetWirelessCapable(true);
    ASSERT_TRUE(rig.firmware.SetArea("status", 0, {57, 1, 0, 0, 9, 0}));
    rig.keyboard.PollStatus();
    EXPECT_EQ(rig.host.battery, (std::vector<uint8_t>{57, 1, 0, 1, 9, 0}));
    ASSERT_EQ(rig.window.messages.size(), 1u);
    EXPECT_EQ(rig.window.messages[0].msg, 0x0D01u);
    EXPECT_EQ(rig.window.messages[0].wParam, 9u);
}

TEST(KeyboardDevice, SettingsReachTheKeyboardOnlyWhereItKeepsThem) {
    KeyboardRig rig;
    Json::Value entry = defaultEntry();
    entry["SystemStages"]["PollingRate"] = 7;
    entry["SystemStages"]["RepeatDelay"] = 2;
    writeProfile(rig, entry);
    rig.keyboard.ReadKeyTable();
    rig.keyboard.ApplyProfile(kUuid);
    const KeyboardSettings s = rig.keyboard.CurrentSettings();
    EXPECT_EQ(ShownOptionIndex(s.pollingRate), 0);
    EXPECT_EQ(record(rig)[22], 7);
    EXPECT_EQ(RepeatDelayLabelText("Delay ", s.repeatDelay), "Delay 750ms");

    rig.clearSent();
    rig.keyboard.ChangeSetting(SettingControl::RepeatRate, 31);
    rig.keyboard.ChangeSetting(SettingControl::RepeatDelay, 3);
    EXPECT_TRUE(rig.link->writtenPackets().empty()) << "the repeat values are the program's own";
    rig.keyboard.ChangeSetting(SettingControl::WinLock, 1);
    rig.keyboard.ChangeSetting(SettingControl::ReportRate, 1);
    EXPECT_EQ(rig.sent(0x06).size(), 2u);
    EXPECT_EQ(record(rig)[21], 1);
    EXPECT_EQ(record(rig)[22], 1);
    const Json::Value doc = readjsonFile(JoinPath(rig.folder(), std::string(kUuid) + ".Json"));
    EXPECT_EQ(doc["Device"][0]["SystemStages"]["Repeat"].asInt(), 31);
    EXPECT_EQ(doc["Device"][0]["SystemStages"]["RepeatDelay"].asInt(), 3);
    EXPECT_EQ(doc["Device"][0]["SystemStages"]["PollingRate"].asInt(), 1);
}

TEST(KeyboardDevice, PageListsComeFromTheShippedDataAndTheLibrary) {
    KeyboardRig rig;
    writeLibrary(rig, {1, 1});
    Json::Value styles(Json::objectValue);
    styles["LightInfo"][1][0]["LightName"] = "mine";
    styles["LightInfo"][1][0]["Guid"] = "x";
    rig.writeJson("quorv_light.config", styles);
    rig.keyboard.RefreshPage();
    EXPECT_EQ(rig.host.refreshes, 1);
    EXPECT_EQ(rig.keyboard.MacroNames(), (std::vector<std::string>{"m0", "m1"}));
    ASSERT_EQ(rig.keyboard.PresetModes().size(), 31u);
    EXPECT_EQ(rig.keyboard.ModeValues()[20], 20);
    EXPECT_FALSE(rig.keyboard.PresetModes()[0].visible);
    EXPECT_EQ(rig.keyboard.AreaNames().size(), 1u);
    EXPECT_EQ(rig.keyboard.SavedStyles(), (std::vector<std::string>{"mine"}));
}

TEST(KeyboardDevice, DeletingTheLastMacroTurnsItsKeysBackToDefault) {
    KeyboardRig rig;
    writeLibrary(rig, {1, 1});
    Json::Value entry = defaultEntry();
    entry["KeyList"][64]["Assignment"] = 0x700100;
    entry["KeyList"][65]["Assignment"] = 0x700000;
    writeProfile(rig, entry);
    rig.keyboard.ApplyProfile(kUuid);
    EXPECT_EQ(rig.keyboard.KeyCaptions()[64].text, "m1");
    EXPECT_FALSE(rig.keyboard.CheckMacroBindings()) << "nothing to change yet";

    writeLibrary(rig, {1});
    const int refreshes = rig.host.refreshes;
    EXPECT_TRUE(rig.keyboard.CheckMacroBindings());
    EXPECT_EQ(rig.host.refreshes, refreshes + 1) << "the captions change at once";
    EXPECT_EQ(rig.keyboard.KeyCaptions()[64].keys, (std::vector<std::string>{"keyboard_key_A"}));
    EXPECT_EQ(rig.keyboard.KeyCaptions()[65].text, "m0");
    const Json::Value doc = readjsonFile(JoinPath(rig.folder(), std::string(kUuid) + ".Json"));
    EXPECT_EQ(doc["Device"][0]["KeyList"][64]["Assignment"].asInt(), static_cast<int>(kKeySlotTable[64]));
    EXPECT_EQ(doc["Device"][0]["KeyList"][65]["Assignment"].asInt(), 0x700000);
}

TEST(KeyboardDevice, StoreAssignmentGoesToTheSelectedSlot) {
    KeyboardRig rig;
    writeProfile(rig, defaultEntry());
    rig.keyboard.ApplyProfile(kUuid);
    EXPECT_FALSE(rig.keyboard.StoreAssignment(0x200005)) << "no slot selected";
    rig.keyboard.SelectSlot(64);
    EXPECT_TRUE(rig.keyboard.StoreAssignment(0x200305));
    EXPECT_EQ(rig.keyboard.Profile().CachedKeyList()[64].code(), 0x200305u);
    EXPECT_EQ(rig.keyboard.KeyCaptions()[64].keys,
              (std::vector<std::string>{"keyboard_key_LCtrl", "keyboard_key_LShift", "keyboard_key_B"}));
}

class PanelHost : public test::RecordingHost {
public:
    bool panelButtons(std::vector<std::pair<std::string, DeviceButton*>>& out) override {
        out = buttons;
        return true;
    }
    std::vector<std::pair<std::string, DeviceButton*>> buttons;
};

class FakeButton : public DeviceButton {
public:
    bool isVisible() const override { return visible; }
    void showLightColour(uint8_t r, uint8_t g, uint8_t b, uint8_t a) override {
        argb = CKestravaKeyboardDevice::ButtonColour(LightColour{r, g, b, a});
    }
    void setEnabled(bool) override {}
    bool visible = true;
    uint32_t argb = 0;
};

TEST(KeyboardDevice, ButtonsBindByTheirNumberWhateverTheCaseOfThePrefix) {
    using Kind = CKestravaKeyboardDevice::ButtonKind;
    Kind kind;
    int slot = -1;
    ASSERT_TRUE(CKestravaKeyboardDevice::ParseButtonName("Key_5", kind, slot));
    EXPECT_EQ(kind, Kind::Key);
    EXPECT_EQ(slot, 5);
    ASSERT_TRUE(CKestravaKeyboardDevice::ParseButtonName("LIGHT_169", kind, slot));
    EXPECT_EQ(kind, Kind::Light);
    EXPECT_EQ(slot, 169);
    EXPECT_FALSE(CKestravaKeyboardDevice::ParseButtonName("key5", kind, slot));
    EXPECT_FALSE(CKestravaKeyboardDevice::ParseButtonName("key_", kind, slot));
    EXPECT_FALSE(CKestravaKeyboardDevice::ParseButtonName("key_5a", kind, slot));
    EXPECT_FALSE(CKestravaKeyboardDevice::ParseButtonName("my_key_5", kind, slot));

    KeyboardRig rig;
    PanelHost host;
    FakeButton key5, light7, light200, hidden;
    hidden.visible = false;
    host.buttons = {{"Key_5", &key5}, {"light_7", &light7}, {"light_200", &light200}, {"light_8", &hidden}};
    rig.keyboard.SetHost(&host);
    rig.keyboard.SetPageLayout("XML/DeviceXml/keyboarddevice.xml");
    rig.keyboard.BuildButtonLists();
    EXPECT_EQ(rig.keyboard.KeyButton(5), static_cast<DeviceButton*>(&key5));
    EXPECT_EQ(rig.keyboard.LightButton(7), static_cast<DeviceButton*>(&light7));
    EXPECT_EQ(light7.argb, 0xFFFFFFFFu) << "light buttons start white";
    EXPECT_EQ(light200.argb, 0u) << "beyond the list: not bound";
    rig.keyboard.BuildLightFrame();
    EXPECT_EQ(light7.argb, CKestravaKeyboardDevice::ButtonColour(rig.keyboard.Engine().SlotColour(7)));
    EXPECT_EQ(hidden.argb, 0u) << "a hidden button shows nothing";
    EXPECT_EQ(rig.keyboard.LightButtonColours()[8], 0u);
    rig.keyboard.SetHost(&rig.host);
}

TEST(KeyboardDevice, AProfileThatCannotBeNamedSafelyIsRefused) {
    KeyboardRig rig;
    EXPECT_EQ(rig.keyboard.ApplyProfile("../escape"), -1);
    EXPECT_TRUE(rig.link->writtenPackets().empty());
    // A closed channel: nothing reaches the keyboard, the profile still loads.
    rig.keyboard.Channel().SetOpen(false);
    writeProfile(rig, defaultEntry());
    EXPECT_EQ(rig.keyboard.ApplyProfile(kUuid), 0);
    EXPECT_TRUE(rig.link->writtenPackets().empty());
}

} // namespace
} // namespace talyx

namespace talyx {
namespace {

// A host whose interface thread is the test's: handlers queue until the test runs them.
struct QueuingHost : test::RecordingHost {
    void postToInterface(std::function<void()> fn) override {
        std::lock_guard<std::mutex> lock(mutex);
        queue.push_back(std::move(fn));
    }
    // Runs what has arrived until `done` holds or the time is up.
    bool pumpUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
        for (int waited = 0; waited < timeoutMs; waited += 2) {
            std::vector<std::function<void()>> now;
            {
                std::lock_guard<std::mutex> lock(mutex);
                now.swap(queue);
            }
            for (auto& fn : now)
                fn();
            if (done())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return done();
    }
    std::mutex mutex;
    std::vector<std::function<void()>> queue;
};

// With its worker running, the keyboard's page start, lighting changes and frames run off
// the calling thread, in the order the keyboard expects, with results back on it.
TEST(KeyboardWorker, PageStartChangesAndFramesRunOnTheWorker) {
    KeyboardRig rig;
    Json::Value entry = defaultEntry();
    entry["LightInfo"]["SelectItem"] = 5; // breathing: a frame mode
    writeProfile(rig, entry);
    QueuingHost host;
    rig.keyboard.SetHost(&host);
    rig.keyboard.SetLightingControl(1);
    ASSERT_TRUE(rig.keyboard.StartCommandWorker());
    const auto caller = std::this_thread::get_id();

    int answer = -99;
    std::thread::id answeredOn;
    rig.keyboard.PageStart(kUuid, true, [&](int r) {
        answer = r;
        answeredOn = std::this_thread::get_id();
    });
    ASSERT_TRUE(host.pumpUntil([&] { return answer != -99; }));
    EXPECT_EQ(answer, 0);
    EXPECT_EQ(answeredOn, caller);
    EXPECT_TRUE(rig.keyboard.HasKeyTable());
    EXPECT_GE(host.refreshes, 1);
    const std::vector<uint8_t> start = rig.commandOrder();
    ASSERT_GE(start.size(), 3u);
    EXPECT_EQ(start[0], 0x01) << "the key table first";
    EXPECT_EQ(start[1], 0x03);

    auto frames = [&] {
        std::lock_guard<std::mutex> lock(rig.link->mutex);
        return rig.firmware.FrameCount();
    };
    EXPECT_EQ(frames(), 0u) << "no frame before the page says it has started";
    rig.keyboard.EnableFrames(true);
    ASSERT_TRUE(host.pumpUntil([&] { return frames() >= 10; }));

    // Two quick changes merge into one record write with the later values.
    std::vector<int> results;
    LightInfo light = rig.keyboard.CurrentLightInfo();
    for (int level : {1, 2}) {
        light.light = level;
        rig.keyboard.ChangeLighting(light, [&](int r) { results.push_back(r); });
    }
    ASSERT_TRUE(host.pumpUntil([&] { return results.size() == 2; }));
    EXPECT_EQ(results, (std::vector<int>{kResultSuccess, kResultSuccess}));
    {
        std::lock_guard<std::mutex> lock(rig.link->mutex);
        EXPECT_EQ(rig.firmware.Records()[2], 2);
    }
    const uint64_t streamed = frames();
    ASSERT_TRUE(host.pumpUntil([&] { return frames() >= streamed + 5; })) << "frames go on";
    rig.keyboard.StopWorkers();
    EXPECT_FALSE(rig.keyboard.Commands().Running());
    rig.keyboard.SetHost(&rig.host);
}

} // namespace
} // namespace talyx
