// The HTTP client against a local HTTPS server: the form request as the service sees
// it, requests that cannot be sent, and downloads that must never give a package.
#include <atomic>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <thread>
#include <unistd.h>

#include "online/HttpClient.h"
#include "online/PackageFolder.h"
#include "online/TransferAbort.h"
#include "online/UpdateTable.h"
#include "platform/Paths.h"
#include "tests/online/OnlineTestSupport.h"

using namespace talyx;
using namespace talyx::test;

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> folderEntries(const std::string& path) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(path.c_str())) {
        while (dirent* e = ::readdir(d))
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
                names.push_back(e->d_name);
        ::closedir(d);
    }
    return names;
}

struct Progress {
    std::vector<std::pair<double, double>> calls;
    static void record(double total, double received, void* self) {
        static_cast<Progress*>(self)->calls.emplace_back(total, received);
    }
};

std::string packageBytes(size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i)
        s += static_cast<char>('a' + i % 26);
    return s;
}

} // namespace

class HttpClientTest : public OnlineFixture {
protected:
    std::string folder() const { return PackageFolderPath(); }
    std::string package() const { return folder() + "/TALYX RGB"; }
};

TEST_F(HttpClientTest, FormRequestSendsTheQueryAsTheServiceExpects) {
    serve([](const HttpRequest&, HttpConnection& c) { c.Send(TestHttpServer::Response(200, R"({"name":""})")); });
    UpdateRow row = UpdateTableRows()[1];
    row.currentVersion = 0x105;
    const std::string body = QueryBody(row);
    ASSERT_EQ(body, "app_key=QUORV_1_RX40Q71B_TALYX RGB_1&version=105");
    HttpClient client;
    std::vector<char> reply(kUpdateReplyCapacity, 0);
    const int n = client.FormRequest(server.Url("/api/updates"), "post", body.c_str(), body.size() + 1, reply.data(),
                                     reply.size(), false);
    ASSERT_EQ(n, 11) << "lastError " << client.Settings().lastError;
    EXPECT_EQ(std::string(reply.data(), 11), R"({"name":""})");

    ASSERT_EQ(server.Requests().size(), 1u);
    const HttpRequest post = server.Requests()[0];
    EXPECT_EQ(post.raw.substr(0, post.raw.find("\r\n")), "POST /api/updates HTTP/1.1");
    EXPECT_NE(post.raw.find("\r\nContent-Length:" + std::to_string(body.size() + 1) + "\r\n"), std::string::npos)
        << post.raw;
    EXPECT_NE(post.raw.find("\r\nContent-Type: application/x-www-form-urlencoded\r\n"), std::string::npos);
    EXPECT_NE(post.raw.find("\r\nAccept:application/prs.Quorv.v1+json\r\n"), std::string::npos);
    EXPECT_NE(post.raw.find("\r\nUser-Agent: WinHTTP Client/1.0\r\n"), std::string::npos);
    EXPECT_EQ(post.body, body + std::string(1, '\0')) << "the counted zero byte goes out too";

    // "get" is sent as GET; other methods and an empty address go nowhere.
    EXPECT_GE(client.FormRequest(server.Url("/api/updates"), "get", nullptr, 0, reply.data(), reply.size(), false), 0);
    ASSERT_EQ(server.Requests().size(), 2u);
    EXPECT_EQ(server.Requests()[1].raw.substr(0, 27), "GET /api/updates HTTP/1.1\r\n");
    EXPECT_EQ(client.FormRequest(server.Url("/api/updates"), "PUT", "x", 1, reply.data(), reply.size(), false), -1);
    EXPECT_EQ(client.Settings().lastError, kErrorInvalidParameter);
    EXPECT_EQ(client.FormRequest("", "POST", "x", 1, reply.data(), reply.size(), false), -1);
    EXPECT_EQ(client.Settings().lastError, kErrorPathNotFound);
    EXPECT_EQ(server.Requests().size(), 2u);

    // A reply larger than the buffer is not an answer.
    server.Stop();
    const std::string big(3000, ' ');
    serve([&](const HttpRequest&, HttpConnection& c) { c.Send(TestHttpServer::Response(200, big)); });
    EXPECT_EQ(client.FormRequest(server.Url("/api/updates"), "POST", "x", 1, reply.data(), 1000, false), -1);
    EXPECT_EQ(client.Settings().lastError, kErrorInsufficientBuffer);
}

TEST_F(HttpClientTest, RequestsThatCannotBeSentGiveNoLinkServer) {
    ScratchDir other;
    std::string cert, key;
    ASSERT_TRUE(TestHttpServer::MakeCertificate(other.path(), "stranger", cert, key));
    ASSERT_TRUE(server.Start([](const HttpRequest&, HttpConnection& c) { c.Send(TestHttpServer::Response(200, "{}")); },
                             cert, key));
    const std::string closed = "https://127.0.0.1:" + std::to_string(TestHttpServer::ClosedPort()) + "/api/updates";
    struct Case {
        std::string url;
        uint32_t error;
    } cases[] = {
        {closed, kErrorCannotConnect},
        {server.Url("/api/updates"), kErrorSecureFailure}, // self-signed, not trusted
        {"http://update.talyx.example/api/updates", kErrorUnrecognizedScheme},
        {"file:///etc/hostname", kErrorUnrecognizedScheme},
    };
    for (const Case& c : cases) {
        HttpClient client;
        char reply[64] = {};
        EXPECT_EQ(client.FormRequest(c.url, "POST", "a=1", 4, reply, sizeof reply, false), 0) << c.url;
        EXPECT_EQ(std::string(reply, 15), std::string("NO_LINK_SERVER") + '\0') << c.url;
        EXPECT_EQ(client.Settings().lastError, c.error) << c.url;
    }
    EXPECT_TRUE(server.Requests().empty()) << "the untrusted server was never asked";

    for (const char* url : {"https://example.org/x", "http://127.0.0.1:8080/x", "http://127.3.4.5/x",
                            "http://localhost/x", "http://[::1]/x"})
        EXPECT_TRUE(HttpClient::IsAllowedUrl(url)) << url;
    for (const char* url :
         {"http://10.0.0.1/x", "http://example.org/x", "ftp://127.0.0.1/x", "file:///tmp/x", "not a url", ""})
        EXPECT_FALSE(HttpClient::IsAllowedUrl(url)) << url;
}

TEST_F(HttpClientTest, WholeDownloadIsWrittenPrivatelyAndRenamedIntoPlace) {
    const std::string data = packageBytes(200000);
    serve([&](const HttpRequest& r, HttpConnection& c) {
        if (r.path == "/pkg") {
            c.Send(TestHttpServer::Response(302, "", "Location: " + server.Url("/real") + "\r\n"));
        } else if (r.method == "HEAD") {
            c.Send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(data.size()) +
                   "\r\nConnection: close\r\n\r\n");
        } else {
            c.Send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(data.size()) +
                   "\r\nConnection: close\r\n\r\n");
            for (size_t at = 0; at < data.size(); at += 20000) {
                c.Send(data.substr(at, 20000));
                c.Pause(5);
            }
        }
    });
    // A folder left open to others is closed again.
    ASSERT_TRUE(MakeDirs(folder()));
    ::chmod(folder().c_str(), 0755);
    HttpClient client;
    Progress progress;
    DownloadOptions options;
    options.sha256 = Sha256Hex(data);
    ASSERT_EQ(client.Download(server.Url("/pkg"), package(), &Progress::record, &progress, options),
              DownloadResult::Ok);
    EXPECT_EQ(readFile(package()), data);
    EXPECT_EQ(modeOf(folder()) & 0777, 0700u);
    EXPECT_EQ(modeOf(package()) & 0777, 0700u);
    EXPECT_EQ(folderEntries(folder()), std::vector<std::string>{"TALYX RGB"}) << "no temporary file is left";
    ASSERT_GE(progress.calls.size(), 2u);
    for (size_t i = 1; i < progress.calls.size(); ++i)
        EXPECT_LE(progress.calls[i - 1].second, progress.calls[i].second);
    EXPECT_EQ(progress.calls.back(), std::make_pair(double(data.size()), double(data.size())));
    EXPECT_LT(progress.calls.front().second, double(data.size())) << "progress is reported on the way";
}

TEST_F(HttpClientTest, DownloadsThatAreNotWholeAreNeverPutInPlace) {
    const std::string data = packageBytes(1000);
    std::string mode;
    serve([&](const HttpRequest& r, HttpConnection& c) {
        const bool head = r.method == "HEAD";
        const std::string ok1000 = "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\nConnection: close\r\n\r\n";
        if (mode == "no size")
            c.Send("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + std::string(head ? "" : data));
        else if (mode == "short")
            c.Send(ok1000 + (head ? "" : data.substr(0, 500)));
        else if (mode == "long")
            c.Send(head ? ok1000 : TestHttpServer::Response(200, data + data));
        else if (mode == "dropped")
            c.Send(head ? ok1000 : "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + data.substr(0, 300));
        else if (mode == "404")
            c.Send(TestHttpServer::Response(404, "<html><body>Not found</body></html>"));
        else if (mode == "500")
            c.Send(head ? ok1000 : TestHttpServer::Response(500, data));
        else if (mode == "stall") {
            c.Send(ok1000 + (head ? "" : data.substr(0, 100)));
            c.Pause(2500);
        } else if (mode == "redirect to http")
            c.Send(TestHttpServer::Response(
                302, "", "Location: http://127.0.0.1:" + std::to_string(server.Port()) + "/pkg\r\n"));
        else if (mode == "too large")
            c.Send(head ? "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\nConnection: close\r\n\r\n" : "");
        else
            c.Send(head ? ok1000 : ok1000 + data);
    });
    struct Case {
        const char* mode;
        std::string url;
        DownloadResult expected;
        std::string sha256;
    } cases[] = {
        {"no size", server.Url("/pkg"), DownloadResult::NoSize, ""},
        {"short", server.Url("/pkg"), DownloadResult::Short, ""},
        {"long", server.Url("/pkg"), DownloadResult::Long, ""},
        {"dropped", server.Url("/pkg"), DownloadResult::Short, ""},
        {"404", server.Url("/pkg"), DownloadResult::HttpStatus, ""},
        {"500", server.Url("/pkg"), DownloadResult::HttpStatus, ""},
        {"redirect to http", server.Url("/pkg"), DownloadResult::Refused, ""},
        {"too large", server.Url("/pkg"), DownloadResult::TooLarge, ""},
        {"whole", server.Url("/pkg"), DownloadResult::HashMismatch, Sha256Hex("something else")},
        {"whole", "file:///etc/hostname", DownloadResult::Refused, ""},
        {"whole", "http://update.talyx.example/pkg", DownloadResult::Refused, ""},
        // Last: the server keeps this connection for a while after the client gave up.
        {"stall", server.Url("/pkg"), DownloadResult::Stalled, ""},
    };
    // The package of an earlier update stays as it was after each failure.
    ASSERT_TRUE(EnsurePrivateFolder(folder()));
    { std::ofstream(package()) << "old package"; }
    for (const Case& c : cases) {
        mode = c.mode;
        HttpClient client;
        client.Settings().receiveTimeoutMs = 700;
        Progress progress;
        DownloadOptions options;
        options.sha256 = c.sha256;
        options.maxBytes = 50000;
        EXPECT_EQ(client.Download(c.url, package(), &Progress::record, &progress, options), c.expected)
            << c.mode << " " << c.url;
        EXPECT_EQ(readFile(package()), "old package") << c.mode;
        EXPECT_EQ(folderEntries(folder()).size(), 1u) << c.mode << ": no temporary file is left";
        ASSERT_FALSE(progress.calls.empty()) << c.mode;
        EXPECT_EQ(progress.calls.back().first, 0.0) << c.mode << ": the failure is reported with a total of 0";
    }
}

TEST_F(HttpClientTest, PlantedLinksAreNeverWrittenThrough) {
    const std::string data = packageBytes(64);
    serve([&](const HttpRequest& r, HttpConnection& c) {
        c.Send(r.method == "HEAD" ? "HTTP/1.1 200 OK\r\nContent-Length: 64\r\nConnection: close\r\n\r\n"
                                  : TestHttpServer::Response(200, data));
    });
    ScratchDir elsewhere;
    const std::string victim = elsewhere.file("victim");
    { std::ofstream(victim) << "keep me"; }
    ASSERT_TRUE(EnsurePrivateFolder(folder()));
    ASSERT_EQ(::symlink(victim.c_str(), package().c_str()), 0);
    HttpClient client;
    EXPECT_EQ(client.Download(server.Url("/pkg"), package(), nullptr, nullptr), DownloadResult::Ok);
    EXPECT_EQ(readFile(victim), "keep me");
    EXPECT_TRUE(S_ISREG(modeOf(package()))) << "the link was replaced, not followed";
    EXPECT_EQ(readFile(package()), data);

    // A package folder that is a link to another place is not used at all.
    const std::string linkedFolder = home.path() + "/cache/linked";
    ASSERT_EQ(::symlink(elsewhere.path().c_str(), linkedFolder.c_str()), 0);
    EXPECT_EQ(client.Download(server.Url("/pkg"), linkedFolder + "/pkg", nullptr, nullptr), DownloadResult::FileError);
    EXPECT_EQ(folderEntries(elsewhere.path()), std::vector<std::string>{"victim"});
}

TEST_F(HttpClientTest, AbortEndsAStalledTransferAtOnce) {
    serve([&](const HttpRequest& r, HttpConnection& c) {
        c.Send("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\nConnection: close\r\n\r\n");
        if (r.method == "GET")
            c.Pause(60000);
    });
    TransferAbort abort;
    HttpClient client;
    client.SetAbort(&abort);
    std::atomic<bool> started{false};
    std::thread aborter([&] {
        while (server.Requests().size() < 2)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        started = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        abort.Abort();
    });
    // With the default 30 s receive time-out, only the abort can end this transfer in time
    // for anything but Aborted to be wrong.
    EXPECT_EQ(client.Download(server.Url("/pkg"), package(), nullptr, nullptr), DownloadResult::Aborted);
    aborter.join();
    EXPECT_TRUE(started);
    EXPECT_FALSE(FileExists(package()));
    char reply[32] = {};
    EXPECT_EQ(client.FormRequest(server.Url("/api/updates"), "POST", "x", 1, reply, sizeof reply, false), 0)
        << "an aborted client sends nothing more";
}
