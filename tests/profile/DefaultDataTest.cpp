#include <set>

#include <gtest/gtest.h>

#include "platform/JsonFile.h"
#include "profile/CKeyboardProfiledata.h"
#include "profile/DefaultLightNames.h"
#include "profile/ProfileFiles.h"
#include "tests/profile/ProfileTestSupport.h"

#if defined(TALYX_HAVE_KEY_TABLES)
#include "keyboard/KeyTables.h"
#endif

using namespace talyx;
using talyx::test::ProfileTest;

namespace {

const char* const kFamilies[] = {"mouse", "keyboard", "MousePad", "HD"};

// Slots as the keyboard page lays them out, with the factory code each holds.
struct SlotSample {
    int slot;
    uint32_t code;
};
const SlotSample kSlotSamples[] = {
    {0, 0x200029},   {1, 0x20003A},   {15, 0x200048},  {16, 0xA01B00}, {17, 0xA01100}, {18, 0x200000},
    {21, 0x200035},  {22, 0x20001E},  {31, 0x200027},  {41, 0x200056}, {42, 0x20002B}, {55, 0x200031},
    {62, 0x200032},  {63, 0x200039},  {75, 0x200028},  {79, 0x20008A}, {83, 0x200088}, {84, 0x200200},
    {95, 0x202000},  {96, 0x200052},  {103, 0x200085}, {104, 0x200000}, {105, 0x200100}, {106, 0x200800},
    {108, 0x20002C}, {110, 0xA00100}, {111, 0x200065}, {118, 0x200058}, {119, 0x200057}, {120, 0xD0A201},
    {124, 0xD0A205}, {125, 0x208000}, {126, 0x200000}, {169, 0x200000},
};

} // namespace

TEST_F(ProfileTest, ShippedDataFilesAreInTheStyledLayout) {
    std::vector<std::string> files = {DefaultLightNamesPath()};
    for (const char* family : kFamilies)
        files.push_back(DefaultDocumentPath(family));
    for (const std::string& file : files) {
        const std::string text = readText(file);
        ASSERT_FALSE(text.empty()) << file;
        const Json::Value root = parseJson(text);
        ASSERT_TRUE(root.isObject()) << file;
        EXPECT_EQ(text, styledJson(root)) << file;
        ASSERT_TRUE(root.isMember("DefaultLightName") || root["Device"][0].isObject()) << file;
    }
}

TEST_F(ProfileTest, DefaultKeyboardKeyListHoldsTheSlotCodes) {
    const Json::Value keys = readjsonFile(DefaultDocumentPath("keyboard"))["Device"][0]["KeyList"];
    ASSERT_EQ(keys.size(), 170u);
    for (Json::ArrayIndex i = 0; i < keys.size(); ++i) {
        ASSERT_TRUE(keys[i]["Assignment"].isIntegral()) << i;
        EXPECT_EQ(keys[i]["Assignment"], keys[i]["DefaultAssignment"]) << "slot " << i;
    }
    for (const SlotSample& s : kSlotSamples)
        EXPECT_EQ(keys[s.slot]["Assignment"].asUInt(), s.code)
            << "slot " << s.slot << std::hex << ": 0x" << keys[s.slot]["Assignment"].asUInt() << " expected 0x" << s.code;

    // Every non-empty key appears once.
    std::set<uint32_t> seen;
    for (const Json::Value& k : keys) {
        const uint32_t code = k["Assignment"].asUInt();
        if (code != 0x200000) {
            EXPECT_TRUE(seen.insert(code).second) << std::hex << "0x" << code << " twice";
        }
    }
    EXPECT_EQ(seen.size(), 170u - 3 - 1 - 44);

#if defined(TALYX_HAVE_KEY_TABLES)
    for (int i = 0; i < kKeySlots; ++i)
        EXPECT_EQ(keys[Json::ArrayIndex(i)]["Assignment"].asUInt(), kKeySlotTable[i])
            << "slot " << i << std::hex << ": document 0x" << keys[Json::ArrayIndex(i)]["Assignment"].asUInt()
            << ", slot table 0x" << kKeySlotTable[i];
#endif
}

TEST_F(ProfileTest, EveryModeTheLightingPagesOfferHasANameAndAValue) {
    // Modes the lighting page's mode tables know, per family row.
    const int modeCount[4] = {12, 31, 9, 9};
    const Json::Value root = readjsonFile(DefaultLightNamesPath());
    ASSERT_EQ(root["DefaultLightName"].size(), 4u);
    ASSERT_EQ(root["AreaLightName"].size(), 4u);
    for (int row = 0; row < 4; ++row) {
        const auto modes = ReadPresetLightModes(row, DefaultLightNamesPath());
        ASSERT_EQ(modes.size(), size_t(modeCount[row])) << kFamilies[row];
        for (size_t i = 0; i < modes.size(); ++i) {
            const Json::Value& e = root["DefaultLightName"][row][Json::ArrayIndex(i)];
            EXPECT_TRUE(e["LightName"].isString() && e["visible"].isBool() && e["value"].isInt()) << row << "/" << i;
            EXPECT_EQ(modes[i].name.rfind("light_mode_", 0), 0u) << modes[i].name;
            EXPECT_EQ(modes[i].value, int(i)) << "mode index i is sent as value i";
        }

        // The family's default document has one zone per lighting area and a mode that is
        // offered to the user.
        CBasicProfiledata data;
        data.SetProfilePath(path("d.Json", kFamilies[row]));
        data.SetDefaultPath(DefaultDocumentPath(kFamilies[row]));
        data.LoadDeviceEntry();
        const LightInfo li = data.GetLightInfo();
        ASSERT_LT(li.selectItem, modes.size()) << kFamilies[row];
        EXPECT_TRUE(modes[li.selectItem].visible) << kFamilies[row];
        EXPECT_LE(li.light, 4);
        EXPECT_LE(li.speed, 4);
        EXPECT_EQ(data.GetLightList().size(), ReadAreaLightNames(row, DefaultLightNamesPath()).size()) << kFamilies[row];
    }
    // Keyboard modes with no page of controls are not offered.
    const auto keyboard = ReadPresetLightModes(1, DefaultLightNamesPath());
    EXPECT_FALSE(keyboard[0].visible);
    EXPECT_FALSE(keyboard[19].visible);
    EXPECT_TRUE(keyboard[29].visible);
    EXPECT_TRUE(ReadPresetLightModes(4, DefaultLightNamesPath()).empty());
}
