#include "online/HttpClient.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <curl/curl.h>
#include <functional>
#include <mutex>
#include <sys/socket.h>
#include <unistd.h>

#include "online/PackageFolder.h"
#include "online/TransferAbort.h"
#include "platform/Debug.h"

namespace talyx {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kMaxRedirects = 3;

void globalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::string upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

bool startsWith(const std::string& s, const char* prefix) {
    return s.rfind(prefix, 0) == 0;
}

bool loopbackHost(const std::string& host) {
    if (host == "localhost" || host == "[::1]" || host == "::1")
        return true;
    in_addr v4{};
    return ::inet_pton(AF_INET, host.c_str(), &v4) == 1 && (ntohl(v4.s_addr) >> 24) == 127;
}

bool environmentNamesProxy(const std::string& url) {
    const bool https = startsWith(url, "https:") || startsWith(url, "HTTPS:");
    const char* names[] = {https ? "https_proxy" : "http_proxy", https ? "HTTPS_PROXY" : "", "all_proxy", "ALL_PROXY"};
    for (const char* name : names) {
        const char* value = *name ? std::getenv(name) : nullptr;
        if (value && *value)
            return true;
    }
    return false;
}

uint32_t errorNumber(CURLcode code, bool stalled, bool redirected) {
    switch (code) {
    case CURLE_OK:
        return 0;
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_TOO_MANY_REDIRECTS:
        return redirected ? kErrorRedirectFailed : kErrorUnrecognizedScheme;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return kErrorNameNotResolved;
    case CURLE_COULDNT_CONNECT:
        return kErrorCannotConnect;
    case CURLE_OPERATION_TIMEDOUT:
        return kErrorTimeout;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CACERT_BADFILE:
        return kErrorSecureFailure;
    case CURLE_ABORTED_BY_CALLBACK:
        return stalled ? kErrorTimeout : kErrorCancelled;
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
        return kErrorConnectionError;
    default:
        return kErrorInternal;
    }
}

} // namespace

// One request: what to send, where the reply goes, and what happened.
struct HttpClient::Transfer {
    std::string url;
    std::string method; // "GET", "POST" or "HEAD"
    const char* body = nullptr;
    size_t bodyLength = 0;
    std::vector<std::string> headers;
    bool useConfiguredProxy = false;
    // Takes reply bytes; false ends the transfer.
    std::function<bool(const char*, size_t)> sink;

    // Results of the last attempt.
    CURLcode code = CURLE_OK;
    long status = 0;
    bool sent = false;
    bool stalled = false;
    bool redirected = false;
    curl_off_t contentLength = -1;

    // Progress watch.
    HttpClient* client = nullptr;
    CURL* curl = nullptr;
    Clock::time_point lastMove;
    curl_off_t lastDown = -1;
    curl_off_t lastUp = -1;
};

namespace {

size_t onWrite(char* data, size_t size, size_t count, void* user) {
    auto* sink = static_cast<std::function<bool(const char*, size_t)>*>(user);
    const size_t n = size * count;
    return (*sink)(data, n) ? n : 0;
}

size_t onDiscard(char*, size_t size, size_t count, void*) {
    return size * count;
}

struct SocketHooks {
    TransferAbort* abort;
};

curl_socket_t onOpenSocket(void* user, curlsocktype, struct curl_sockaddr* address) {
    const int fd = ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
    if (fd >= 0)
        static_cast<SocketHooks*>(user)->abort->AddSocket(fd);
    return fd < 0 ? CURL_SOCKET_BAD : fd;
}

int onCloseSocket(void* user, curl_socket_t fd) {
    static_cast<SocketHooks*>(user)->abort->RemoveSocket(fd);
    return ::close(fd);
}

} // namespace

HttpClient::HttpClient() {
    globalInit();
    InitClient();
}

void HttpClient::InitClient() {
    m_settings = WinHttpClient();
    m_settings.userAgent = "WinHTTP Client/1.0";
    m_settings.resolveTimeoutMs = 0;
    m_settings.connectTimeoutMs = 60000;
    m_settings.sendTimeoutMs = 30000;
    m_settings.receiveTimeoutMs = 30000;
}

bool HttpClient::IsAllowedUrl(const std::string& url) {
    globalInit();
    CURLU* parsed = curl_url();
    if (!parsed)
        return false;
    bool allowed = false;
    char* scheme = nullptr;
    char* host = nullptr;
    if (curl_url_set(parsed, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK &&
        curl_url_get(parsed, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK &&
        curl_url_get(parsed, CURLUPART_HOST, &host, 0) == CURLUE_OK && host && *host) {
        const std::string s = scheme;
        allowed = s == "https" || (s == "http" && loopbackHost(host));
    }
    curl_free(scheme);
    curl_free(host);
    curl_url_cleanup(parsed);
    return allowed;
}

int HttpClient::perform(Transfer& t, bool throughEnvironmentProxy) {
    t.code = CURLE_OK;
    t.status = 0;
    t.sent = false;
    t.stalled = false;
    t.redirected = false;
    t.contentLength = -1;
    CURL* curl = curl_easy_init();
    if (!curl) {
        t.code = CURLE_FAILED_INIT;
        return -1;
    }
    t.client = this;
    t.curl = curl;
    t.lastMove = Clock::now();
    t.lastDown = t.lastUp = -1;

    curl_easy_setopt(curl, CURLOPT_URL, t.url.c_str());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, static_cast<long>(kMaxRedirects));
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    if (const char* ca = std::getenv("TALYX_UPDATE_CA_FILE"); ca && *ca) {
        // Beside the system's authorities, which stay in their folder.
        curl_easy_setopt(curl, CURLOPT_CAINFO, ca);
        curl_easy_setopt(curl, CURLOPT_CAPATH, "/etc/ssl/certs");
    }
    if (!m_settings.userAgent.empty())
        curl_easy_setopt(curl, CURLOPT_USERAGENT, m_settings.userAgent.c_str());
    // Name resolution is part of connecting here; the resolve time-out of 0 adds no limit.
    if (m_settings.connectTimeoutMs > 0)
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(m_settings.connectTimeoutMs));
    if (throughEnvironmentProxy) {
        // libcurl takes the proxy from the environment itself.
    } else if (t.useConfiguredProxy && !m_settings.proxyName.empty()) {
        curl_easy_setopt(curl, CURLOPT_PROXY, m_settings.proxyName.c_str());
        if (!m_settings.proxyUserName.empty())
            curl_easy_setopt(curl, CURLOPT_PROXYUSERNAME, m_settings.proxyUserName.c_str());
        if (!m_settings.proxyPassword.empty())
            curl_easy_setopt(curl, CURLOPT_PROXYPASSWORD, m_settings.proxyPassword.c_str());
    } else {
        curl_easy_setopt(curl, CURLOPT_PROXY, "");
    }

    TransferAbort localAbort;
    SocketHooks hooks{m_abort ? m_abort : &localAbort};
    curl_easy_setopt(curl, CURLOPT_OPENSOCKETFUNCTION, onOpenSocket);
    curl_easy_setopt(curl, CURLOPT_OPENSOCKETDATA, &hooks);
    curl_easy_setopt(curl, CURLOPT_CLOSESOCKETFUNCTION, onCloseSocket);
    curl_easy_setopt(curl, CURLOPT_CLOSESOCKETDATA, &hooks);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(
        curl, CURLOPT_XFERINFOFUNCTION,
        +[](void* user, curl_off_t, curl_off_t down, curl_off_t uptotal, curl_off_t up) -> int {
            auto* t = static_cast<Transfer*>(user);
            if (t->client->m_abort && t->client->m_abort->IsAborted())
                return 1;
            const Clock::time_point now = Clock::now();
            curl_off_t connectTime = 0;
            curl_easy_getinfo(t->curl, CURLINFO_CONNECT_TIME_T, &connectTime);
            // Until the connection stands, the connect time-out watches it.
            if (connectTime == 0 || down != t->lastDown || up != t->lastUp) {
                t->lastDown = down;
                t->lastUp = up;
                t->lastMove = now;
                return 0;
            }
            const WinHttpClient& s = t->client->m_settings;
            const int limit = up < uptotal ? s.sendTimeoutMs : s.receiveTimeoutMs;
            if (limit > 0 && now - t->lastMove > std::chrono::milliseconds(limit)) {
                t->stalled = true;
                return 1;
            }
            return 0;
        });
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &t);

    struct curl_slist* headers = nullptr;
    for (const std::string& h : t.headers)
        headers = curl_slist_append(headers, h.c_str());
    if (headers)
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    if (t.method == "HEAD") {
        curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    } else if (t.method == "POST" || t.bodyLength > 0) {
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, t.body ? t.body : "");
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(t.bodyLength));
        if (t.method != "POST")
            curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, t.method.c_str());
    } else {
        curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    }
    if (t.sink) {
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, onWrite);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &t.sink);
    } else {
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, onDiscard);
    }

    t.code = (m_abort && m_abort->IsAborted()) ? CURLE_ABORTED_BY_CALLBACK : curl_easy_perform(curl);
    long requestSize = 0;
    long redirects = 0;
    curl_easy_getinfo(curl, CURLINFO_REQUEST_SIZE, &requestSize);
    curl_easy_getinfo(curl, CURLINFO_REDIRECT_COUNT, &redirects);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &t.status);
    curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &t.contentLength);
    t.sent = requestSize > 0;
    t.redirected = redirects > 0;
    curl_easy_cleanup(curl);
    curl_slist_free_all(headers);
    t.curl = nullptr;
    m_settings.lastError = errorNumber(t.code, t.stalled, t.redirected);
    return t.code == CURLE_OK ? 0 : -1;
}

int HttpClient::performWithFallback(Transfer& t) {
    const int result = perform(t, false);
    const bool aborted = m_abort && m_abort->IsAborted();
    if (result == 0 || t.sent || aborted || !environmentNamesProxy(t.url))
        return result;
    DebugOutput("update: trying the proxy of the environment");
    return perform(t, true);
}

int HttpClient::FormRequest(const std::string& url, const std::string& method, const char* body, size_t bodyLength,
                            char* reply, size_t replyCapacity, bool useConfiguredProxy) {
    if (url.empty()) {
        m_settings.lastError = kErrorPathNotFound;
        return -1;
    }
    const std::string verb = upper(method);
    if (verb != "GET" && verb != "POST") {
        m_settings.lastError = kErrorInvalidParameter;
        return -1;
    }
    auto noLink = [&] {
        if (reply && replyCapacity >= kNoLinkServerLength)
            std::memcpy(reply, kNoLinkServer, kNoLinkServerLength);
        return 0;
    };
    if (!IsAllowedUrl(url)) {
        m_settings.lastError = kErrorUnrecognizedScheme;
        return noLink();
    }
    Transfer t;
    t.url = url;
    t.method = verb;
    t.body = body;
    t.bodyLength = bodyLength;
    t.useConfiguredProxy = useConfiguredProxy;
    t.headers = {"Content-Length:" + std::to_string(bodyLength), "Content-Type: application/x-www-form-urlencoded",
                 "Accept:application/prs.Quorv.v1+json", "Expect:"};
    size_t used = 0;
    bool overflow = false;
    t.sink = [&](const char* data, size_t n) {
        if (n > replyCapacity - used) {
            overflow = true;
            return false;
        }
        std::memcpy(reply + used, data, n);
        used += n;
        return true;
    };
    const int result = performWithFallback(t);
    if (!t.sent)
        return noLink();
    if (overflow) {
        m_settings.lastError = kErrorInsufficientBuffer;
        return -1;
    }
    return result == 0 ? static_cast<int>(used) : -1;
}

DownloadResult HttpClient::Download(const std::string& url, const std::string& localFile, DownloadProgress progress,
                                    void* context, const DownloadOptions& options) {
    double received = 0;
    auto fail = [&](DownloadResult why) {
        DebugOutput(std::string("update: download failed: ") + DownloadResultText(why));
        if (progress)
            progress(0, received, context);
        return why;
    };
    auto transportFailure = [&](const Transfer& t) {
        if (m_abort && m_abort->IsAborted())
            return DownloadResult::Aborted;
        if (t.stalled)
            return DownloadResult::Stalled;
        if (t.code == CURLE_UNSUPPORTED_PROTOCOL || t.code == CURLE_TOO_MANY_REDIRECTS)
            return DownloadResult::Refused;
        return t.sent ? DownloadResult::Failed : DownloadResult::NoLink;
    };
    if (!IsAllowedUrl(url))
        return fail(DownloadResult::Refused);

    Transfer head;
    head.url = url;
    head.method = "HEAD";
    if (performWithFallback(head) != 0)
        return fail(transportFailure(head));
    if (head.status < 200 || head.status > 299)
        return fail(DownloadResult::HttpStatus);
    if (head.contentLength <= 0)
        return fail(DownloadResult::NoSize);
    if (static_cast<uint64_t>(head.contentLength) > options.maxBytes)
        return fail(DownloadResult::TooLarge);
    const double total = static_cast<double>(head.contentLength);

    PackageWriter writer;
    if (!writer.Begin(localFile))
        return fail(DownloadResult::FileError);
    Transfer get;
    get.url = url;
    get.method = "GET";
    bool badStatus = false;
    bool tooLong = false;
    bool writeFailed = false;
    get.sink = [&](const char* data, size_t n) {
        long status = 0;
        curl_easy_getinfo(get.curl, CURLINFO_RESPONSE_CODE, &status);
        if (status < 200 || status > 299) {
            badStatus = true;
            return false;
        }
        if (received + static_cast<double>(n) > total) {
            tooLong = true;
            return false;
        }
        if (!writer.Write(data, n)) {
            writeFailed = true;
            return false;
        }
        received += static_cast<double>(n);
        // The last report, received equal to the total, waits until the package is in place.
        if (progress && received < total)
            progress(total, received, context);
        return true;
    };
    const int result = performWithFallback(get);
    if (badStatus || (result == 0 && (get.status < 200 || get.status > 299)))
        return fail(DownloadResult::HttpStatus);
    if (tooLong)
        return fail(DownloadResult::Long);
    if (writeFailed)
        return fail(DownloadResult::FileError);
    if (result != 0)
        return fail(get.code == CURLE_PARTIAL_FILE ? DownloadResult::Short : transportFailure(get));
    if (received != total)
        return fail(DownloadResult::Short);
    switch (writer.Commit(options.sha256)) {
    case PackageWriter::CommitResult::Ok:
        break;
    case PackageWriter::CommitResult::HashMismatch:
        return fail(DownloadResult::HashMismatch);
    case PackageWriter::CommitResult::FileError:
        return fail(DownloadResult::FileError);
    }
    if (progress)
        progress(total, total, context);
    return DownloadResult::Ok;
}

const char* DownloadResultText(DownloadResult result) {
    switch (result) {
    case DownloadResult::Ok:
        return "ok";
    case DownloadResult::Refused:
        return "address refused";
    case DownloadResult::NoLink:
        return "no connection";
    case DownloadResult::HttpStatus:
        return "server error status";
    case DownloadResult::NoSize:
        return "no size announced";
    case DownloadResult::TooLarge:
        return "too large";
    case DownloadResult::Short:
        return "fewer bytes than announced";
    case DownloadResult::Long:
        return "more bytes than announced";
    case DownloadResult::Stalled:
        return "stalled";
    case DownloadResult::Aborted:
        return "aborted";
    case DownloadResult::Failed:
        return "transfer failed";
    case DownloadResult::FileError:
        return "package not written";
    case DownloadResult::HashMismatch:
        return "checksum mismatch";
    }
    return "?";
}

} // namespace talyx
