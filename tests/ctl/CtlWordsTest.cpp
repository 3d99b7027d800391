// The words of talyxctl and of the automation interface, without a bus: what the
// arguments ask for, and the keys, actions, modes and settings they name.
#include <QVariantMap>
#include <gtest/gtest.h>

#include "app/AutomationActions.h"
#include "ctl/CtlCommands.h"
#include "keyboard/KeyTables.h"

using namespace talyx;
using namespace talyx::ctl;

TEST(CtlArguments, MapEachCommandToItsCallAndRefuseBadUsage) {
    // Options go anywhere, in both forms (the commands themselves run end to end).
    Invocation inv;
    QString error;
    ASSERT_TRUE(ParseArguments({"profile", "new", "--device=keyboard", "--json"}, inv, error));
    EXPECT_EQ(inv.method, "NewProfile");
    EXPECT_EQ(inv.device, "keyboard");
    EXPECT_TRUE(inv.json);
    // Values of lighting and settings go as one dictionary; numbers as numbers.
    ASSERT_TRUE(ParseArguments({"lighting", "--mode", "3", "--brightness=4", "--colour", "00ff00"}, inv, error));
    EXPECT_EQ(inv.method, "SetLighting");
    const QVariantMap light = inv.arguments.value(0).toMap();
    EXPECT_EQ(light.value("mode"), QVariant("3"));
    EXPECT_EQ(light.value("brightness"), QVariant(4));
    EXPECT_EQ(light.value("colour"), QVariant("00ff00"));
    Invocation set;
    ASSERT_TRUE(ParseArguments({"settings", "--win-lock", "off"}, set, error));
    EXPECT_EQ(set.arguments.value(0).toMap().value("win-lock"), QVariant("off"));
    // A relative file is the caller's, not the program's.
    Invocation file;
    ASSERT_TRUE(ParseArguments({"profile", "import", "p.json"}, file, error));
    EXPECT_TRUE(file.arguments.value(0).toString().startsWith('/'));

    const QStringList bad[] = {{},
                               {"frob"},
                               {"profile"},
                               {"profile", "select"},
                               {"profile", "new", "extra"},
                               {"profile", "move"},
                               {"assign", "A"},
                               {"lighting", "--speed"},
                               {"lighting", "--speed", "fast"},
                               {"lighting", "--volume", "3"},
                               {"settings", "--brightness", "3"},
                               {"--device", "phone", "devices"},
                               {"--device"}};
    for (const QStringList& args : bad) {
        Invocation i;
        QString e;
        EXPECT_FALSE(ParseArguments(args, i, e)) << args.join(' ').toStdString();
        EXPECT_FALSE(e.isEmpty());
    }
}

TEST(AutomationWords, KeysAndActionsBecomeTheCodesOfTheKeyPage) {
    const int a = KeySlotOfName("a");
    ASSERT_GE(a, 0);
    EXPECT_EQ(kKeySlotTable[a], 0x200004u);
    EXPECT_EQ(KeyNameOfSlot(a), "A");
    EXPECT_EQ(KeySlotOfName("ESC"), KeySlotOfName("Esc"));
    EXPECT_GE(KeySlotOfName("F1"), 0);
    EXPECT_EQ(KeySlotOfName("NoSuchKey"), -1);
    EXPECT_EQ(KeySlotOfName(""), -1);

    const std::vector<std::string> macros = {"Combo", "Build"};
    const uint32_t current = 0x200004, defaultCode = 0x200004;
    struct Case {
        const char* action;
        uint32_t code;
    } cases[] = {
        {"key:B", 0x200005},
        {"key:Ctrl+C", 0x200106},
        {"key:rshift+alt+a", 0x202404},
        {"key:LCtrl", 0x200100},
        {"mouse:right", 0x100200},
        {"mouse:left", 0x100100},
        {"media:play-pause", 0x30CD00},
        {"media:volume-up", 0x30E900},
        {"system:sleep", 0x400200},
        {"macro:build", 0x700100},
        {"disabled", 0x000000},
        {"default", defaultCode},
    };
    for (const Case& c : cases) {
        uint32_t code = 0xDEAD;
        std::string error;
        ASSERT_TRUE(ParseKeyAction(c.action, current, defaultCode, macros, code, error)) << c.action << error;
        EXPECT_EQ(code, c.code) << c.action;
        // What is shown reads back as the same code.
        uint32_t again = 0;
        if (std::string(c.action) != "default") {
            ASSERT_TRUE(ParseKeyAction(KeyActionName(code, macros), current, defaultCode, macros, again, error))
                << KeyActionName(code, macros);
            EXPECT_EQ(again, code) << KeyActionName(code, macros);
        }
    }
    for (const char* bad : {"key:", "key:A+B", "key:Nope", "mouse:side", "media:louder", "macro:Missing",
                            "system:", "frob", "frob:x", ""}) {
        uint32_t code = 0x123456;
        std::string error;
        EXPECT_FALSE(ParseKeyAction(bad, current, defaultCode, macros, code, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
        EXPECT_EQ(code, 0x123456u) << bad;
    }
    EXPECT_EQ(KeyActionName(0x7B0000, macros), "code:0x7B0000");
    EXPECT_EQ(KeyActionName(0x700500, macros), "code:0x700500") << "a macro the library does not hold";
}

TEST(AutomationWords, ModesColoursAndSettings) {
    std::vector<PresetLightMode> presets = {
        {"light_mode_wave", true, 0}, {"light_mode_static", true, 3}, {"light_mode_hidden", false, 4}};
    const std::vector<std::string> shown = {"Wave", "Statisch", "Hidden"};
    EXPECT_EQ(LightModeOfName("static", presets, shown), 1);
    EXPECT_EQ(LightModeOfName("LIGHT_MODE_STATIC", presets, shown), 1);
    EXPECT_EQ(LightModeOfName("statisch", presets, shown), 1);
    EXPECT_EQ(LightModeOfName("0", presets, shown), 0);
    EXPECT_EQ(LightModeOfName("2", presets, shown), -1) << "a preset that is not shown";
    EXPECT_EQ(LightModeOfName("hidden", presets, shown), -1);
    EXPECT_EQ(LightModeOfName("99999999999", presets, shown), -1);
    EXPECT_EQ(LightModeOfName("", presets, shown), -1);

    uint8_t r = 1, g = 2, b = 3;
    EXPECT_TRUE(ParseColour("#0a80Ff", r, g, b));
    EXPECT_EQ(std::vector<int>({r, g, b}), std::vector<int>({0x0A, 0x80, 0xFF}));
    for (const char* bad : {"12345", "1234567", "GG0000", "", "#"}) {
        EXPECT_FALSE(ParseColour(bad, r, g, b)) << bad;
    }

    struct Setting {
        const char* name;
        const char* value;
        bool ok;
        SettingControl control;
        int out;
    } settings[] = {
        {"report-rate", "125", true, SettingControl::ReportRate, 0},
        {"report-rate", "3", false, SettingControl::ReportRate, 0},
        {"repeat-delay", "750", true, SettingControl::RepeatDelay, 2},
        {"repeat-rate", "31", true, SettingControl::RepeatRate, 31},
        {"repeat-rate", "32", false, SettingControl::RepeatRate, 0},
        {"repeat-rate", "-1", false, SettingControl::RepeatRate, 0},
        {"win-lock", "0", true, SettingControl::WinLock, 0},
        {"volume", "3", false, SettingControl::WinLock, 0},
    };
    for (const Setting& s : settings) {
        SettingControl control = SettingControl::SixKey;
        int out = -7;
        std::string error;
        EXPECT_EQ(ParseSettingValue(s.name, s.value, control, out, error), s.ok) << s.name << " " << s.value;
        if (s.ok) {
            EXPECT_EQ(control, s.control) << s.name;
            EXPECT_EQ(out, s.out) << s.name << " " << s.value;
        } else {
            EXPECT_FALSE(error.empty());
        }
    }
}
