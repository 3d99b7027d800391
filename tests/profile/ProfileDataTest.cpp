#include <algorithm>
#include <cstdio>
#include <dirent.h>
#include <vector>

#include <gtest/gtest.h>

#include "platform/Clock.h"
#include "platform/JsonFile.h"
#include "profile/CHs6533Profiledata.h"
#include "profile/CKeyboardProfiledata.h"
#include "profile/CMouseProfiledata.h"
#include "profile/ProfileFiles.h"
#include "tests/profile/ProfileTestSupport.h"

using namespace talyx;
using talyx::test::ProfileTest;

namespace {

std::vector<std::string> filesIn(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            const std::string n = e->d_name;
            if (n != "." && n != "..")
                names.push_back(n);
        }
        closedir(d);
    }
    return names;
}

size_t countWithSuffix(const std::vector<std::string>& names, const std::string& suffix) {
    size_t n = 0;
    for (const auto& name : names)
        n += name.size() >= suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
    return n;
}

class ProfileDocument : public ProfileTest {
protected:
    void SetUp() override {
        m_doc = path("p.Json");
        m_kb.SetProfilePath(m_doc);
        m_kb.SetDefaultPath(DefaultDocumentPath("keyboard"));
    }
    Json::Value defaultEntry() const { return readjsonFile(DefaultDocumentPath("keyboard"))["Device"][0]; }

    std::string m_doc;
    CKeyboardProfiledata m_kb;
};

} // namespace

TEST_F(ProfileDocument, MissingOrDamagedDocumentIsRebuiltFromTheDefaultAndTheDamagedOneKept) {
    // Missing: created holding only the default entry.
    const Json::Value entry = m_kb.LoadDeviceEntry();
    ASSERT_TRUE(entry.isObject());
    EXPECT_EQ(entry, defaultEntry());
    Json::Value expected(Json::objectValue);
    expected["Device"][0] = defaultEntry();
    EXPECT_EQ(readjsonFile(m_doc), expected);
    EXPECT_EQ(m_kb.GetKeyList().size(), 170u);

    // Invalid JSON, a bare array, a number, an entry that is no object, "Device" that is
    // no array: each is rebuilt, and each damaged text is kept under its own name.
    const std::vector<std::string> damaged = {"{ \"Device\": [ {\"LightInfo\": ", "[1, 2, 3]", "42",
                                              "{\"Device\": [7]}", "{\"Device\": {\"0\": 1}}"};
    for (const std::string& text : damaged) {
        writeText(m_doc, text);
        CKeyboardProfiledata kb;
        kb.SetProfilePath(m_doc);
        kb.SetDefaultPath(DefaultDocumentPath("keyboard"));
        EXPECT_EQ(kb.LoadDeviceEntry(), defaultEntry()) << text;
        EXPECT_EQ(readjsonFile(m_doc)["Device"][0], defaultEntry()) << text;
    }
    const auto names = filesIn(folder());
    ASSERT_EQ(countWithSuffix(names, kCorruptSuffix), damaged.size());
    EXPECT_EQ(readText(m_doc + ".corrupt"), damaged[0]) << "the first copy is never overwritten";
    std::vector<std::string> kept;
    for (const auto& n : names)
        if (n.find(".corrupt") != std::string::npos)
            kept.push_back(readText(path(n)));
    for (const std::string& text : damaged)
        EXPECT_NE(std::find(kept.begin(), kept.end(), text), kept.end()) << text;
}

TEST_F(ProfileDocument, NewProfileDocumentGetsItsEntryAndKeepsItsNames) {
    writeText(m_doc, "{\"profilename\": \"Game\", \"profileUUID\": \"u1\"}");
    m_kb.LoadDeviceEntry();
    const Json::Value root = readjsonFile(m_doc);
    EXPECT_EQ(root["profilename"].asString(), "Game");
    EXPECT_EQ(root["profileUUID"].asString(), "u1");
    EXPECT_EQ(root["Device"][0], defaultEntry());
    EXPECT_EQ(countWithSuffix(filesIn(folder()), kCorruptSuffix), 0u) << "nothing was damaged";
}

TEST_F(ProfileDocument, FieldsAreCutToTheirWidthAndMissingOnesReadAsZero) {
    writeText(m_doc, R"({"Device": [{
        "LightInfo": {"SelectItem": 5, "Light": 300, "Speed": -1, "Red": "12", "Green": 2.9, "Blue": 1e30,
                      "ZZCCLedMode": 4294967296, "CustomGroup": true},
        "SystemStages": {"Repeat": 70000, "RepeatDelay": 2, "PollingRate": 7},
        "AudioLightInfo": {"7ColorFlags": 5},
        "KeyList": [{"Assignment": 4294967295, "DefaultAssignment": 2097156}, 5, {"Assignment": "x"}]}]})");
    m_kb.LoadDeviceEntry();
    const LightInfo li = m_kb.GetLightInfo();
    EXPECT_EQ(li.selectItem, 5);
    EXPECT_EQ(li.light, 44) << "300 in an 8-bit field";
    EXPECT_EQ(li.speed, 255);
    EXPECT_EQ(li.fx, 0) << "missing";
    EXPECT_EQ(li.multiColor, 0) << "missing flag reads false";
    EXPECT_EQ(li.red, 0) << "a string is not a number";
    EXPECT_EQ(li.green, 2);
    EXPECT_EQ(li.blue, 255) << "clamped to the 64-bit range, then cut";
    EXPECT_EQ(li.zzccLedMode, 0);
    EXPECT_EQ(li.customGroup, 1);

    const auto words = m_kb.GetSystemStages();
    EXPECT_EQ(words[0], (2u << 16) | (70000u & 0xFFFF)) << std::hex << words[0];
    EXPECT_EQ(words[1], 7u << 16) << std::hex << words[1];
    EXPECT_EQ(words[2], 0u);

    const AudioLightInfo audio = m_kb.GetAudioLightInfo();
    EXPECT_EQ(audio.sevenColor, 1);
    EXPECT_EQ(audio.colorType, 0);

    const KeyList keys = m_kb.GetKeyList();
    ASSERT_EQ(keys.size(), 3u);
    EXPECT_EQ(keys[0].code(), 0xFFFFFFu) << std::hex << keys[0].code();
    EXPECT_EQ(keys[0].defaultCode(), 0x200004u) << std::hex << keys[0].defaultCode();
    EXPECT_EQ(keys[1].code(), 0u);
    EXPECT_EQ(keys[2].code(), 0u);
    EXPECT_EQ(keys[2].index, 2);

    // Missing members read as zeros and empty lists; the group index as 0.
    m_kb.SetDeviceEntry(json("{}"));
    EXPECT_EQ(m_kb.GetLightInfo(), LightInfo());
    EXPECT_EQ(m_kb.GetSystemStages(), (std::array<uint32_t, 3>{0, 0, 0}));
    EXPECT_TRUE(m_kb.GetLightList().empty());
    EXPECT_TRUE(m_kb.GetKeyList().empty());
    EXPECT_EQ(m_kb.GetCustomGroupIndex(), 0);
}

TEST_F(ProfileDocument, NullZonesAreKeptAndWrittenBackAsTheyWereRead) {
    const std::string text = R"({"Device": [{"LightList": [null,
        {"LEDREGMode": 3, "LEDBrightness": 4, "LEDSpeed": 2, "LEDDirection": 1, "LEDMultiColor": 0,
         "red": 10, "green": 20, "blue": 30}, null]}], "profilename": "A", "profileUUID": "B"})";
    writeText(m_doc, text);
    m_kb.LoadDeviceEntry();
    const auto zones = m_kb.GetLightList();
    ASSERT_EQ(zones.size(), 3u);
    EXPECT_EQ(zones[0].present, 0);
    EXPECT_EQ(zones[0].regMode, 0);
    EXPECT_EQ(zones[1].present, 1);
    EXPECT_EQ(zones[1].regMode, 3);
    EXPECT_EQ(zones[1].direction, 1);
    EXPECT_EQ(zones[1].blue, 30);
    EXPECT_EQ(zones[2].present, 0);

    ASSERT_TRUE(m_kb.SaveProfile());
    EXPECT_EQ(readText(m_doc), styledJson(json(text))) << "unchanged values, styled layout";

    // Writing the zones back through the setter keeps the nulls too.
    m_kb.SetLightList(zones);
    ASSERT_TRUE(m_kb.SaveProfile());
    EXPECT_EQ(readText(m_doc), styledJson(json(text)));
}

TEST_F(ProfileDocument, FilesAreWrittenInTheStyledLayoutByteForByte) {
    writeText(m_doc, R"({"profileUUID":"u","Device":[{"LightInfo":{"Light":3,"MultiColor":1},"KeyList":[{"Assignment":2097156,"DefaultAssignment":2097156}],"Extra":[1,2]}],"profilename":"n"})");
    m_kb.LoadDeviceEntry();
    ASSERT_TRUE(m_kb.SaveProfile());
    const std::string expected = "{\n"
                                 "   \"Device\" : [\n"
                                 "      {\n"
                                 "         \"Extra\" : [ 1, 2 ],\n"
                                 "         \"KeyList\" : [\n"
                                 "            {\n"
                                 "               \"Assignment\" : 2097156,\n"
                                 "               \"DefaultAssignment\" : 2097156\n"
                                 "            }\n"
                                 "         ],\n"
                                 "         \"LightInfo\" : {\n"
                                 "            \"Light\" : 3,\n"
                                 "            \"MultiColor\" : 1\n"
                                 "         }\n"
                                 "      }\n"
                                 "   ],\n"
                                 "   \"profileUUID\" : \"u\",\n"
                                 "   \"profilename\" : \"n\"\n"
                                 "}\n";
    EXPECT_EQ(readText(m_doc), expected);
}

TEST_F(ProfileDocument, SavingReReadsTheFileSoOtherEntriesAndMembersSurvive) {
    m_kb.LoadDeviceEntry();
    // Meanwhile the profile list renames the profile and another entry appears.
    Json::Value root = readjsonFile(m_doc);
    root["profilename"] = "Renamed";
    root["Device"][1] = json(R"({"LightInfo": {"Light": 1}})");
    ASSERT_TRUE(writejsonFile(m_doc, root));

    LightInfo li = m_kb.GetLightInfo();
    li.light = 2;
    m_kb.SetLightInfo(li);
    ASSERT_TRUE(m_kb.SaveProfile());
    root = readjsonFile(m_doc);
    EXPECT_EQ(root["profilename"].asString(), "Renamed");
    EXPECT_EQ(root["Device"][1]["LightInfo"]["Light"].asInt(), 1);
    EXPECT_EQ(root["Device"][0]["LightInfo"]["Light"].asInt(), 2);
}

TEST_F(ProfileDocument, SettersPackAsTheDeviceCodeDoes) {
    m_kb.LoadDeviceEntry();
    // Byte n of the record is byte n mod 4 of word n / 4; bytes 8-10 stay in memory.
    m_kb.SetLightInfo(0x04030201u, 0x08070601u, 0x0BAAAAAAu, 0x0D0Cu);
    const LightInfo li = m_kb.CachedLightInfo();
    EXPECT_EQ(li.selectItem, 1);
    EXPECT_EQ(li.fx, 4);
    EXPECT_EQ(li.multiColor, 1);
    EXPECT_EQ(li.blue, 8);
    EXPECT_EQ(li.spare[0], 0xAA);
    EXPECT_EQ(li.zzccLedMode, 0x0B);
    EXPECT_EQ(li.customGroup, 0x0C);
    EXPECT_EQ(li.oldLedMode, 0x0D);
    uint32_t w0, w1, w2;
    uint16_t half;
    li.toWords(w0, w1, w2, half);
    EXPECT_EQ(w2, 0x0BAAAAAAu) << std::hex << w2;
    const Json::Value& stored = m_kb.DeviceEntry()["LightInfo"];
    EXPECT_EQ(stored["CustomGroup"].asInt(), 12);
    EXPECT_EQ(stored.getMemberNames().size(), 11u) << "bytes 8-10 are not in the file";
    EXPECT_EQ(m_kb.GetLightInfo().spare[0], 0xAA) << "a getter keeps the memory-only bytes";

    m_kb.SetSystemStages((1u << 16) | 25u, (3u << 16) | 1u, (1u << 16) | 0u);
    const Json::Value& s = m_kb.DeviceEntry()["SystemStages"];
    EXPECT_EQ(s["Repeat"].asInt(), 25);
    EXPECT_EQ(s["RepeatDelay"].asInt(), 1);
    EXPECT_EQ(s["Key6Flag"].asInt(), 1);
    EXPECT_EQ(s["PollingRate"].asInt(), 3);
    EXPECT_EQ(s["WFlag"].asInt(), 0);
    EXPECT_EQ(s["WinFlag"].asInt(), 1);

    m_kb.SetAudioLightInfo(0x30201003u, 0x01605040u, 1);
    const Json::Value& a = m_kb.DeviceEntry()["AudioLightInfo"];
    EXPECT_EQ(a["AudioMode"].asInt(), 3);
    EXPECT_EQ(a["BkColorB"].asInt(), 0x30);
    EXPECT_EQ(a["FgColorB"].asInt(), 0x60);
    EXPECT_EQ(a["7ColorFlags"].asInt(), 1);
    EXPECT_EQ(a["ColorTypeFlags"].asInt(), 1);

    // Only "Assignment" is written; the default comes from the default document.
    KeyList keys = m_kb.GetKeyList();
    keys[5].setCode(0x700201);
    keys[5].defaultType = 0x99;
    m_kb.SetKeyList(keys);
    m_kb.SetKeyAssignment(6, 0x100100);
    ASSERT_TRUE(m_kb.SaveProfile());
    CKeyboardProfiledata again;
    again.SetProfilePath(m_doc);
    again.LoadDeviceEntry();
    const KeyList reread = again.GetKeyList();
    EXPECT_EQ(reread[5].code(), 0x700201u) << std::hex << reread[5].code();
    EXPECT_EQ(reread[5].defaultCode(), 0x20003Eu) << std::hex << reread[5].defaultCode();
    EXPECT_EQ(reread[6].code(), 0x100100u) << std::hex << reread[6].code();
    EXPECT_EQ(again.GetSystemStages()[1], (3u << 16) | 1u);
}

TEST_F(ProfileDocument, CustomColoursFallBackToTheDefaultsPerGroupAndPerKey) {
    writeText(m_doc, R"({"Device": [{"CustomLightMode": {"CustomLightModeGroupIndex": 2,
        "LightColorInfo": [null, [{"Red": 1, "Green": 2, "Blue": 3, "Alpha": 255}, null]]}}]})");
    m_kb.LoadDeviceEntry();
    const std::vector<KeyColour> defaults(3, KeyColour{9, 9, 9, 9});
    EXPECT_EQ(m_kb.GetCustomGroupIndex(), 2);
    EXPECT_EQ(m_kb.GetCustomColours(0, defaults), defaults) << "null group";
    EXPECT_EQ(m_kb.GetCustomColours(5, defaults), defaults) << "missing group";
    const auto g1 = m_kb.GetCustomColours(1, defaults);
    ASSERT_EQ(g1.size(), 3u);
    EXPECT_EQ(g1[0], (KeyColour{1, 2, 3, 255}));
    EXPECT_EQ(g1[1], defaults[1]) << "null entry";
    EXPECT_EQ(g1[2], defaults[2]) << "beyond the stored list";

    m_kb.SetCustomColours(3, {{4, 5, 6, 7}});
    m_kb.SetCustomGroupIndex(3);
    EXPECT_EQ(m_kb.GetCustomColours(3, defaults)[0], (KeyColour{4, 5, 6, 7}));
    EXPECT_TRUE(m_kb.DeviceEntry()["CustomLightMode"]["LightColorInfo"][0].isNull()) << "other groups untouched";
    EXPECT_EQ(m_kb.GetCustomGroupIndex(), 3);
}

TEST_F(ProfileDocument, SecondEntryChangesAnotherProfileWithoutTouchingTheCurrentOne) {
    m_kb.LoadDeviceEntry();
    const std::string other = path("other.Json");
    writeText(other, "{\"profilename\": \"Other\"}");
    m_kb.LoadSecondEntry(other);
    KeyList keys = m_kb.GetSecondEntryKeyList();
    ASSERT_EQ(keys.size(), 170u);
    keys[0].setCode(0x200005);
    m_kb.SetSecondEntryKeyList(keys);
    ASSERT_TRUE(m_kb.SaveSecondEntry(other));
    const Json::Value root = readjsonFile(other);
    EXPECT_EQ(root["profilename"].asString(), "Other");
    EXPECT_EQ(root["Device"][0]["KeyList"][0]["Assignment"].asUInt(), 0x200005u);
    EXPECT_EQ(m_kb.GetKeyList()[0].code(), 0x200029u) << "the current profile keeps its keys";
}

TEST_F(ProfileDocument, CustomEffectStepsComeFromTheLibraryAndItsLightFiles) {
    const std::string library = path("quorv_light.config");
    m_kb.SetCustomEffectLibraryPath(library);
    EXPECT_FALSE(m_kb.LoadCustomEffectLibrary());
    EXPECT_TRUE(m_kb.GetCustomEffectSteps(0).empty());

    writeText(library, R"({"LightInfo": [[{"LightName": "A", "Guid": "g1"}, {"Guid": "../escape"}, {"Guid": "absent"}]]})");
    writeText(path("g1.light"), R"({"LEDEffectList": [
        {"LEDREGMode": 2, "LEDBrightness": 4, "LEDSpeed": 1, "LEDDirection": 1, "LEDMultiColor": 1,
         "red": 255, "green": 0, "blue": 10, "Time": 70000, "Cyle": 3},
        {"LEDREGMode": 0}]})");
    writeText(JoinPath(m_scratch.path(), "TALYX RGB Gaming keyboard/escape.light"), R"({"LEDEffectList": [{}]})");
    ASSERT_TRUE(m_kb.LoadCustomEffectLibrary());
    const auto steps = m_kb.GetCustomEffectSteps(0);
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_EQ(steps[0].regMode, 2);
    EXPECT_EQ(steps[0].blue, 10);
    EXPECT_EQ(steps[0].time, 70000u);
    EXPECT_EQ(steps[0].cycle, 3u);
    EXPECT_TRUE(m_kb.GetCustomEffectSteps(1).empty()) << "a Guid that is a path is not followed";
    EXPECT_TRUE(m_kb.GetCustomEffectSteps(2).empty());
    EXPECT_TRUE(m_kb.GetCustomEffectSteps(3).empty());
}

TEST_F(ProfileDocument, PathSettersIgnoreEmptyStringsAndNothingIsWrittenWithoutAPath) {
    m_kb.SetProfilePath("");
    EXPECT_EQ(m_kb.GetProfilePath(), m_doc);
    CBasicProfiledata none;
    EXPECT_TRUE(none.LoadDeviceEntry().isNull());
    EXPECT_FALSE(none.SaveProfile());
}

TEST_F(ProfileTest, MouseStagesOverwriteByIndexAndSurviveADocumentWithoutThem) {
    CMouseProfiledata mouse;
    mouse.SetProfilePath(path("m.Json", "mouse"));
    mouse.SetDefaultPath(DefaultDocumentPath("mouse"));
    mouse.LoadDeviceEntry();
    const auto stages = mouse.GetDpiStages();
    ASSERT_GE(stages.size(), 2u);
    EXPECT_EQ(mouse.GetActiveDpiStage(), 2);

    mouse.SetDeviceEntry(json(R"({"DPIStages": {"StageActive": 0, "StageDPIs": [{"StageDPIX": 70000, "StageDPIY": 100}]}})"));
    const auto merged = mouse.GetDpiStages();
    ASSERT_EQ(merged.size(), stages.size()) << "one stage read overwrites stage 0 only";
    EXPECT_EQ(merged[0].dpiX, 70000 & 0xFFFF);
    EXPECT_EQ(merged[1].dpiX, stages[1].dpiX);

    mouse.SetDeviceEntry(json("{}"));
    EXPECT_EQ(mouse.GetDpiStages().size(), stages.size()) << "no DPIStages: the cached stages stay";

    mouse.SetSystemStages((10u << 16) | 500u, (0u << 16) | 1u, (3u << 16) | 3u);
    EXPECT_EQ(mouse.DeviceEntry()["ReportStages"]["StageActive"].asInt(), 3);
    EXPECT_EQ(mouse.DeviceEntry()["SystemStages"]["WheelScorlllinse"].asInt(), 3);
    EXPECT_EQ(mouse.GetSystemStages()[0], (10u << 16) | 500u);

    CHs6533Profiledata headset;
    headset.SetProfilePath(path("h.Json", "HD"));
    headset.SetDefaultPath(DefaultDocumentPath("HD"));
    headset.LoadDeviceEntry();
    EXPECT_EQ(headset.GetHeadsetSettings().micInValue, 80);
    headset.SetDeviceEntry(json(R"({"EQHzValueInfo": [[{"value": 5}, null, {"value": -3}]]})"));
    const auto bands = headset.GetEqBands(0);
    EXPECT_EQ(bands[0], 5);
    EXPECT_EQ(bands[1], 0) << "a missing band is flat";
    EXPECT_EQ(bands[2], -3);
    EXPECT_EQ(bands[9], 0);
    EXPECT_EQ(headset.GetEqBands(13), CHs6533Profiledata::EqBands{});
}
