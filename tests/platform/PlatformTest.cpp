#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <pwd.h>
#include <set>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>
#include <json/value.h>

#include "platform/Clock.h"
#include "platform/Debug.h"
#include "platform/Event.h"
#include "platform/FileIO.h"
#include "platform/JsonFile.h"
#include "platform/MessageRegistry.h"
#include "platform/Paths.h"
#include "platform/Product.h"
#include "platform/Registry.h"
#include "platform/WorkerThread.h"
#include "tests/support/TestSupport.h"

using namespace talyx;
using talyx::test::ScopedEnv;
using talyx::test::ScratchDir;

TEST(Event, AutoResetIsConsumedByOneWaitManualResetStays) {
    Event autoEvent(false);
    autoEvent.set();
    EXPECT_TRUE(autoEvent.wait(0));
    EXPECT_FALSE(autoEvent.wait(0));

    Event manual(true);
    manual.set();
    EXPECT_TRUE(manual.wait(0));
    EXPECT_TRUE(manual.wait(0));
    manual.reset();
    EXPECT_FALSE(manual.wait(0));
}

TEST(Event, SetFromAnotherThreadWakesAWaiterLongBeforeItsTimeout) {
    Event e(true);
    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        e.set();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(e.wait(30000));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    setter.join();
}

TEST(WorkerThread, StopWakesTheBodyAndReportsIt) {
    WorkerThread worker;
    std::atomic<int> passes{0};
    ASSERT_TRUE(worker.start([&](Event& stop) {
        while (!stop.wait(60000))
            ++passes;
    }));
    EXPECT_FALSE(worker.start([](Event&) {})) << "a running slot refuses a second thread";
    EXPECT_EQ(worker.stop(1000), WorkerThread::JoinResult::Signalled);
    EXPECT_EQ(passes.load(), 0) << "the body never woke before the stop";
    EXPECT_EQ(worker.stop(1000), WorkerThread::JoinResult::NotRunning);
}

TEST(WorkerThread, LateBodyIsReportedAsTimedOutAndStillJoined) {
    WorkerThread worker;
    Event release(true);
    std::atomic<bool> ended{false};
    worker.start([&](Event&) {
        release.wait(-1);
        ended = true;
    });
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        release.set();
    });
    EXPECT_EQ(worker.stop(1), WorkerThread::JoinResult::TimedOut);
    EXPECT_TRUE(ended.load()) << "stop() returns only once the body has ended";
    releaser.join();
}

TEST(WorkerThread, WakeCallbackRunsAfterTheStopIsSet) {
    WorkerThread worker;
    Event blocked(true);
    worker.start([&](Event&) { blocked.wait(-1); });
    bool sawStop = false;
    EXPECT_EQ(worker.stop(1000,
                          [&] {
                              sawStop = worker.stopEvent().isSet();
                              blocked.set();
                          }),
              WorkerThread::JoinResult::Signalled);
    EXPECT_TRUE(sawStop);
}

TEST(MessageRegistry, SameNameSameIdInTheRegisteredRange) {
    const uint32_t a = RegisterWindowMessage("{4695579F-999A-41d4-9FAF-EFFCE93EBF15}");
    const uint32_t b = RegisterWindowMessage("{4695579f-999a-41D4-9faf-effce93ebf15}");
    const uint32_t c = RegisterWindowMessage("{4695579F-999A-41d4-9FAF-EFFCE93EBE19}");
    EXPECT_EQ(a, b) << "names compare without regard to case";
    EXPECT_NE(a, c);
    for (uint32_t id : {a, c}) {
        EXPECT_GE(id, 0xC000u);
        EXPECT_LE(id, 0xFFFFu);
    }
    EXPECT_EQ(RegisteredMessageName(c), "{4695579F-999A-41d4-9FAF-EFFCE93EBE19}");
    EXPECT_EQ(RegisterWindowMessage(""), 0u);

    const size_t count = RegisteredMessageCount();
    EXPECT_EQ(FindRegisteredMessage("{4695579f-999a-41d4-9faf-effce93ebe19}"), c);
    EXPECT_EQ(FindRegisteredMessage("{never registered}"), 0u);
    EXPECT_EQ(FindRegisteredMessage(""), 0u);
    EXPECT_EQ(RegisteredMessageCount(), count) << "a look-up registers nothing";
}

TEST(Debug, CapturesSeeEveryTextFromEveryThread) {
    DebugCapture capture;
    std::thread t([] { DebugOutput("from a worker"); });
    t.join();
    DebugOutputF("软件标示：%d", 0xC123);
    EXPECT_TRUE(capture.contains("from a worker"));
    EXPECT_TRUE(capture.contains("软件标示：49443"));
}

TEST(Clock, TimestampIdFormatAndUniqueness) {
    ManualClock clock;
    clock.setLocalTime({2026, 3, 7, 9, 5, 4, 12});
    SetCurrentClock(&clock);
    EXPECT_EQ(FormatTimestampId(clock.localTime()), "2026_03_07_09_05_04_012");

    std::set<std::string> ids;
    for (int i = 0; i < 5; ++i)
        ids.insert(NewTimestampId());
    EXPECT_EQ(ids.size(), 5u) << "five documents made in the same millisecond get five names";
    EXPECT_EQ(*ids.rbegin(), "2026_03_07_09_05_04_016");

    clock.setLocalTime({2026, 12, 31, 23, 59, 59, 999});
    EXPECT_EQ(NewTimestampId(), "2026_12_31_23_59_59_999");
    EXPECT_EQ(NewTimestampId(), "2027_01_01_00_00_00_000") << "carry through every field";
    EXPECT_EQ(FormatTimestampId(AddOneMillisecond({2024, 2, 28, 23, 59, 59, 999})), "2024_02_29_00_00_00_000");
    SetCurrentClock(nullptr);
}

TEST(JsonFile, StyledLayoutIsThreeSpacesAndEndsWithNewline) {
    ScratchDir dir;
    Json::Value v;
    v["Name"] = "Game";
    v["List"].append(1);
    v["List"].append(Json::Value());
    v["Obj"]["a"] = true;
    ASSERT_TRUE(writejsonFile(dir.file("p.Json"), v));
    std::string text;
    ASSERT_TRUE(ReadWholeFile(dir.file("p.Json"), text));
    EXPECT_EQ(text, "{\n"
                    "   \"List\" : [ 1, null ],\n"
                    "   \"Name\" : \"Game\",\n"
                    "   \"Obj\" : {\n"
                    "      \"a\" : true\n"
                    "   }\n"
                    "}\n");
    EXPECT_EQ(readjsonFile(dir.file("p.Json")), v);
}

TEST(JsonFile, MissingEmptyAndInvalidFilesReadAsNullAndSayWhy) {
    ScratchDir dir;
    JsonFileState state;
    EXPECT_TRUE(readjsonFile(dir.file("none.json"), state).isNull());
    EXPECT_EQ(state, JsonFileState::Missing);

    std::ofstream(dir.file("empty.json")) << "  \n";
    EXPECT_TRUE(readjsonFile(dir.file("empty.json"), state).isNull());
    EXPECT_EQ(state, JsonFileState::Empty);

    std::ofstream(dir.file("bad.json")) << "{ \"a\" : ";
    EXPECT_TRUE(readjsonFile(dir.file("bad.json"), state).isNull());
    EXPECT_EQ(state, JsonFileState::Invalid);

    std::ofstream(dir.file("bom.json")) << "\xEF\xBB\xBF{\"a\":1}";
    EXPECT_EQ(readjsonFile(dir.file("bom.json"), state)["a"].asInt(), 1);
    EXPECT_EQ(state, JsonFileState::Ok);
}

TEST(FileIO, FailedReplaceLeavesTheOldFileWhole) {
    ScratchDir dir;
    const std::string path = dir.file("doc.json");
    ASSERT_TRUE(WriteFileAtomic(path, "old content"));
    // A folder in the way of the temporary file's name makes the write fail half-way.
    EXPECT_FALSE(WriteFileAtomic(dir.file("missing/doc.json"), "x"));
    if (geteuid() != 0) {
        chmod(dir.path().c_str(), 0500);
        EXPECT_FALSE(WriteFileAtomic(path, "new content"));
        chmod(dir.path().c_str(), 0700);
    }
    std::string text;
    ASSERT_TRUE(ReadWholeFile(path, text));
    EXPECT_EQ(text, "old content");
    ASSERT_TRUE(WriteFileAtomic(path, "new content"));
    ASSERT_TRUE(ReadWholeFile(path, text));
    EXPECT_EQ(text, "new content");
}

TEST(Registry, ValuesLiveInExistingKeysOnly) {
    ScratchDir dir;
    ScopedEnv config("XDG_CONFIG_HOME", dir.path());
    RegistryStore store = RegistryStore::user();
    const std::string key = ProductRegistryKey();
    EXPECT_EQ(key, "SOFTWARE\\TALYX RGB Gaming keyboard");
    EXPECT_FALSE(store.keyExists(key));
    EXPECT_FALSE(store.writeDword(key, "LANGUAGE", 520)) << "a missing key is not created by a write";
    EXPECT_FALSE(store.keyExists(key));

    EnsureProductRegistryKey();
    EXPECT_TRUE(store.keyExists(key));
    EXPECT_FALSE(store.readDword(key, "LANGUAGE").has_value());
    EXPECT_TRUE(store.writeDword(key, "LANGUAGE", 1033));
    EXPECT_EQ(RegistryStore::user().readDword(key, "LANGUAGE").value_or(0), 1033u);
    EXPECT_FALSE(store.readString(key, "LANGUAGE").has_value()) << "a number is not a string";

    std::ofstream(store.filePath()) << "garbage";
    EXPECT_FALSE(store.keyExists(key)) << "a corrupt store reads as empty";
    std::string kept;
    EXPECT_TRUE(ReadWholeFile(store.filePath() + ".corrupt", kept) && kept == "garbage") << "and is kept aside";
    // Nested past any parser's stack: read as damaged, kept aside beside the first copy,
    // and rebuilt by the next write.
    std::ofstream(store.filePath()) << std::string(100000, '[');
    EXPECT_FALSE(store.keyExists(key));
    EXPECT_FALSE(FileExists(store.filePath()));
    EXPECT_TRUE(store.createKey(key));
    EXPECT_TRUE(RegistryStore::user().keyExists(key));
}

TEST(Paths, UserFoldersFollowTheEnvironment) {
    ScratchDir dir;
    ScopedEnv data("XDG_DATA_HOME", dir.path());
    EXPECT_EQ(FamilyDataDir("keyboard"), dir.path() + "/TALYX RGB Gaming keyboard/keyboard");
    EXPECT_TRUE(DirExists(dir.path() + "/TALYX RGB Gaming keyboard/keyboard"));
    ScopedEnv prog("TALYX_DATA_DIR", "/opt/x");
    EXPECT_EQ(ProgramDataDir(), "/opt/x");
}

namespace {

// Bytes this process has read through read() so far.
long long bytesRead() {
    std::ifstream io("/proc/self/io");
    std::string name;
    long long value = -1;
    while (io >> name >> value)
        if (name == "rchar:")
            return value;
    return -1;
}

} // namespace

TEST(JsonFile, DeepOversizedAndIrregularFilesReadAsDamagedWithoutBeingReadOrBlocking) {
    ScratchDir dir;
    JsonFileState state;
    auto read = [&](const std::string& name, size_t cap = kMaxJsonDocumentBytes) {
        return readjsonFile(dir.file(name), state, cap);
    };
    auto nested = [](int depth, const std::string& inner = "1") {
        return std::string(size_t(depth), '[') + inner + std::string(size_t(depth), ']');
    };

    // Nesting: the limit is exact, and what is too deep never reaches the parser (whose own
    // limit throws); brackets in strings and comments do not count.
    std::ofstream(dir.file("at-limit.json")) << nested(kMaxJsonDepth);
    EXPECT_FALSE(read("at-limit.json").isNull());
    EXPECT_EQ(state, JsonFileState::Ok);
    for (const std::string& text : {nested(kMaxJsonDepth + 1), std::string(100000, '['), "{\"a\":" + nested(5000) + "}",
                                    "// x\r" + nested(3000), "/* [ */" + nested(2000)}) {
        std::ofstream(dir.file("deep.json"), std::ios::trunc) << text;
        EXPECT_TRUE(read("deep.json").isNull()) << text.substr(0, 16);
        EXPECT_EQ(state, JsonFileState::Invalid) << text.substr(0, 16);
        EXPECT_TRUE(IsDamaged(state));
    }
    std::ofstream(dir.file("strings.json")) << "{\"s\": \"" << std::string(5000, '[') << "\\\"\", /* {{{{ */ \"n\": 1}";
    EXPECT_EQ(read("strings.json")["n"].asInt(), 1);
    bool ok = true;
    EXPECT_TRUE(parseJson(std::string(200000, '{'), &ok).isNull());
    EXPECT_FALSE(ok);

    // Size: a 200 MB file (sparse, so the test is quick) is refused from its size; almost
    // none of it is read. The cap itself is exact.
    {
        const int fd = ::open(dir.file("huge.json").c_str(), O_WRONLY | O_CREAT, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, 200LL << 20), 0);
        ::close(fd);
    }
    const long long before = bytesRead();
    EXPECT_TRUE(read("huge.json").isNull());
    EXPECT_EQ(state, JsonFileState::TooLarge);
    EXPECT_LT(bytesRead() - before, 1 << 20);
    std::ofstream(dir.file("ten.json")) << "[1,2,3,45]";
    EXPECT_EQ(read("ten.json", 10).size(), 4u);
    EXPECT_TRUE(read("ten.json", 9).isNull());
    EXPECT_EQ(state, JsonFileState::TooLarge);

    // Not a regular file: a FIFO without a writer (opening it to read would wait for one
    // for good), a folder, a device. None is read.
    ASSERT_EQ(::mkfifo(dir.file("fifo.json").c_str(), 0600), 0);
    ASSERT_EQ(::mkdir(dir.file("folder.json").c_str(), 0700), 0);
    ASSERT_EQ(::symlink("/dev/zero", dir.file("zero.json").c_str()), 0);
    for (const char* name : {"fifo.json", "folder.json", "zero.json"}) {
        EXPECT_TRUE(read(name).isNull()) << name;
        EXPECT_EQ(state, JsonFileState::NotRegular) << name;
    }
    EXPECT_TRUE(read("none.json").isNull());
    EXPECT_FALSE(IsDamaged(state)) << "a missing file is absent, not damaged";

    // The owner's read moves a damaged file aside, whatever it is, and never over an older
    // copy; a missing file stays missing.
    ReadJsonKeepingDamaged(dir.file("fifo.json"), state);
    struct stat st {};
    ASSERT_EQ(::lstat(dir.file("fifo.json.corrupt").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_FALSE(FileExists(dir.file("fifo.json")) || DirExists(dir.file("fifo.json")));
    ASSERT_EQ(::mkfifo(dir.file("fifo.json").c_str(), 0600), 0);
    ReadJsonKeepingDamaged(dir.file("fifo.json"), state);
    EXPECT_EQ(::lstat(dir.file("fifo.json.corrupt").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode)) << "the first copy stays";
    EXPECT_NE(::lstat(dir.file("fifo.json").c_str(), &st), 0) << "the second went to a name of its own";
    EXPECT_EQ(KeepAside(dir.file("none.json")), "");
    ReadJsonKeepingDamaged(dir.file("ten.json"), state);
    EXPECT_TRUE(FileExists(dir.file("ten.json"))) << "a good file stays where it is";
}

TEST(FileIO, FilesArePrivateAndOnlyOurOwnDeadWritersTemporaryFilesAreRemoved) {
    ScratchDir dir;
    const mode_t oldMask = ::umask(022);
    ASSERT_TRUE(WriteFileAtomic(dir.file("doc.json"), "x"));
    ::umask(oldMask);
    struct stat st {};
    ASSERT_EQ(::stat(dir.file("doc.json").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // A writer that has ended: a child that exited and was reaped.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        ::_exit(0);
    ASSERT_EQ(::waitpid(child, nullptr, 0), child);
    const std::string dead = std::to_string(child);
    const std::string self = std::to_string(::getpid());
    auto make = [&](const std::string& name) { std::ofstream(dir.file(name)) << "half"; };
    const std::vector<std::string> stale = {"ProfileList.ini.tmp-" + dead + "-0", "a b.Json.tmp-" + dead + "-17"};
    const std::vector<std::string> kept = {"doc.json.tmp-" + self + "-3", // a write going on in this process
                                           "doc.json.tmp-1-0",            // pid 1 runs
                                           "doc.json.tmp-" + dead + "-0.bak",
                                           "doc.json.tmp-" + dead,
                                           ".tmp-" + dead + "-0",
                                           "doc.json.tmp-x" + dead + "-0"};
    for (const std::string& name : stale)
        make(name);
    for (const std::string& name : kept)
        make(name);
    // Not ours to remove: a link (its target stays too), a folder, another user's file.
    make("target");
    ASSERT_EQ(::symlink(dir.file("target").c_str(), dir.file("link.tmp-" + dead + "-1").c_str()), 0);
    ASSERT_EQ(::mkdir(dir.file("d.tmp-" + dead + "-2").c_str(), 0700), 0);
    std::vector<std::string> survivors = kept;
    survivors.insert(survivors.end(), {"target", "link.tmp-" + dead + "-1", "d.tmp-" + dead + "-2"});
    if (::geteuid() == 0) {
        make("other.tmp-" + dead + "-4");
        ASSERT_EQ(::chown(dir.file("other.tmp-" + dead + "-4").c_str(), 65534, 65534), 0);
        survivors.push_back("other.tmp-" + dead + "-4");
    }

    EXPECT_EQ(RemoveStaleTempFiles(dir.path()), stale.size());
    for (const std::string& name : stale)
        EXPECT_NE(::lstat(dir.file(name).c_str(), &st), 0) << name;
    for (const std::string& name : survivors)
        EXPECT_EQ(::lstat(dir.file(name).c_str(), &st), 0) << name;
    EXPECT_EQ(RemoveStaleTempFiles(dir.file("missing")), 0u);
}

TEST(Paths, WithoutHomeTheUserFoldersComeFromThePasswordDatabaseAndAreMadePrivate) {
    struct passwd* pw = ::getpwuid(::geteuid());
    ASSERT_NE(pw, nullptr);
    const std::string home = pw->pw_dir;
    {
        ScopedEnv h("HOME", "");
        ScopedEnv d("XDG_DATA_HOME", "");
        ScopedEnv c("XDG_CONFIG_HOME", "relative/config");
        ScopedEnv r("XDG_RUNTIME_DIR", "");
        EXPECT_EQ(HomeDir(), home);
        EXPECT_EQ(UserDataRoot(), JoinPath(home, ".local/share"));
        EXPECT_EQ(UserConfigRoot(), JoinPath(home, ".config")) << "a relative folder is ignored";
        EXPECT_EQ(RuntimeDir(), "") << "no stand-in that other users share";
    }

    ScratchDir dir;
    ScopedEnv data("XDG_DATA_HOME", dir.file("new/deeper"));
    const mode_t oldMask = ::umask(022);
    const std::string family = FamilyDataDir("keyboard");
    ::umask(oldMask);
    EXPECT_EQ(family, dir.path() + "/new/deeper/TALYX RGB Gaming keyboard/keyboard");
    for (const std::string& folder : {dir.file("new"), dir.file("new/deeper"), ProductDataDir(), family}) {
        struct stat st {};
        ASSERT_EQ(::stat(folder.c_str(), &st), 0) << folder;
        EXPECT_EQ(st.st_mode & 0777, 0700u) << folder;
    }
}
