// The session's autostart entry: written, found, switched off by the desktop, removed.
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Autostart.h"
#include "platform/FileIO.h"
#include "platform/Paths.h"
#include "tests/support/TestSupport.h"

using namespace talyx;
using talyx::test::ScopedEnv;
using talyx::test::ScratchDir;

namespace {

std::string readFile(const std::string& path) {
    std::string text;
    ReadWholeFile(path, text);
    return text;
}

std::vector<std::string> folderEntries(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* e = readdir(dir))
            if (e->d_name[0] != '.')
                names.emplace_back(e->d_name);
        closedir(dir);
    }
    return names;
}

} // namespace

TEST(Autostart, EntryIsWrittenWholeFoundAndRemoved) {
    ScratchDir scratch;
    ScopedEnv config("XDG_CONFIG_HOME", scratch.file("config"));
    const std::string path = AutostartEntryPath();
    EXPECT_EQ(path, scratch.file("config") + "/autostart/talyx.desktop");
    EXPECT_FALSE(IsAutostartEnabled());

    std::string error;
    ASSERT_TRUE(SetAutostartEnabled(true, &error)) << error;
    EXPECT_TRUE(IsAutostartEnabled());
    const std::string text = readFile(path);
    EXPECT_EQ(text.rfind("[Desktop Entry]\n", 0), 0u) << text;
    EXPECT_NE(text.find("Type=Application\n"), std::string::npos) << text;
    EXPECT_NE(text.find(" --background\n"), std::string::npos) << text;
    // Written in place of the old one, no temporary file left beside it.
    ASSERT_TRUE(SetAutostartEnabled(true, &error)) << error;
    EXPECT_EQ(folderEntries(scratch.file("config/autostart")), std::vector<std::string>{"talyx.desktop"});
    // The desktop's own validator takes the entry as it is written.
    if (std::system("command -v desktop-file-validate >/dev/null 2>&1") == 0) {
        EXPECT_EQ(std::system(("desktop-file-validate '" + path + "'").c_str()), 0) << text;
    }

    ASSERT_TRUE(SetAutostartEnabled(false, &error)) << error;
    EXPECT_FALSE(FileExists(path));
    EXPECT_FALSE(IsAutostartEnabled());
    EXPECT_TRUE(SetAutostartEnabled(false, &error)) << "an entry that is not there is removed already";
}

TEST(Autostart, EntriesTheDesktopSwitchedOffAreNotEnabled) {
    ScratchDir scratch;
    ScopedEnv config("XDG_CONFIG_HOME", scratch.path());
    ASSERT_TRUE(MakeDirs(scratch.file("autostart")));
    const std::string base = "[Desktop Entry]\nType=Application\nName=x\nExec=talyx --background\n";
    const struct {
        std::string extra;
        bool enabled;
    } cases[] = {
        {"", true},
        {"Hidden=true\n", false},
        {"Hidden = true\r\n", false},
        {"Hidden=false\n", true},
        {"X-GNOME-Autostart-enabled=false\n", false},
        {"X-GNOME-Autostart-enabled=true\n", true},
        // Keys of another group say nothing about the entry.
        {"[Desktop Action x]\nHidden=true\n", true},
        // A key that only starts like the one that counts.
        {"HiddenFoo=true\n", true},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(WriteFileAtomic(AutostartEntryPath(), base + c.extra));
        EXPECT_EQ(IsAutostartEnabled(), c.enabled) << c.extra;
    }
}

TEST(Autostart, CommandNamesTheProgramBySearchPathOrFullQuotedPath) {
    ScratchDir scratch;
    ASSERT_TRUE(MakeDirs(scratch.file("bin")) && MakeDirs(scratch.file("other")));
    const std::string program = scratch.file("bin/talyx");
    ASSERT_TRUE(WriteFileAtomic(program, "#!/bin/sh\n"));
    ASSERT_EQ(chmod(program.c_str(), 0755), 0);
    ASSERT_TRUE(WriteFileAtomic(scratch.file("other/talyx"), "#!/bin/sh\n"));
    ASSERT_EQ(chmod(scratch.file("other/talyx").c_str(), 0755), 0);
    ASSERT_EQ(symlink(program.c_str(), scratch.file("link").c_str()), 0);
    {
        // Found through the search path, also by way of a link to it.
        ScopedEnv path("PATH", "relative/bin:" + scratch.file("bin") + ":/usr/bin");
        EXPECT_EQ(AutostartCommand(program), "talyx --background");
        EXPECT_EQ(AutostartCommand(scratch.file("link")), "talyx --background");
    }
    {
        // Another talyx comes first in the search path: the entry names this one in full.
        ScopedEnv path("PATH", scratch.file("other") + ":" + scratch.file("bin"));
        EXPECT_EQ(AutostartCommand(program), program + " --background");
    }
    ScopedEnv path("PATH", "/usr/bin:/bin");
    EXPECT_EQ(AutostartCommand("/opt/talyx/bin/talyx"), "/opt/talyx/bin/talyx --background");
    // Reserved characters: quoted, with ", `, $ and \ escaped inside the quotes, and the
    // backslashes doubled once more for the entry's string; % doubled.
    EXPECT_EQ(AutostartCommand("/home/a b/$x/100%/q\"/talyx"), "\"/home/a b/\\\\$x/100%%/q\\\\\"/talyx\" --background");
}

TEST(Autostart, FolderThatCannotBeMadeIsReportedAndNothingIsWritten) {
    ScratchDir scratch;
    // The configuration folder is a file, so its autostart folder cannot be made.
    ASSERT_TRUE(WriteFileAtomic(scratch.file("config"), "not a folder"));
    ScopedEnv config("XDG_CONFIG_HOME", scratch.file("config"));
    std::string error;
    EXPECT_FALSE(SetAutostartEnabled(true, &error));
    EXPECT_NE(error.find("autostart"), std::string::npos) << error;
    EXPECT_FALSE(IsAutostartEnabled());
    EXPECT_EQ(readFile(scratch.file("config")), "not a folder");
}
