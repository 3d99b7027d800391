// Per-user files that a crash, a hand edit or another program has left unusable: each
// reads as damaged, is kept aside and is rebuilt, and nothing blocks or throws.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/Debug.h"
#include "platform/FileIO.h"
#include "platform/JsonFile.h"
#include "profile/CKeyboardProfiledata.h"
#include "profile/MacroLibrary.h"
#include "profile/ProfileFiles.h"
#include "profile/ProfileList.h"
#include "tests/profile/ProfileTestSupport.h"

using namespace talyx;
using talyx::test::ProfileTest;

namespace {

enum class Hostile { Deep, Huge, Fifo, Folder };

const char* nameOf(Hostile h) {
    static const char* const kNames[] = {"deeply nested", "oversized", "FIFO", "folder"};
    return kNames[static_cast<int>(h)];
}

// Puts something unusable at `path`: text nested far past any parser's stack, a 50 MB
// file (sparse), a FIFO without a writer, or a folder.
void plant(const std::string& path, Hostile h) {
    ::unlink(path.c_str());
    ::rmdir(path.c_str());
    switch (h) {
    case Hostile::Deep: {
        const std::string text = "{\"Device\": " + std::string(20000, '[');
        ASSERT_TRUE(WriteFileAtomic(path, text));
        break;
    }
    case Hostile::Huge: {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, 50LL << 20), 0);
        ::close(fd);
        break;
    }
    case Hostile::Fifo:
        ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
        break;
    case Hostile::Folder:
        ASSERT_EQ(::mkdir(path.c_str(), 0700), 0);
        break;
    }
}

bool isRegular(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

class DamagedFiles : public ProfileTest {
protected:
    Json::Value defaultEntry() const { return readjsonFile(DefaultDocumentPath("keyboard"))["Device"][0]; }
    void writeDoc(const std::string& uuid, const std::string& text) { writeText(path(uuid + ".Json"), text); }
};

} // namespace

TEST_F(DamagedFiles, ProfileDocumentsThatCannotBeReadAreKeptAsideAndRebuiltFromTheDefault) {
    for (Hostile h : {Hostile::Deep, Hostile::Huge, Hostile::Fifo, Hostile::Folder}) {
        const std::string doc = path(std::string("p-") + nameOf(h) + ".Json");
        plant(doc, h);
        CKeyboardProfiledata kb;
        kb.SetProfilePath(doc);
        kb.SetDefaultPath(DefaultDocumentPath("keyboard"));
        EXPECT_EQ(kb.LoadDeviceEntry(), defaultEntry()) << nameOf(h);
        EXPECT_TRUE(isRegular(doc)) << nameOf(h);
        EXPECT_EQ(readjsonFile(doc)["Device"][0], defaultEntry()) << nameOf(h);
        EXPECT_TRUE(exists(doc + kCorruptSuffix)) << nameOf(h) << " is kept";
        EXPECT_TRUE(kb.SaveProfile()) << nameOf(h);
    }

    // Saving over a damaged document keeps it too, and a write that fails is told.
    const std::string doc = path("saved.Json");
    CKeyboardProfiledata kb;
    kb.SetProfilePath(doc);
    kb.SetDefaultPath(DefaultDocumentPath("keyboard"));
    kb.LoadDeviceEntry();
    plant(doc, Hostile::Deep);
    EXPECT_TRUE(kb.SaveProfile());
    EXPECT_EQ(readjsonFile(doc)["Device"][0], defaultEntry());
    EXPECT_TRUE(exists(doc + kCorruptSuffix));

    DebugCapture debug;
    const std::string nowhere = path("gone/p.Json");
    kb.SetProfilePath(nowhere);
    EXPECT_FALSE(kb.SaveProfile());
    EXPECT_TRUE(debug.contains("profile: could not write " + nowhere + "\n"));
}

TEST_F(DamagedFiles, ARebuiltListBringsBackTheDocumentsInTheFolderUnderTheirOwnNames) {
    ProfileList list(folder());
    writeDoc("2024_01_01_00_00_00_003", R"({"profilename": "Game", "profileUUID": "2024_01_01_00_00_00_003"})");
    writeDoc("2024_01_01_00_00_00_001", R"({"profilename": "  Work ", "Device": [{}]})");
    writeDoc("2024_01_01_00_00_00_002", R"({"profilename": "GAME", "profileUUID": "somewhere else"})");
    writeDoc("2024_01_01_00_00_00_004", R"({"Device": []})");
    writeDoc("2024_01_01_00_00_00_005", "[1, 2]");
    plant(path("2024_01_01_00_00_00_006.Json"), Hostile::Fifo);
    writeText(path("2024_01_01_00_00_00_007.Json.corrupt"), R"({"profilename": "kept"})");
    writeText(path("2024_01_01_00_00_00_008.Json.tmp-1-1"), R"({"profilename": "half"})");
    writeText(path("exported.json"), R"({"profilename": "export"})");
    const std::vector<std::string> expected = {"Work", "GAME", "Game(1)", "profile1"};
    const std::vector<std::string> uuids = {"2024_01_01_00_00_00_001", "2024_01_01_00_00_00_002",
                                            "2024_01_01_00_00_00_003", "2024_01_01_00_00_00_004"};

    // An empty list, then one nested past the parser's stack, then one too large, then a
    // FIFO in its place: each time the documents come back, in the order they were made.
    auto rebuilt = [&](const char* what) {
        list.Initialise();
        EXPECT_EQ(list.Names(), expected) << what;
        EXPECT_EQ(list.Selected(), 0) << what;
        for (size_t i = 0; i < uuids.size(); ++i)
            EXPECT_EQ(list.ProfileUUID(int(i)), uuids[i]) << what;
    };
    writeText(list.ListPath(), R"({"profilelist": [], "profileselect": 3})");
    rebuilt("empty");
    for (Hostile h : {Hostile::Deep, Hostile::Huge, Hostile::Fifo}) {
        plant(list.ListPath(), h);
        rebuilt(nameOf(h));
        EXPECT_TRUE(isRegular(list.ListPath())) << nameOf(h);
    }
    // Each document now holds the name and UUID it is listed under; its settings stay.
    for (size_t i = 0; i < uuids.size(); ++i) {
        const Json::Value doc = readjsonFile(list.ProfilePath(int(i)));
        EXPECT_EQ(doc["profilename"].asString(), expected[i]);
        EXPECT_EQ(doc["profileUUID"].asString(), uuids[i]);
    }
    EXPECT_EQ(readjsonFile(list.ProfilePath(0))["Device"].size(), 1u);
    EXPECT_EQ(readText(path("2024_01_01_00_00_00_005.Json")), "[1, 2]") << "a document that is no object stays";
    EXPECT_TRUE(exists(list.ListPath() + kCorruptSuffix));
}

TEST_F(DamagedFiles, ADamagedMacroIndexIsRebuiltFromTheMacroFilesAndDamagedMacrosReadEmpty) {
    auto macro = [](const char* name, const char* guid) {
        return std::string(R"({"MacroName": ")") + name + R"(", "Guid": ")" + guid +
               R"(", "Events": [{"Action": "down", "Type": 10, "Button": 4, "Delay": "30"}], "Version": 64})";
    };
    writeText(path("2024_05_01_10_00_00_002.mac"), macro("Copy", "2024_05_01_10_00_00_002"));
    writeText(path("2024_05_01_10_00_00_001.mac"), macro("Paste", "2024_05_01_10_00_00_001"));
    writeText(path("2024_05_01_10_00_00_003.mac"), macro("copy", "2024_05_01_10_00_00_003"));
    writeText(path("2024_05_01_10_00_00_004.mac"), R"({"Events": []})");
    plant(path("2024_05_01_10_00_00_005.mac"), Hostile::Deep);
    const std::string index = path(MacroLibrary::kIndexFileName);

    for (Hostile h : {Hostile::Deep, Hostile::Huge, Hostile::Fifo}) {
        plant(index, h);
        MacroLibrary library(folder());
        ASSERT_TRUE(library.Load()) << nameOf(h);
        EXPECT_EQ(library.Names(), (std::vector<std::string>{"Paste", "Copy", "macro_1", "macro_2"})) << nameOf(h);
        EXPECT_EQ(library.Entries()[0].guid, "2024_05_01_10_00_00_001");
        EXPECT_EQ(library.ReadEvents(1).size(), 1u);
        EXPECT_TRUE(exists(index + kCorruptSuffix));
        MacroLibrary reread(folder());
        ASSERT_TRUE(reread.Load());
        EXPECT_EQ(reread.Names(), library.Names()) << "the rebuilt index was written";
    }

    // A macro file that cannot be read gives no actions and is kept aside.
    for (Hostile h : {Hostile::Deep, Hostile::Huge, Hostile::Fifo}) {
        const std::string file = path("2024_05_01_10_00_00_001.mac");
        plant(file, h);
        MacroLibrary library(folder());
        ASSERT_TRUE(library.Load());
        EXPECT_TRUE(library.ReadEvents(0).empty()) << nameOf(h);
        EXPECT_FALSE(exists(file)) << nameOf(h);
    }
    EXPECT_TRUE(MacroLibrary(std::string()).Load() == false) << "no folder, no library, no file in the working folder";
}
