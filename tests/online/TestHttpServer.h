#pragma once

// A small HTTP and HTTPS server on 127.0.0.1 for the update tests. One thread serves one
// connection at a time; each connection carries one request, which the test's handler
// answers as it likes (whole, cut short, slowly, not at all). The certificate is made by
// the test with the openssl program.

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace talyx::test {

struct HttpRequest {
    std::string raw; // the request as it came, head and body
    std::string method;
    std::string path;
    std::map<std::string, std::string> headers; // names in lower case
    std::string body;
};

class HttpConnection {
public:
    virtual ~HttpConnection() = default;
    virtual bool Send(const std::string& bytes) = 0;
    // Waits, returning early (false) when the server stops.
    virtual bool Pause(int ms) = 0;
};

class TestHttpServer {
public:
    using Handler = std::function<void(const HttpRequest&, HttpConnection&)>;

    TestHttpServer() = default;
    ~TestHttpServer() { Stop(); }

    // Plain HTTP when certFile is empty. False when it cannot listen.
    bool Start(Handler handler, const std::string& certFile = "", const std::string& keyFile = "");
    void Stop();
    int Port() const { return m_port; }
    std::string Url(const std::string& path) const;
    std::vector<HttpRequest> Requests() const;

    // A whole response: status line, Content-Length, the extra header lines, the body.
    static std::string Response(int status, const std::string& body, const std::string& extraHeaders = "");
    // Makes a self-signed certificate for 127.0.0.1 in `folder`. False when openssl fails.
    static bool MakeCertificate(const std::string& folder, const std::string& name, std::string& certFile,
                                std::string& keyFile);
    // A port on which nothing listens.
    static int ClosedPort();

private:
    void serve();
    void serveOne(int fd);

    Handler m_handler;
    void* m_ctx = nullptr; // SSL_CTX
    int m_listen = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::vector<HttpRequest> m_requests;
};

} // namespace talyx::test
