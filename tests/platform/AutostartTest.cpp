// The session's autostart entry: written, found, switched off by the desktop, removed.
#include <cstdlib>
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

TEST(Autostart, EntryIsWrittenWholeFoundSwitchedOffAndRemoved) {
    ScratchDir scratch;
    ScopedEnv config("XDG_CONFIG_HOME", scratch.file("config"));
    const std::string path = AutostartEntryPath();
    EXPECT_EQ(path, scratch.file("config/autostart/talyx.desktop"));
    EXPECT_FALSE(IsAutostartEnabled());

    std::string error;
    ASSERT_TRUE(SetAutostartEnabled(true, &error)) << error;
    ASSERT_TRUE(SetAutostartEnabled(true, &error)) << "written over the old one: " << error;
    EXPECT_TRUE(IsAutostartEnabled());
    std::string text;
    ASSERT_TRUE(ReadWholeFile(path, text));
    EXPECT_EQ(text.rfind("[Desktop Entry]\nType=Application\n", 0), 0u) << text;
    EXPECT_NE(text.find(" --background\n"), std::string::npos) << text;
    EXPECT_EQ(std::system(("test $(ls -A '" + scratch.file("config/autostart") + "' | wc -l) = 1").c_str()), 0)
        << "no temporary file is left beside the entry";
    if (std::system("command -v desktop-file-validate >/dev/null 2>&1") == 0) {
        EXPECT_EQ(std::system(("desktop-file-validate '" + path + "'").c_str()), 0) << text;
    }

    // An entry the desktop keeps but switched off; keys of other groups say nothing.
    const std::string base = "[Desktop Entry]\nType=Application\nName=x\nExec=talyx --background\n";
    for (const auto& [extra, enabled] :
         std::vector<std::pair<std::string, bool>>{{"Hidden=true\n", false},
                                                   {"Hidden = true\r\n", false},
                                                   {"Hidden=false\n", true},
                                                   {"X-GNOME-Autostart-enabled=false\n", false},
                                                   {"[Desktop Action x]\nHidden=true\n", true},
                                                   {"HiddenFoo=true\n", true}}) {
        ASSERT_TRUE(WriteFileAtomic(path, base + extra));
        EXPECT_EQ(IsAutostartEnabled(), enabled) << extra;
    }

    ASSERT_TRUE(SetAutostartEnabled(false, &error)) << error;
    EXPECT_FALSE(FileExists(path));
    EXPECT_TRUE(SetAutostartEnabled(false, &error)) << "an entry that is not there is removed already";

    // The configuration folder is a file: the entry cannot be made, and says why.
    ScopedEnv broken("XDG_CONFIG_HOME", scratch.file("file"));
    ASSERT_TRUE(WriteFileAtomic(scratch.file("file"), "x"));
    EXPECT_FALSE(SetAutostartEnabled(true, &error));
    EXPECT_NE(error.find("autostart"), std::string::npos) << error;
}

TEST(Autostart, CommandNamesTheProgramBySearchPathOrFullQuotedPath) {
    ScratchDir scratch;
    ASSERT_TRUE(MakeDirs(scratch.file("bin")) && MakeDirs(scratch.file("other")));
    for (const char* name : {"bin/talyx", "other/talyx"}) {
        ASSERT_TRUE(WriteFileAtomic(scratch.file(name), "#!/bin/sh\n"));
        ASSERT_EQ(chmod(scratch.file(name).c_str(), 0755), 0);
    }
    const std::string program = scratch.file("bin/talyx");
    ASSERT_EQ(symlink(program.c_str(), scratch.file("link").c_str()), 0);
    {
        // Found through the search path (a relative entry is skipped), also by way of a link.
        ScopedEnv path("PATH", "relative/bin:" + scratch.file("bin") + ":/usr/bin");
        EXPECT_EQ(AutostartCommand(program), "talyx --background");
        EXPECT_EQ(AutostartCommand(scratch.file("link")), "talyx --background");
    }
    {
        // Another talyx comes first in the search path: the entry names this one in full.
        ScopedEnv path("PATH", scratch.file("other") + ":" + scratch.file("bin"));
        EXPECT_EQ(AutostartCommand(program), program + " --background");
    }
    // Reserved characters: quoted, with ", `, $ and \ escaped inside the quotes, and the
    // backslashes doubled once more for the entry's string; % doubled.
    ScopedEnv path("PATH", "/usr/bin:/bin");
    EXPECT_EQ(AutostartCommand("/home/a b/$x/100%/q\"/talyx"), "\"/home/a b/\\\\$x/100%%/q\\\\\"/talyx\" --background");
}
