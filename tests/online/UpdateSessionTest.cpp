// The update workers against a local server: check, download, start, and what running
// packages may report.
#include <condition_variable>
#include <fstream>
#include <signal.h>
#include <sstream>
#include <thread>

#include "online/PackageFolder.h"
#include "online/UpdateSession.h"
#include "tests/online/OnlineTestSupport.h"

using namespace talyx;
using namespace talyx::test;

namespace {

// Records what the session asks of its window.
class FakeHost : public UpdateSessionHost {
public:
    void ItemChanged(int) override { bump(); }
    void PageStateChanged(int) override { bump(); }
    void AllUpToDate() override {
        ++upToDate;
        bump();
    }
    void UpdateFailed() override {
        ++failed;
        bump();
    }
    bool OpenApplicationPackage(const std::string& path) override {
        std::lock_guard<std::mutex> lock(mutex);
        opened.push_back(path);
        return true;
    }
    // Waits until the condition holds (checked on every change and every 20 ms).
    bool waitFor(const std::function<bool()>& condition, int ms = 10000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!condition()) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            std::unique_lock<std::mutex> lock(mutex);
            changed.wait_for(lock, std::chrono::milliseconds(20));
        }
        return true;
    }
    std::atomic<int> upToDate{0};
    std::atomic<int> failed{0};
    std::mutex mutex;
    std::vector<std::string> opened;

private:
    void bump() { changed.notify_all(); }
    std::condition_variable changed;
};

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

UpdateTimings quick() {
    UpdateTimings t;
    t.afterDownloadMs = 0;
    t.beforeStartMs = 0;
    return t;
}

} // namespace

class UpdateSessionTest : public OnlineFixture {
protected:
    void SetUp() override {
        OnlineFixture::SetUp();
        if (IsSkipped())
            return;
        serve([this](const HttpRequest& r, HttpConnection& c) {
            if (r.path == "/api/updates") {
                std::lock_guard<std::mutex> lock(m_replyLock);
                for (const auto& [key, reply] : replies)
                    if (r.body.find("app_key=" + key + "&") == 0)
                        return void(c.Send(TestHttpServer::Response(200, reply)));
                c.Send(TestHttpServer::Response(200, R"({"name":""})"));
                return;
            }
            const std::string body = packages[r.path];
            c.Send(r.method == "HEAD" ? "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
                                            "\r\nConnection: close\r\n\r\n"
                                      : TestHttpServer::Response(200, body));
        });
    }
    std::string offer(const std::string& path, const std::string& version, const std::string& body) {
        packages[path] = body;
        return R"({"name":"x","version":")" + version + R"(","version_name":"V)" + version + R"(","path":")" +
               server.Url(path) + R"(","device_id":1,"sha256":")" + Sha256Hex(body) + "\"}";
    }
    UpdateRow row(int index, uint32_t version, int mode = 1) {
        UpdateRow r = UpdateTableRows()[static_cast<size_t>(index)];
        r.currentVersion = version;
        r.mode = mode;
        return r;
    }

    ScopedEnv url{"TALYX_UPDATE_URL", ""};
    std::mutex m_replyLock;
    std::map<std::string, std::string> replies;
    std::map<std::string, std::string> packages;
    FakeHost host;
};

TEST_F(UpdateSessionTest, OffersStartsAndRetriesPackagesABoundedNumberOfTimes) {
    setenv("TALYX_UPDATE_URL", server.Url("/api").c_str(), 1);
    const std::string marker = home.file("runs");
    // A firmware package that never reports: it is started three times, then the update fails.
    replies["QUORV_1_RX40Q71B_TALYX RGB_-1"] = offer("/fw.sh", "1a", "#!/bin/sh\necho run >> '" + marker + "'\n");
    replies["QUORV_0_ALL_TALYX RGB_1"] = offer("/app.deb", "106", "application package");
    UpdateSession session({row(1, 0x19, -1), row(kApplicationRow, 105)}, host, quick());
    session.OnUpdateState(kStepDone, 0);
    session.Start();
    ASSERT_TRUE(host.waitFor([&] { return session.PageState() == kPageHaveUpdate; }));
    for (int i : {0, 1}) {
        EXPECT_EQ(session.Item(i).state, kItemNeedUpdate) << i;
        EXPECT_TRUE(session.Item(i).ticked) << i;
    }
    EXPECT_EQ(session.Item(0).newVersionText, "V1a");
    EXPECT_EQ(session.Item(0).currentVersionText, "V0019");
    EXPECT_EQ(session.Item(1).newVersionText, "V106") << "the application shows the reply's version name";
    EXPECT_EQ(ReadLastUpdateDate(), TodayText());
    EXPECT_TRUE(session.UpdateOffered());

    session.StartUpdate();
    ASSERT_TRUE(host.waitFor([&] { return host.failed.load() == 1; }, 20000));
    EXPECT_EQ(session.Item(0).state, kItemFailed);
    EXPECT_EQ(readFile(marker), "run\nrun\nrun\n");
    ASSERT_TRUE(host.waitFor([&] {
        std::lock_guard<std::mutex> lock(host.mutex);
        return !host.opened.empty();
    }));
    EXPECT_EQ(session.Item(1).state, kItemUpdating);
    {
        std::lock_guard<std::mutex> lock(host.mutex);
        ASSERT_EQ(host.opened.size(), 1u);
        EXPECT_EQ(host.opened[0], PackageFolderPath() + "/AP.deb");
    }
    EXPECT_EQ(readFile(PackageFolderPath() + "/AP.deb"), "application package");
    EXPECT_FALSE(session.Item(0).url.empty());
}

TEST_F(UpdateSessionTest, ReportsAreTakenOnlyFromTheRunningPackage) {
    setenv("TALYX_UPDATE_URL", server.Url("/api").c_str(), 1);
    const std::string pidFile = home.file("pid");
    replies["QUORV_1_RX40Q38B_MS_1"] = offer("/ms.sh", "200",
                                             "#!/bin/sh\necho $$ > '" + pidFile + ".tmp'\nmv '" + pidFile + ".tmp' '" +
                                                 pidFile + "'\nexec sleep 30\n");
    UpdateSession session({row(0, 0x105)}, host, quick());
    session.Start();
    ASSERT_TRUE(host.waitFor([&] { return session.PageState() == kPageHaveUpdate; }));
    EXPECT_FALSE(session.AcceptsReportFrom(0)) << "nothing runs yet";
    session.StartUpdate();
    ASSERT_TRUE(host.waitFor([&] { return !readFile(pidFile).empty(); }));
    const pid_t package = static_cast<pid_t>(std::stoi(readFile(pidFile)));
    EXPECT_TRUE(session.AcceptsReportFrom(package));
    EXPECT_TRUE(session.AcceptsReportFrom(0));
    EXPECT_FALSE(session.AcceptsReportFrom(getpid())) << "another process may not report";
    session.OnUpdateState(kStepProgress, 42);
    EXPECT_EQ(session.Item(0).progress, 42);
    session.OnUpdateState(kStepDone, 0);
    EXPECT_EQ(session.Item(0).state, kItemUpToDate);
    EXPECT_EQ(session.Item(0).currentVersionText, "V200");
    EXPECT_EQ(session.Item(0).newVersionText, "");
    EXPECT_EQ(session.PageState(), kPageUpToDate);
    session.OnUpdateState(kStepFailed, 0);
    EXPECT_EQ(session.Item(0).state, kItemUpToDate) << "a report after the end is ignored";
    // Closing while the package still runs leaves it running.
    session.Stop();
    EXPECT_EQ(::kill(package, 0), 0);
    ::kill(package, SIGTERM);
}

TEST_F(UpdateSessionTest, NoServerOrNothingToAskSaysSo) {
    {
        UpdateSession session({}, host, quick());
        session.Start();
        ASSERT_TRUE(host.waitFor([&] { return session.PageState() == kPageNoServer; }));
    }
    setenv("TALYX_UPDATE_URL", ("https://127.0.0.1:" + std::to_string(TestHttpServer::ClosedPort()) + "/api/").c_str(),
           1);
    UpdateSession session({row(1, 0x105), row(kApplicationRow, 105)}, host, quick());
    session.Start();
    ASSERT_TRUE(host.waitFor([&] { return session.PageState() == kPageNoServer; }));
    EXPECT_EQ(session.Item(0).state, kItemUpToDate);
    EXPECT_EQ(session.Item(1).currentVersionText, std::string("V") + ProgramVersion())
        << "the application keeps its display version when nothing answered";
    EXPECT_FALSE(session.UpdateOffered());
    EXPECT_EQ(host.upToDate.load(), 0);
}
