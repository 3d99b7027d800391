#include "tests/online/TestHttpServer.h"

#include <arpa/inet.h>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace talyx::test {
namespace {

std::string lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

class Connection : public HttpConnection {
public:
    Connection(int fd, SSL* ssl, std::atomic<bool>& stop) : m_fd(fd), m_ssl(ssl), m_stop(stop) {}
    bool Send(const std::string& bytes) override {
        size_t done = 0;
        while (done < bytes.size()) {
            const int n = m_ssl
                              ? SSL_write(m_ssl, bytes.data() + done, static_cast<int>(bytes.size() - done))
                              : static_cast<int>(::send(m_fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL));
            if (n <= 0)
                return false;
            done += static_cast<size_t>(n);
        }
        return true;
    }
    bool Pause(int ms) override {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            if (m_stop.load())
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }
    int Read(char* buffer, int size) {
        return m_ssl ? SSL_read(m_ssl, buffer, size)
                     : static_cast<int>(::recv(m_fd, buffer, static_cast<size_t>(size), 0));
    }

private:
    int m_fd;
    SSL* m_ssl;
    std::atomic<bool>& m_stop;
};

} // namespace

bool TestHttpServer::Start(Handler handler, const std::string& certFile, const std::string& keyFile) {
    m_handler = std::move(handler);
    if (!certFile.empty()) {
        SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
        if (!ctx || SSL_CTX_use_certificate_chain_file(ctx, certFile.c_str()) != 1 ||
            SSL_CTX_use_PrivateKey_file(ctx, keyFile.c_str(), SSL_FILETYPE_PEM) != 1) {
            SSL_CTX_free(ctx);
            return false;
        }
        m_ctx = ctx;
    }
    m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m_listen < 0 || ::bind(m_listen, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listen, 8) != 0 || ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return false;
    m_port = ntohs(address.sin_port);
    m_stop = false;
    m_thread = std::thread([this] { serve(); });
    return true;
}

void TestHttpServer::Stop() {
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    if (m_listen >= 0)
        ::close(m_listen);
    m_listen = -1;
    SSL_CTX_free(static_cast<SSL_CTX*>(m_ctx));
    m_ctx = nullptr;
}

std::string TestHttpServer::Url(const std::string& path) const {
    return std::string(m_ctx ? "https" : "http") + "://127.0.0.1:" + std::to_string(m_port) + path;
}

std::vector<HttpRequest> TestHttpServer::Requests() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

void TestHttpServer::serve() {
    while (!m_stop) {
        pollfd p{m_listen, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0)
            continue;
        const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        timeval timeout{2, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        serveOne(fd);
        ::close(fd);
    }
}

void TestHttpServer::serveOne(int fd) {
    SSL* ssl = nullptr;
    if (m_ctx) {
        ssl = SSL_new(static_cast<SSL_CTX*>(m_ctx));
        SSL_set_fd(ssl, fd);
        if (SSL_accept(ssl) != 1) {
            // The client refused the certificate: nothing was asked.
            SSL_free(ssl);
            ERR_clear_error();
            return;
        }
    }
    Connection connection(fd, ssl, m_stop);
    HttpRequest request;
    char buffer[4096];
    size_t headEnd = std::string::npos;
    size_t wanted = 0;
    for (;;) {
        if (headEnd != std::string::npos && request.raw.size() >= headEnd + 4 + wanted)
            break;
        const int n = connection.Read(buffer, sizeof buffer);
        if (n <= 0)
            break;
        request.raw.append(buffer, static_cast<size_t>(n));
        if (headEnd == std::string::npos && (headEnd = request.raw.find("\r\n\r\n")) != std::string::npos) {
            const std::string head = request.raw.substr(0, headEnd);
            size_t lineEnd = head.find("\r\n");
            const std::string first = head.substr(0, lineEnd);
            request.method = first.substr(0, first.find(' '));
            request.path = first.substr(first.find(' ') + 1, first.rfind(' ') - first.find(' ') - 1);
            while (lineEnd != std::string::npos && lineEnd < head.size()) {
                const size_t next = head.find("\r\n", lineEnd + 2);
                const std::string line =
                    head.substr(lineEnd + 2, next == std::string::npos ? std::string::npos : next - lineEnd - 2);
                const size_t colon = line.find(':');
                if (colon != std::string::npos) {
                    std::string value = line.substr(colon + 1);
                    value.erase(0, value.find_first_not_of(' '));
                    request.headers[lower(line.substr(0, colon))] = value;
                }
                lineEnd = next;
            }
            wanted = request.headers.count("content-length") ? std::stoul(request.headers["content-length"]) : 0;
        }
    }
    if (headEnd != std::string::npos) {
        request.body = request.raw.substr(headEnd + 4);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_requests.push_back(request);
        }
        m_handler(request, connection);
    }
    if (ssl) {
        SSL_shutdown(ssl);
        SSL_free(ssl);
    }
}

std::string TestHttpServer::Response(int status, const std::string& body, const std::string& extraHeaders) {
    return "HTTP/1.1 " + std::to_string(status) + " X\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n" + extraHeaders + "\r\n" + body;
}

bool TestHttpServer::MakeCertificate(const std::string& folder, const std::string& name, std::string& certFile,
                                     std::string& keyFile) {
    certFile = folder + "/" + name + ".crt";
    keyFile = folder + "/" + name + ".key";
    const std::string command = "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 "
                                "-subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -keyout '" +
                                keyFile + "' -out '" + certFile + "' >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

int TestHttpServer::ClosedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

} // namespace talyx::test
