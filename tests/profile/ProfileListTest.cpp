#include <algorithm>
#include <memory>
#include <set>

#include <gtest/gtest.h>

#include "platform/Clock.h"
#include "platform/JsonFile.h"
#include "profile/CKeyboardProfiledata.h"
#include "profile/FileExchange.h"
#include "profile/ProfileFiles.h"
#include "profile/ProfileList.h"
#include "profile/ProfileNames.h"
#include "profile/ProfileOperations.h"
#include "profile/ProfileTransfer.h"
#include "tests/profile/ProfileTestSupport.h"

using namespace talyx;
using talyx::test::ProfileTest;

namespace {

// Every call the profile bar's combo would receive, as text.
class RecordingView : public IProfileListView {
public:
    void OnItemsReset(const std::vector<std::string>& names) override { items = names; }
    void OnItemAppended(const std::string& name) override { items.push_back(name); }
    void OnItemRemoved(int index) override { items.erase(items.begin() + index); }
    void OnItemRenamed(int index, const std::string& name) override { items[size_t(index)] = name; }
    void OnItemSelected(int index, const std::string& name, bool raiseEvent) override {
        selected = index;
        edit = name;
        raised = raised || raiseEvent;
    }
    std::vector<std::string> items;
    int selected = -1;
    std::string edit;
    bool raised = false;
};

class ScriptedPrompt : public IProfilePrompt {
public:
    bool Confirm(const std::string& key) override {
        asked.push_back(key);
        return answer;
    }
    void ShowMessage(const ProfileMessage& m) override { shown.push_back(m); }
    bool answer = true;
    std::vector<std::string> asked;
    std::vector<ProfileMessage> shown;
};

class FakeDevicePage : public IProfileTarget {
public:
    int ApplyProfile(const std::string& uuid) override {
        applied.push_back(uuid);
        return answer;
    }
    int answer = 0;
    std::vector<std::string> applied;
};

class Profiles : public ProfileTest {
protected:
    Profiles() : m_list(FamilyDataDir("keyboard")) { m_list.SetView(&m_view); }

    // Writes a list file with these names (UUIDs u0, u1, ...) and selection, then loads it.
    void seed(const std::vector<std::string>& names, int select = 0) {
        Json::Value root(Json::objectValue);
        for (size_t i = 0; i < names.size(); ++i) {
            root["profilelist"][Json::ArrayIndex(i)]["profilename"] = names[i];
            root["profilelist"][Json::ArrayIndex(i)]["profileUUID"] = "u" + std::to_string(i);
            root["profilelist"][Json::ArrayIndex(i)]["profileislink"] = 0;
            root["profilelist"][Json::ArrayIndex(i)]["profilelinkmame"] = "";
            Json::Value doc(Json::objectValue);
            doc["profilename"] = names[i];
            doc["profileUUID"] = "u" + std::to_string(i);
            writejsonFile(path("u" + std::to_string(i) + ".Json"), doc);
        }
        root["profileselect"] = select;
        writejsonFile(m_list.ListPath(), root);
        m_list.Initialise();
    }
    Json::Value listFile() const { return readjsonFile(m_list.ListPath()); }
    std::vector<std::string> fileNames() const {
        std::vector<std::string> names;
        const Json::Value root = listFile();
        for (const auto& e : root["profilelist"])
            names.push_back(e["profilename"].asString());
        return names;
    }
    // The device's profile data, loaded from the currently selected profile.
    std::unique_ptr<CKeyboardProfiledata> loadCurrent() const {
        auto kb = std::make_unique<CKeyboardProfiledata>();
        kb->SetProfilePath(m_list.CurrentProfilePath());
        kb->SetDefaultPath(DefaultDocumentPath("keyboard"));
        kb->LoadDeviceEntry();
        return kb;
    }

    RecordingView m_view;
    ProfileList m_list;
};

} // namespace

TEST_F(Profiles, FirstStartMakesProfile1WithADocumentHoldingOnlyItsNames) {
    m_list.Initialise();
    EXPECT_EQ(m_view.items, std::vector<std::string>{"profile1"});
    EXPECT_EQ(m_view.selected, 0);
    EXPECT_EQ(m_view.edit, "profile1");
    EXPECT_FALSE(m_view.raised) << "initialise does not raise the combo's event";
    const Json::Value root = listFile();
    ASSERT_EQ(root["profilelist"].size(), 1u);
    const Json::Value& e = root["profilelist"][0];
    EXPECT_EQ(e["profilename"].asString(), "profile1");
    EXPECT_EQ(e["profileislink"].asInt(), 0);
    EXPECT_EQ(e["profilelinkmame"].asString(), "");
    EXPECT_EQ(root["profileselect"].asInt(), 0);
    EXPECT_EQ(m_list.CurrentUUID(), e["profileUUID"].asString());
    EXPECT_EQ(readText(m_list.ListPath()), styledJson(root)) << "the list file has the styled layout";

    const Json::Value doc = readjsonFile(m_list.CurrentProfilePath());
    EXPECT_EQ(doc.getMemberNames(), (std::vector<std::string>{"profileUUID", "profilename"}));
    EXPECT_EQ(doc["profileUUID"].asString(), m_list.CurrentUUID());
}

TEST_F(Profiles, UnreadableListIsKeptAsideAndAStoredSelectionOutsideTheListFallsToTheFirst) {
    writeText(m_list.ListPath(), "{\"profilelist\": [ {\"profilename\": \"Game\"");
    m_list.Initialise();
    EXPECT_EQ(m_view.items, std::vector<std::string>{"profile1"});
    EXPECT_EQ(readText(m_list.ListPath() + ".corrupt"), "{\"profilelist\": [ {\"profilename\": \"Game\"");

    seed({"A", "B"}, 7);
    EXPECT_EQ(m_list.Selected(), 0);
    EXPECT_EQ(m_list.CurrentUUID(), "u0");
    EXPECT_EQ(listFile()["profileselect"].asInt(), 0);
    EXPECT_FALSE(m_list.Select(2, false));
    EXPECT_EQ(listFile()["profilelist"].size(), 2u) << "a bad index adds nothing to the file";
}

TEST_F(Profiles, NewTakesTheFirstFreeNameComparedWithoutCaseAndStopsAtFifty) {
    seed({"profile1", "profile3"}, 0);
    ASSERT_TRUE(m_list.New());
    EXPECT_EQ(m_view.items.back(), "profile2");
    EXPECT_EQ(listFile()["profileselect"].asInt(), 2);
    EXPECT_EQ(m_view.selected, 2) << "the bar follows the selection the file records";
    const Json::Value doc = readjsonFile(m_list.CurrentProfilePath());
    EXPECT_EQ(doc["profilename"].asString(), "profile2");
    EXPECT_TRUE(doc["Device"].isNull()) << "filled from the default when the device loads it";

    seed({"PROFILE1"});
    ASSERT_TRUE(m_list.New());
    EXPECT_EQ(m_view.items.back(), "profile2");

    std::vector<std::string> fifty;
    for (int i = 0; i < ProfileList::kMaxProfiles; ++i)
        fifty.push_back("P" + std::to_string(i));
    seed(fifty);
    const std::string before = readText(m_list.ListPath());
    EXPECT_FALSE(m_list.New());
    EXPECT_EQ(m_list.ItemCount(), 50);
    EXPECT_EQ(readText(m_list.ListPath()), before);
}

TEST_F(Profiles, LinksAreKeptByteForByteAndFollowTheOperations) {
    // Written as the styled writer lays it out: a link, an old entry without link members,
    // a flag without an identity and an identity without the flag (neither is a link).
    const std::string text = "{\n"
                             "   \"profilelist\" : [\n"
                             "      {\n"
                             "         \"profileUUID\" : \"u0\",\n"
                             "         \"profileislink\" : 1,\n"
                             "         \"profilelinkmame\" : \"steam.desktop\",\n"
                             "         \"profilename\" : \"Game\"\n"
                             "      },\n"
                             "      {\n"
                             "         \"profileUUID\" : \"u1\",\n"
                             "         \"profilename\" : \"Old\"\n"
                             "      },\n"
                             "      {\n"
                             "         \"profileUUID\" : \"u2\",\n"
                             "         \"profileislink\" : 1,\n"
                             "         \"profilelinkmame\" : \" \",\n"
                             "         \"profilename\" : \"Flag\"\n"
                             "      },\n"
                             "      {\n"
                             "         \"profileUUID\" : \"u3\",\n"
                             "         \"profileislink\" : 0,\n"
                             "         \"profilelinkmame\" : \"firefox\",\n"
                             "         \"profilename\" : \"Name\"\n"
                             "      }\n"
                             "   ],\n"
                             "   \"profileselect\" : 1\n"
                             "}\n";
    writeText(m_list.ListPath(), text);
    m_list.Initialise(); // writes the selection back
    EXPECT_EQ(readText(m_list.ListPath()), text);
    EXPECT_EQ(m_list.Links(), (std::vector<std::string>{"steam.desktop", "", "", ""}));
    EXPECT_EQ(m_list.FindLinked("  STEAM.desktop"), 0);
    EXPECT_EQ(m_list.FindLinked("firefox"), -1);
    EXPECT_EQ(m_list.FindLinked(""), -1);

    // Linking and unlinking again, and selecting, change only the entry linked.
    ASSERT_TRUE(m_list.SetLink(3, " Firefox "));
    EXPECT_EQ(listFile()["profilelist"][3]["profileislink"].asInt(), 1);
    EXPECT_EQ(listFile()["profilelist"][3]["profilelinkmame"].asString(), "Firefox");
    EXPECT_EQ(m_list.FindLinked("firefox"), 3);
    ASSERT_TRUE(m_list.SetLink(3, "firefox"));
    ASSERT_TRUE(m_list.SetLink(3, "  "));
    ASSERT_TRUE(m_list.Select(2, false));
    ASSERT_TRUE(m_list.Select(1, false));
    std::string unlinked = text;
    unlinked.replace(unlinked.find("\"firefox\""), 9, "\"\"");
    EXPECT_EQ(readText(m_list.ListPath()), unlinked) << "only the unlinked entry's identity is gone";
    EXPECT_FALSE(m_list.SetLink(4, "x"));

    // One application follows one profile: linking it elsewhere takes it from the first.
    ASSERT_TRUE(m_list.SetLink(1, "steam.desktop"));
    EXPECT_EQ(m_list.Links(), (std::vector<std::string>{"", "steam.desktop", "", ""}));
    EXPECT_EQ(listFile()["profilelist"][0]["profileislink"].asInt(), 0);
    EXPECT_EQ(listFile()["profilelist"][0]["profilelinkmame"].asString(), "");

    // A copy does not take the link (the application would follow two profiles); delete
    // and new keep every other link in its place, in memory and in the file.
    ASSERT_TRUE(m_list.Copy());
    EXPECT_EQ(m_list.LinkOf(4), "");
    ASSERT_TRUE(m_list.Select(0, false));
    ASSERT_TRUE(m_list.Delete());
    ASSERT_TRUE(m_list.New());
    EXPECT_EQ(m_list.Links(), (std::vector<std::string>{"steam.desktop", "", "", "", ""}));
    EXPECT_EQ(listFile()["profilelist"][0]["profileislink"].asInt(), 1);
    ProfileList reread(m_list.Folder());
    reread.Initialise();
    EXPECT_EQ(reread.Links(), m_list.Links());
}

TEST_F(Profiles, ProfilesMadeInTheSameMillisecondGetDistinctUUIDsAndSkipExistingFiles) {
    ManualClock clock;
    clock.setLocalTime({2030, 1, 2, 3, 4, 5, 6});
    SetCurrentClock(&clock);
    // A document of an earlier run, no longer listed, already sits under the next
    // identifier.
    seed({"profile1"});
    writeText(path("2030_01_02_03_04_05_007.Json"), "{\"keep\": 1}");
    writeText(path("2030_01_02_03_04_05_008.Json"), "{\"keep\": 1}");
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(m_list.New());
    SetCurrentClock(nullptr);

    std::set<std::string> uuids;
    const Json::Value root = listFile();
    for (const auto& e : root["profilelist"])
        uuids.insert(e["profileUUID"].asString());
    EXPECT_EQ(uuids.size(), 6u);
    EXPECT_EQ(uuids.count("2030_01_02_03_04_05_008"), 0u);
    EXPECT_EQ(readText(path("2030_01_02_03_04_05_008.Json")), "{\"keep\": 1}");
}

TEST_F(Profiles, CopyRepeatsTheSuffixAndTakesAllSettingsWithoutChangingTheSelection) {
    seed({"Game", "game COPY", "Other"}, 0);
    auto source = loadCurrent();
    LightInfo li = source->GetLightInfo();
    li.selectItem = 23;
    source->SetLightInfo(li);
    ASSERT_TRUE(source->SaveProfile());

    ASSERT_TRUE(m_list.Copy());
    EXPECT_EQ(m_view.items.back(), "Game copy copy");
    EXPECT_EQ(fileNames().back(), "Game copy copy");
    EXPECT_EQ(m_list.Selected(), 0);
    EXPECT_EQ(listFile()["profileselect"].asInt(), 0);
    const Json::Value copy = readjsonFile(m_list.ProfilePath(3));
    EXPECT_EQ(copy["profilename"].asString(), "Game copy copy");
    EXPECT_EQ(copy["profileUUID"].asString(), listFile()["profilelist"][3]["profileUUID"].asString());
    EXPECT_EQ(copy["Device"][0]["LightInfo"]["SelectItem"].asInt(), 23);
    EXPECT_NE(copy["profileUUID"].asString(), "u0");
}

TEST_F(Profiles, DeleteKeepsOneProfileAndSelectsTheOneBefore) {
    seed({"Only"});
    EXPECT_FALSE(m_list.Delete());
    EXPECT_EQ(m_list.ItemCount(), 1);

    seed({"A", "B", "C"}, 0);
    ASSERT_TRUE(m_list.Delete());
    EXPECT_EQ(fileNames(), (std::vector<std::string>{"B", "C"}));
    EXPECT_EQ(listFile()["profileselect"].asInt(), 0);
    EXPECT_FALSE(FileExists(path("u0.Json"))) << "the document goes with its profile";
    EXPECT_EQ(m_list.CurrentUUID(), "u1");
    EXPECT_EQ(m_view.items, (std::vector<std::string>{"B", "C"}));

    seed({"A", "B", "C"}, 2);
    ASSERT_TRUE(m_list.Delete());
    EXPECT_EQ(listFile()["profileselect"].asInt(), 1);
    EXPECT_EQ(m_list.Selected(), 1);
    EXPECT_EQ(m_view.edit, "B");
    EXPECT_FALSE(FileExists(path("u2.Json")));
    EXPECT_TRUE(FileExists(path("u1.Json")));
}

TEST_F(Profiles, DeleteNeverLeavesTheFolderThroughAHandEditedUUID) {
    const std::string outside = JoinPath(m_scratch.path(), "victim.Json");
    writeText(outside, "{}");
    Json::Value root = parseJson(R"({"profilelist": [{"profilename": "A", "profileUUID": "../../victim"},
                                                      {"profilename": "B", "profileUUID": "u1"}], "profileselect": 0})");
    writejsonFile(m_list.ListPath(), root);
    m_list.Initialise();
    ASSERT_TRUE(m_list.Delete());
    EXPECT_TRUE(FileExists(outside));
}

TEST_F(Profiles, RenameRefusesBlankAndTakenNamesInAnyCase) {
    seed({"Game", "Work"}, 0);
    EXPECT_EQ(m_list.Rename("   "), ProfileList::kRenameEmpty);
    EXPECT_EQ(m_list.Rename("WORK"), ProfileList::kRenameNameInUse);
    EXPECT_EQ(fileNames(), (std::vector<std::string>{"Game", "Work"}));

    EXPECT_EQ(m_list.Rename("  GAME  "), ProfileList::kRenamed) << "its own name in another case is free";
    EXPECT_EQ(m_view.items[0], "GAME");
    EXPECT_EQ(fileNames()[0], "GAME");
    EXPECT_EQ(readjsonFile(path("u0.Json"))["profilename"].asString(), "GAME");
    EXPECT_EQ(readjsonFile(path("u0.Json"))["profileUUID"].asString(), "u0");
}

TEST(ProfileNames, CaseBlindComparisonCoversAccentedLettersAndLeavesOtherTextAlone) {
    EXPECT_TRUE(SameNameIgnoringCase("Profile1", "PROFILE1"));
    EXPECT_TRUE(SameNameIgnoringCase("\xC3\x89quipe", "\xC3\xA9QUIPE")); // Équipe / éQUIPE
    EXPECT_TRUE(SameNameIgnoringCase("\xD0\x98\xD0\xB3\xD1\x80\xD0\xB0", "\xD0\xB8\xD0\x93\xD0\xA0\xD0\x90")); // Игра
    EXPECT_FALSE(SameNameIgnoringCase("Game", "Game "));
    EXPECT_FALSE(SameNameIgnoringCase("\xE6\xB8\xB8", "\xE6\xB8\xB9"));
    EXPECT_FALSE(SameNameIgnoringCase("a\xFF", "a\xFE")) << "invalid UTF-8 compares byte for byte";
    EXPECT_EQ(FileStemOf("/x/y/Game.json"), "Game");
    EXPECT_EQ(FileStemOf("a.b.json"), "a.b");
}

TEST_F(Profiles, MenuOperationsAskFirstAndTheDeviceFollowsTheSelection) {
    seed({"A", "B"}, 1);
    ScriptedPrompt prompt;
    FakeDevicePage page;

    prompt.answer = false;
    EXPECT_FALSE(RunNewProfile(m_list, prompt, &page));
    EXPECT_FALSE(RunCopyProfile(m_list, prompt));
    EXPECT_FALSE(RunDeleteProfile(m_list, prompt, &page));
    EXPECT_EQ(prompt.asked, (std::vector<std::string>{"message_text_27", "message_text_26", "message_text_29"}));
    EXPECT_EQ(m_list.ItemCount(), 2);
    EXPECT_TRUE(page.applied.empty());

    prompt.answer = true;
    ASSERT_TRUE(RunNewProfile(m_list, prompt, &page));
    ASSERT_EQ(page.applied.size(), 1u);
    EXPECT_EQ(page.applied.back(), m_list.CurrentUUID());
    ASSERT_TRUE(RunDeleteProfile(m_list, prompt, &page));
    EXPECT_EQ(page.applied.back(), "u1");

    EXPECT_EQ(RunRenameProfile(m_list, "", prompt), ProfileList::kRenameNotDone);
    EXPECT_EQ(RunRenameProfile(m_list, "a", prompt), ProfileList::kRenameNameInUse);
    EXPECT_EQ(RunRenameProfile(m_list, " ", prompt), ProfileList::kRenameEmpty);
    ASSERT_EQ(prompt.shown.size(), 2u);
    EXPECT_EQ(prompt.shown[0].key, "message_text_5");
    EXPECT_EQ(prompt.shown[1].key, "message_text_25");

    prompt.shown.clear();
    page.answer = -1;
    EXPECT_EQ(SwitchProfile(m_list, 0, prompt, page), -1);
    page.answer = 3;
    EXPECT_EQ(SwitchProfile(m_list, 1, prompt, page), 3);
    page.answer = 0;
    EXPECT_EQ(SwitchProfile(m_list, 0, prompt, page), 0);
    ASSERT_EQ(prompt.shown.size(), 2u);
    EXPECT_EQ(prompt.shown[0].key, "message_text_7");
    EXPECT_EQ(prompt.shown[1].key, "message_text_16");
    EXPECT_TRUE(prompt.shown[1].hasValue);
    EXPECT_EQ(prompt.shown[1].value, 3);
    EXPECT_EQ(listFile()["profileselect"].asInt(), 0);
    EXPECT_FALSE(m_view.raised);
}

TEST(ProfileTabs, TheDeviceTypeChoosesTheTabs) {
    EXPECT_EQ(TabsForDeviceType(1).hidden, std::vector<std::string>{"cursor_Op_tab"});
    EXPECT_TRUE(TabsForDeviceType(2).hidden.empty());
    EXPECT_EQ(TabsForDeviceType(4).hidden.size(), 3u);
    EXPECT_EQ(TabsForDeviceType(5).hidden.size(), 4u);
    EXPECT_EQ(TabsForDeviceType(7).shown,
              (std::vector<std::string>{"6533_voice_Op_tab", "magic_Op_tab", "Virtual7.1_Op_tab"}));
    EXPECT_TRUE(TabsForDeviceType(9).hidden.empty());
}

TEST_F(Profiles, ImportNamesByFileAndAppendsUniqueSuffixes) {
    seed({"Game", "Game(1)"}, 1);
    const std::string file = JoinPath(m_scratch.path(), "Game.json");
    writeText(file, R"({"profilename": "Inside", "profileUUID": "old", "Extra": 5})");
    ASSERT_TRUE(ImportProfile(m_list, file));
    ASSERT_TRUE(ImportProfile(m_list, file));
    EXPECT_EQ(m_view.items, (std::vector<std::string>{"Game", "Game(1)", "Game(1)(2)", "Game(1)(2)(3)"}));
    EXPECT_EQ(fileNames(), m_view.items);
    EXPECT_EQ(m_list.Selected(), 1);
    EXPECT_EQ(listFile()["profileselect"].asInt(), 1);
    const Json::Value first = readjsonFile(m_list.ProfilePath(2));
    const Json::Value second = readjsonFile(m_list.ProfilePath(3));
    EXPECT_EQ(first["profilename"].asString(), "Game(1)(2)");
    EXPECT_EQ(first["Extra"].asInt(), 5);
    EXPECT_NE(first["profileUUID"].asString(), second["profileUUID"].asString());
    EXPECT_NE(first["profileUUID"].asString(), "old");

    // No "Device": the default entry arrives when the device loads the profile.
    ASSERT_TRUE(m_list.Select(2, false));
    EXPECT_EQ(loadCurrent()->GetKeyList().size(), 170u);
}

TEST_F(Profiles, UnusableImportsAreDroppedAndChangeNothing) {
    seed({"A"});
    const std::string before = readText(m_list.ListPath());
    const std::string dir = m_scratch.path();
    writeText(dir + "/bad.json", "{ nope");
    writeText(dir + "/array.json", "[1]");
    writeText(dir + "/noid.json", R"({"profilename": "x"})");
    writeText(dir + "/nullid.json", R"({"profilename": "x", "profileUUID": null})");
    for (const char* name : {"missing.json", "bad.json", "array.json", "noid.json", "nullid.json"})
        EXPECT_FALSE(ImportProfile(m_list, dir + "/" + name)) << name;
    EXPECT_FALSE(ImportProfile(m_list, ""));
    EXPECT_EQ(readText(m_list.ListPath()), before);
    EXPECT_EQ(m_list.ItemCount(), 1);
}

TEST_F(Profiles, ExportAndReimportReproduceTheSettingsUnderANewUUID) {
    seed({"Game", "Other"}, 0);
    auto kb = loadCurrent();
    LightInfo li = kb->GetLightInfo();
    li.selectItem = 5;
    li.red = 12;
    kb->SetLightInfo(li);
    kb->SetKeyAssignment(3, 0x700102);
    kb->SetSystemStages(0x10014, 0x30000, 0x1);
    ASSERT_TRUE(kb->SaveProfile());

    const std::string exported = JoinPath(m_scratch.path(), "My Game.json");
    writeText(exported, "old contents");
    ASSERT_TRUE(ExportProfile(m_list, exported));
    EXPECT_EQ(readText(exported), readText(m_list.CurrentProfilePath())) << "written unchanged, replacing the file";

    ASSERT_TRUE(ImportProfile(m_list, exported));
    ASSERT_EQ(m_view.items.back(), "My Game");
    const std::string originalUUID = m_list.CurrentUUID();
    ASSERT_TRUE(m_list.Select(2, false));
    EXPECT_NE(m_list.CurrentUUID(), originalUUID);
    auto imported = loadCurrent();
    EXPECT_EQ(imported->GetLightInfo(), kb->GetLightInfo());
    EXPECT_EQ(imported->GetKeyList()[3].code(), 0x700102u);
    EXPECT_EQ(imported->GetSystemStages(), kb->GetSystemStages());
    EXPECT_EQ(styledJson(imported->DeviceEntry()), styledJson(kb->DeviceEntry()));
}

TEST_F(Profiles, ExportOfAMissingDocumentWritesNothing) {
    seed({"A"});
    std::remove(m_list.CurrentProfilePath().c_str());
    const std::string out = JoinPath(m_scratch.path(), "out.json");
    EXPECT_FALSE(ExportProfile(m_list, out));
    EXPECT_FALSE(FileExists(out));
    EXPECT_FALSE(ExportProfile(m_list, ""));
}

TEST(FileExchange, ChosenPathsReachThePageAndACancelledDialogDoesNothing) {
    struct Page : IFileExchangeTarget {
        bool ImportFile(const std::string& p) override {
            log.push_back("in " + p);
            return true;
        }
        bool ExportFile(const std::string& p) override {
            log.push_back("out " + p);
            return true;
        }
        std::vector<std::string> log;
    } page;
    EXPECT_TRUE(HandOffExchangeFile(&page, ExchangeDirection::Import, "/a.mac"));
    EXPECT_TRUE(HandOffExchangeFile(&page, ExchangeDirection::Export, "/b.shoot"));
    EXPECT_FALSE(HandOffExchangeFile(&page, ExchangeDirection::Import, ""));
    EXPECT_FALSE(HandOffExchangeFile(nullptr, ExchangeDirection::Import, "/a.mac"));
    EXPECT_EQ(page.log, (std::vector<std::string>{"in /a.mac", "out /b.shoot"}));
}
