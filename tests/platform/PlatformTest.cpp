#include <atomic>
#include <chrono>
#include <fstream>
#include <set>
#include <sys/stat.h>
#include <thread>

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
}

TEST(Paths, UserFoldersFollowTheEnvironment) {
    ScratchDir dir;
    ScopedEnv data("XDG_DATA_HOME", dir.path());
    EXPECT_EQ(FamilyDataDir("keyboard"), dir.path() + "/TALYX RGB Gaming keyboard/keyboard");
    EXPECT_TRUE(DirExists(dir.path() + "/TALYX RGB Gaming keyboard/keyboard"));
    ScopedEnv prog("TALYX_DATA_DIR", "/opt/x");
    EXPECT_EQ(ProgramDataDir(), "/opt/x");
}
