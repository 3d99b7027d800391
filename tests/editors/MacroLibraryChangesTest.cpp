// Changes of the macro library on disk: names and limits, a damaged index kept aside before
// anything rewrites it, Guids that never name an existing file or a file outside the folder,
// delays held to what the keyboard plays, and the renumbering of profile documents.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/Clock.h"
#include "platform/FileIO.h"
#include "platform/JsonFile.h"
#include "platform/Paths.h"
#include "profile/MacroLibrary.h"
#include "tests/support/PreparedProfiles.h"
#include "tests/support/TestSupport.h"

using namespace talyx;

namespace {

bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::string bytesOf(const std::string& path) {
    std::string bytes;
    ReadWholeFile(path, bytes);
    return bytes;
}

class MacroLibraryChanges : public ::testing::Test {
protected:
    std::string folder() const { return dir.path(); }
    std::string index() const { return JoinPath(folder(), "macro.config"); }
    test::ScratchDir dir;
};

} // namespace

TEST_F(MacroLibraryChanges, TheLibraryStopsAtFiftyAndWritesNothingMore) {
    MacroLibrary library(folder());
    EXPECT_EQ(library.NewMacroName(), "macro_1");
    while (library.Count() < MacroLibrary::kMaxMacros)
        ASSERT_GE(library.Add(library.NewMacroName()), 0);
    EXPECT_EQ(library.NewMacroName(), "macro_51");
    const std::string full = bytesOf(index());
    EXPECT_EQ(library.Add("one more"), -1);
    EXPECT_EQ(bytesOf(index()), full);
}

TEST_F(MacroLibraryChanges, ADamagedIndexIsKeptAsideBeforeAnyChangeRewritesIt) {
    ASSERT_TRUE(WriteFileAtomic(index(), "{\"MacroInfo\": [ {\"MacroName\": "));
    Json::Value file(Json::objectValue);
    file["MacroName"] = "Saved";
    file["Events"] = Json::Value(Json::arrayValue);
    ASSERT_TRUE(writejsonFile(JoinPath(folder(), "2024_01_01_00_00_00_000.mac"), file));

    MacroLibrary library(folder());
    ASSERT_GE(library.Add("New"), 0);
    EXPECT_EQ(bytesOf(index() + ".corrupt"), "{\"MacroInfo\": [ {\"MacroName\": ");
    EXPECT_EQ(library.Names(), std::vector<std::string>({"Saved", "New"})) << "rebuilt from the files, then added";
}

TEST_F(MacroLibraryChanges, GuidsNeverNameAnExistingFileNorReachOutOfTheFolder) {
    ManualClock clock;
    clock.setLocalTime(LocalTime{2031, 5, 6, 7, 8, 9, 100});
    SetCurrentClock(&clock);
    // The next identifiers the clock would give are taken by files already.
    LocalTime t = clock.localTime();
    std::vector<std::string> taken;
    for (int i = 0; i < 3; ++i, t = AddOneMillisecond(t)) {
        taken.push_back(FormatTimestampId(t));
        ASSERT_TRUE(WriteFileAtomic(JoinPath(folder(), taken.back() + ".mac"), "{}"));
    }
    MacroLibrary library(folder());
    const int added = library.Add("New");
    SetCurrentClock(nullptr);
    ASSERT_GE(added, 0);
    const std::string guid = library.Entries()[static_cast<size_t>(added)].guid;
    for (const std::string& g : taken)
        EXPECT_NE(guid, g);
    EXPECT_FALSE(exists(JoinPath(folder(), guid + ".mac")));

    // A hand-edited Guid that leads out of the folder is neither written nor removed.
    const std::string outside = dir.path() + "/../victim.mac";
    ASSERT_TRUE(WriteFileAtomic(outside, "keep"));
    Json::Value root = readjsonFile(index());
    root["MacroInfo"][0]["Guid"] = "../victim";
    ASSERT_TRUE(writejsonFile(index(), root));
    library.Load();
    EXPECT_FALSE(library.WriteEvents(0, Json::Value(Json::arrayValue)));
    EXPECT_EQ(library.Import(0, JoinPath(folder(), taken[0] + ".mac")), MacroLibrary::Exchange::NoMacro);
    EXPECT_TRUE(library.Remove(0));
    EXPECT_EQ(bytesOf(outside), "keep");
    EXPECT_EQ(library.Count(), 0u);
    ::unlink(outside.c_str());
}

TEST_F(MacroLibraryChanges, SavedDelaysAreHeldToWhatTheKeyboardPlays) {
    test::WriteMacroLibrary(folder(), {{"Burst", "g1", {}}});
    MacroLibrary library(folder());
    library.Load();
    Json::Value events(Json::arrayValue);
    for (const Json::Value& delay : {Json::Value("70000"), Json::Value("-5"), Json::Value(12), Json::Value("abc"),
                                     Json::Value("65535"), Json::Value("99999999999999999999")}) {
        Json::Value e = test::MacroEvent("down", 10, 4, "0");
        e["Delay"] = delay;
        events.append(e);
    }
    ASSERT_TRUE(library.WriteEvents(0, events));
    const Json::Value file = readjsonFile(JoinPath(folder(), "g1.mac"));
    std::vector<std::string> delays;
    for (const Json::Value& e : file["Events"])
        delays.push_back(e["Delay"].asString());
    EXPECT_EQ(delays, std::vector<std::string>({"65535", "0", "12", "0", "65535", "65535"}));
    EXPECT_EQ(file["Version"].asInt(), 64);
    EXPECT_EQ(file["Guid"].asString(), "g1");
    EXPECT_EQ(file["MacroName"].asString(), "Burst");
    // What is read back is what was shown.
    EXPECT_EQ(MacroLibrary::ReadMacroFile(JoinPath(folder(), "g1.mac"))[0].delay, 65535);
}

TEST_F(MacroLibraryChanges, RenumberingLeavesUnreadableDocumentsAsTheyAre) {
    const std::string broken = JoinPath(folder(), "2024_01_01_00_00_00_000.Json");
    ASSERT_TRUE(WriteFileAtomic(broken, "{\"Device\": [ {\"KeyList\": [ {\"Assignment\": 7340544"));
    Json::Value entry(Json::objectValue);
    for (uint32_t code : {0x700000u, 0x700100u, 0x710209u, 0x200004u}) {
        Json::Value key(Json::objectValue);
        key["Assignment"] = static_cast<Json::Int>(code);
        key["DefaultAssignment"] = 0x200005;
        entry["KeyList"].append(key);
    }
    test::WriteProfile(folder(), "2024_01_01_00_00_00_001", "P", entry, false);
    const std::vector<std::string> changed = MacroLibrary::RenumberProfileAssignments(folder(), 1);
    EXPECT_EQ(changed, std::vector<std::string>({"2024_01_01_00_00_00_001"}));
    EXPECT_EQ(bytesOf(broken), "{\"Device\": [ {\"KeyList\": [ {\"Assignment\": 7340544");
    const Json::Value keys = readjsonFile(JoinPath(folder(), "2024_01_01_00_00_00_001.Json"))["Device"][0]["KeyList"];
    EXPECT_EQ(keys[0]["Assignment"].asInt(), 0x700000);
    EXPECT_EQ(keys[1]["Assignment"].asInt(), 0x200005);
    EXPECT_EQ(keys[2]["Assignment"].asInt(), 0x710109);
    EXPECT_EQ(keys[3]["Assignment"].asInt(), 0x200004);
}
