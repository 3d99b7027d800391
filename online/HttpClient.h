#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace talyx {

class TransferAbort;

// The client's settings block, filled by InitClient() before every form request.
// Time-outs in milliseconds; 0 means none.
struct WinHttpClient {
    std::string userAgent;
    std::string proxyName;     // used when the caller asks for the configured proxy
    std::string proxyUserName; // sent when not empty
    std::string proxyPassword; // sent when not empty
    uint32_t lastError = 0;    // error number of the last failure (see kError*)
    int resolveTimeoutMs = 0;
    int connectTimeoutMs = 0;
    int sendTimeoutMs = 0;
    int receiveTimeoutMs = 0;
};

// Written at the start of the reply buffer when no request could be sent at all; the 14
// characters only, no terminating zero.
inline constexpr char kNoLinkServer[] = "NO_LINK_SERVER";
inline constexpr size_t kNoLinkServerLength = 14;

// Error numbers of WinHttpClient::lastError, as the Windows HTTP interface numbers them,
// so that the numbers in the debug output read the same on every system.
inline constexpr uint32_t kErrorPathNotFound = 3;         // empty url
inline constexpr uint32_t kErrorInvalidParameter = 87;    // method other than GET or POST
inline constexpr uint32_t kErrorInsufficientBuffer = 122; // reply larger than the buffer
inline constexpr uint32_t kErrorTimeout = 12002;
inline constexpr uint32_t kErrorInternal = 12004;
inline constexpr uint32_t kErrorUnrecognizedScheme = 12006; // refused address (see IsAllowedUrl)
inline constexpr uint32_t kErrorNameNotResolved = 12007;
inline constexpr uint32_t kErrorCancelled = 12017;
inline constexpr uint32_t kErrorCannotConnect = 12029;
inline constexpr uint32_t kErrorConnectionError = 12030;
inline constexpr uint32_t kErrorRedirectFailed = 12156;
inline constexpr uint32_t kErrorSecureFailure = 12175;

// Why a download did not give a package.
enum class DownloadResult {
    Ok,
    Refused,      // the address is not allowed, or a redirect led somewhere not allowed
    NoLink,       // no connection could be made
    HttpStatus,   // the server answered with a status outside 2xx
    NoSize,       // the server announced no size
    TooLarge,     // the announced size is above the cap
    Short,        // fewer bytes came than announced
    Long,         // more bytes came than announced
    Stalled,      // nothing came for the receive time-out
    Aborted,      // TransferAbort::Abort()
    Failed,       // any other transport failure
    FileError,    // the package could not be written
    HashMismatch, // the bytes do not match the expected SHA-256
};
const char* DownloadResultText(DownloadResult result);

struct DownloadOptions {
    uint64_t maxBytes = 512ull * 1024 * 1024;
    std::string sha256; // expected digest, 64 hex digits; empty: none
};

// Progress of a download: (total bytes, bytes received so far, context). A total of 0
// reports a failure; received equal to the total reports a package that is in place.
using DownloadProgress = void (*)(double total, double received, void* context);

// HTTP over libcurl's synchronous interface; one object per worker thread.
//
// Every transfer:
//  - goes only to https addresses, or to plain http on a loopback address (127.0.0.0/8,
//    ::1, localhost); redirects are followed only to https, at most three;
//  - verifies certificates and host names always. $TALYX_UPDATE_CA_FILE may name a PEM
//    file of further authorities to trust (mirrors with their own authority, tests);
//  - is sent direct, or through the configured proxy when asked; when no connection
//    could be made and the environment names a proxy (https_proxy, http_proxy,
//    all_proxy, honouring no_proxy), it is sent once more through that proxy;
//  - ends when nothing moves for the receive (or send) time-out, and at once on the
//    TransferAbort given to SetAbort().
// Blocks its caller until the transfer ends.
class HttpClient {
public:
    HttpClient();
    // Fills the settings block with its initial values (the constructor does too);
    // callers initialise before each form request.
    void InitClient();
    WinHttpClient& Settings() { return m_settings; }
    void SetAbort(TransferAbort* abort) { m_abort = abort; }

    // Sends `body` as given (the caller decides whether a terminating zero counts) with
    // the method "GET" or "POST" (any case), and copies the reply body into `reply`, at
    // most `replyCapacity` bytes. Returns the number of reply bytes; 0 with
    // "NO_LINK_SERVER" at the start of `reply` when no request could be sent; -1 on any
    // other error (empty url, another method, a reply larger than the buffer, a transfer
    // that failed after the request was sent), with lastError set.
    int FormRequest(const std::string& url, const std::string& method, const char* body, size_t bodyLength, char* reply,
                    size_t replyCapacity, bool useConfiguredProxy);

    // Streams a url into `localFile` through a PackageWriter: the size announced for the
    // url (a HEAD request) must be present and within options.maxBytes, the GET must
    // bring exactly that many bytes with a 2xx status, and the expected digest must
    // match. Progress goes to `progress` (which may be null); any failure ends with a
    // (0, received) report and leaves `localFile` as it was.
    DownloadResult Download(const std::string& url, const std::string& localFile, DownloadProgress progress,
                            void* context, const DownloadOptions& options = DownloadOptions());

    // https anywhere, http only on a loopback address; nothing else.
    static bool IsAllowedUrl(const std::string& url);

private:
    struct Transfer;
    int perform(Transfer& transfer, bool throughEnvironmentProxy);
    int performWithFallback(Transfer& transfer);

    WinHttpClient m_settings;
    TransferAbort* m_abort = nullptr;
};

} // namespace talyx
