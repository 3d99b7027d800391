// The keyboard's pure rules: macro files and the macro image, the settings tab's showing
// rules, and the key captions.

#include <gtest/gtest.h>

#include "keyboard/KeyCaptions.h"
#include "keyboard/KeyboardSettings.h"
#include "keyboard/MacroImage.h"
#include "platform/JsonFile.h"
#include "platform/Paths.h"
#include "profile/MacroLibrary.h"
#include "support/TestSupport.h"
#include "vdev/VdevFraming.h"

namespace talyx {
namespace {

using vdev::ToHex;

std::string eventHex(const MacroEvent& e) {
    uint8_t out[4];
    EncodeMacroEvent(e, out);
    return ToHex(out, 4);
}

TEST(MacroImage, EventsEncodeDelayTypeWithThePressBitAndButton) {
    EXPECT_EQ(eventHex(MacroEvent{50, 1, 0x04, false}), "32000104");
    EXPECT_EQ(eventHex(MacroEvent{50, 1, 0x04, true}), "32008104");
    EXPECT_EQ(eventHex(MacroEvent{0x1234, 10, 0xE0, true}), "34128ae0");
    // A stored type that already has bit 7 set is an up event when the action says so.
    EXPECT_EQ(eventHex(MacroEvent{0, 0x85, 1, false}), "00000501");
}

TEST(MacroImage, LayoutHeaderOffsetsAndRecords) {
    const std::vector<std::vector<MacroEvent>> macros = {{}, {{1, 2, 3, true}, {4, 5, 6, false}}};
    const std::vector<uint8_t> image = BuildMacroImage(macros);
    // An empty macro takes its 4-byte record and its 2-byte offset entry.
    EXPECT_EQ(ToHex(image), "aa552400020000000000000000000000"
                            "1400"
                            "1800"
                            "00000000"
                            "02000000"
                            "01008203"
                            "04000506");
    EXPECT_EQ(MacroImageSize({0, 2}), image.size());
    EXPECT_EQ(MacroOverflowCount(130, 128), 1);
    EXPECT_EQ(MacroOverflowCount(132, 128), 2);
    EXPECT_EQ(MacroOverflowCount(134, 128), 2);
    EXPECT_EQ(MacroOverflowCount(128, 128), 0);
    // Too big for the 16-bit size field: no image rather than a wrong one.
    EXPECT_TRUE(BuildMacroImage({std::vector<MacroEvent>(16400)}).empty());
}

TEST(MacroLibrary, ReadsIndexAndFilesAndToleratesWhatIsMissing) {
    test::ScratchDir dir;
    const std::string folder = dir.file("keyboard");
    ASSERT_TRUE(MakeDirs(folder));
    MacroLibrary library(folder);
    EXPECT_FALSE(library.Load()) << "no macro.config";
    EXPECT_EQ(library.Count(), 0u);

    Json::Value index(Json::objectValue);
    index["MacroInfo"][0]["MacroName"] = "Combo";
    index["MacroInfo"][0]["Guid"] = "2024_03_05_14_07_09_123";
    index["MacroInfo"][1]["MacroName"] = "Escape";
    index["MacroInfo"][1]["Guid"] = "../outside";
    index["MacroInfo"][2]["MacroName"] = "Missing";
    index["MacroInfo"][2]["Guid"] = "gone";
    ASSERT_TRUE(writejsonFile(JoinPath(folder, "macro.config"), index));
    Json::Value file(Json::objectValue);
    const char* delays[] = {"50", "70000", "-5", "abc", "99999999999999999999"};
    for (const char* d : delays) {
        Json::Value e(Json::objectValue);
        e["Action"] = "down";
        e["Type"] = 266; // cut to a byte: 10
        e["Button"] = 4;
        e["Delay"] = d;
        file["Events"].append(e);
    }
    Json::Value numeric(Json::objectValue);
    numeric["Action"] = "released"; // anything but "down" is up
    numeric["Delay"] = 20;
    file["Events"].append(numeric);
    ASSERT_TRUE(writejsonFile(JoinPath(folder, "2024_03_05_14_07_09_123.mac"), file));
    ASSERT_TRUE(writejsonFile(dir.file("outside.mac"), file));

    ASSERT_TRUE(library.Load());
    EXPECT_EQ(library.Names(), (std::vector<std::string>{"Combo", "Escape", "Missing"}));
    const std::vector<MacroEvent> events = library.ReadEvents(0);
    ASSERT_EQ(events.size(), 6u);
    EXPECT_EQ(events[0].delay, 50);
    EXPECT_EQ(events[0].type, 10);
    EXPECT_TRUE(events[0].down);
    EXPECT_EQ(events[1].delay, 65535) << "too long a delay is held at the longest";
    EXPECT_EQ(events[2].delay, 0);
    EXPECT_EQ(events[3].delay, 0);
    EXPECT_EQ(events[4].delay, 65535);
    EXPECT_EQ(events[5].delay, 20);
    EXPECT_FALSE(events[5].down);
    EXPECT_TRUE(library.ReadEvents(1).empty()) << "a Guid with a path must not leave the folder";
    EXPECT_TRUE(library.ReadEvents(2).empty());
    EXPECT_TRUE(library.ReadEvents(7).empty());
}

TEST(KeyboardSettingsRules, ShowingRulesAndControlNames) {
    KeyboardSettings s;
    EXPECT_EQ(ShownOptionIndex(7), 0);
    EXPECT_EQ(ShownOptionIndex(-1), 0);
    EXPECT_EQ(ShownOptionIndex(3), 3);
    EXPECT_EQ(RepeatDelayLabelText("Delay:", 2), "Delay:750ms");
    EXPECT_EQ(RepeatDelayLabelText("", 0), "250ms");
    EXPECT_EQ(RepeatDelayLabelText("x", 9), "x250ms");

    SettingControl control;
    int option = -1;
    ASSERT_TRUE(SettingControlForName("polling_rate_option_2", control, option));
    EXPECT_EQ(control, SettingControl::ReportRate);
    EXPECT_EQ(option, 2);
    ASSERT_TRUE(SettingControlForName("repeat_delay_check_3", control, option));
    EXPECT_EQ(control, SettingControl::RepeatDelay);
    ASSERT_TRUE(SettingControlForName("winlockflag_option", control, option));
    EXPECT_EQ(control, SettingControl::WinLock);
    EXPECT_FALSE(SettingControlForName("polling_rate_option_4", control, option));
    EXPECT_FALSE(SettingControlForName("polling_rate_option_", control, option));

    EXPECT_TRUE(SettingReachesKeyboard(SettingControl::ReportRate));
    EXPECT_TRUE(SettingReachesKeyboard(SettingControl::SixKey));
    EXPECT_FALSE(SettingReachesKeyboard(SettingControl::RepeatRate));
    EXPECT_FALSE(SettingReachesKeyboard(SettingControl::RepeatDelay));
    SetSettingValue(s, SettingControl::WFlag, 5);
    EXPECT_EQ(s.wFlag, 1) << "a switch is 0 or 1";
}

TEST(KeyCaptionRules, ModifiersMacrosShortcutsAndNoAction) {
    const std::vector<std::string> macros = {"Reload", "Burst"};
    using Keys = std::vector<std::string>;
    EXPECT_EQ(CaptionForAssignment(0x200000, 0, macros).keys, Keys{"close_text"});
    EXPECT_EQ(CaptionForAssignment(0x000000, 0, macros).keys, Keys{"close_text"});
    EXPECT_EQ(CaptionForAssignment(0x200004, 0, macros).keys, Keys{"keyboard_key_A"});
    EXPECT_EQ(CaptionForAssignment(0x204406, 0, macros).keys,
              (Keys{"keyboard_key_LAlt", "keyboard_key_RAlt", "keyboard_key_C"}));
    EXPECT_EQ(CaptionForAssignment(0x200200, 0, macros).keys, Keys{"keyboard_key_LShift"});
    EXPECT_EQ(CaptionForAssignment(0x201006, 0, macros).keys, Keys{"custem_copy"});
    EXPECT_EQ(CaptionForAssignment(0x700100, 0, macros).text, "Burst");
    EXPECT_EQ(CaptionForAssignment(0x710003, 0, macros).text, "Reload");
    EXPECT_EQ(CaptionForAssignment(0x700500, 0x200029, macros).keys, Keys{"keyboard_key_Esc"});
    EXPECT_EQ(CaptionForAssignment(0x30E900, 0, macros).keys, Keys{"media_vol_add"});
    EXPECT_EQ(CaptionForAssignment(0x400200, 0, macros).keys, Keys{"system_sleep"});
    EXPECT_EQ(CaptionForAssignment(0x100400, 0, macros).keys, Keys{"mouse_key_middle"});
    EXPECT_EQ(CaptionForAssignment(0x1212FD, 0, macros).keys, Keys{"mouse_key_down_Swing"});
    EXPECT_EQ(CaptionForAssignment(0xD0A203, 0, macros).keys, Keys{"keyboard_key_M3"});
    EXPECT_EQ(CaptionForAssignment(0xA01B00, 0, macros).keys, Keys{"keyboard_key_GM"});

    auto upper = [](const std::string& k) { return k.substr(13); };
    EXPECT_EQ(CaptionText(CaptionForAssignment(0x200306, 0, macros), upper), "LCtrl+LShift+C");
    EXPECT_EQ(CaptionText(CaptionForAssignment(0x700000, 0, macros), upper), "Reload");
}

} // namespace
} // namespace talyx
