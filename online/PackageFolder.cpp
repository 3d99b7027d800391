#include "online/PackageFolder.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <openssl/evp.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Paths.h"
#include "platform/Product.h"

namespace talyx {
namespace {

std::string hexOf(const unsigned char* digest, unsigned length) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned i = 0; i < length; ++i) {
        out += digits[digest[i] >> 4];
        out += digits[digest[i] & 15];
    }
    return out;
}

std::string lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// Opens a folder without following a link at its last component and checks that it is
// ours and closed to others. -1 when it is not.
int openPrivateFolder(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() ||
        ((st.st_mode & 077) != 0 && ::fchmod(fd, 0700) != 0)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

std::string PackageFolderPath() {
    const char* cache = std::getenv("XDG_CACHE_HOME");
    std::string root;
    if (cache && *cache == '/')
        root = cache;
    else
        root = JoinPath(std::getenv("HOME") ? std::getenv("HOME") : "/", ".cache");
    return JoinPath(JoinPath(root, kProductTitle), "UpdateData");
}

bool EnsurePrivateFolder(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !MakeDirs(path.substr(0, slash)))
        return false;
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return false;
    const int fd = openPrivateFolder(path);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

PackageWriter::~PackageWriter() {
    Discard();
}

bool PackageWriter::Begin(const std::string& finalPath) {
    Discard();
    const size_t slash = finalPath.find_last_of('/');
    if (slash == std::string::npos || slash + 1 >= finalPath.size())
        return false;
    const std::string folder = finalPath.substr(0, slash);
    if (!EnsurePrivateFolder(folder))
        return false;
    m_dir = openPrivateFolder(folder);
    if (m_dir < 0)
        return false;
    m_finalName = finalPath.substr(slash + 1);
    std::random_device random;
    for (int attempt = 0; attempt < 8 && m_fd < 0; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, ".%08x", static_cast<unsigned>(random()));
        m_tempName = "." + m_finalName + suffix + ".part";
        m_fd = ::openat(m_dir, m_tempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    }
    if (m_fd < 0) {
        Discard();
        return false;
    }
    auto* ctx = EVP_MD_CTX_new();
    if (!ctx || EVP_DigestInit_ex(ctx, EVP_sha256(), nullptr) != 1) {
        EVP_MD_CTX_free(ctx);
        Discard();
        return false;
    }
    m_hash = ctx;
    m_size = 0;
    return true;
}

bool PackageWriter::Write(const char* data, size_t size) {
    if (m_fd < 0)
        return false;
    EVP_DigestUpdate(static_cast<EVP_MD_CTX*>(m_hash), data, size);
    while (size > 0) {
        const ssize_t n = ::write(m_fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<size_t>(n);
        m_size += static_cast<uint64_t>(n);
    }
    return true;
}

PackageWriter::CommitResult PackageWriter::Commit(const std::string& sha256) {
    if (m_fd < 0)
        return CommitResult::FileError;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    EVP_DigestFinal_ex(static_cast<EVP_MD_CTX*>(m_hash), digest, &length);
    if (!sha256.empty() && lower(sha256) != hexOf(digest, length)) {
        Discard();
        return CommitResult::HashMismatch;
    }
    const bool written = ::fchmod(m_fd, 0700) == 0 && ::fsync(m_fd) == 0;
    const bool closed = ::close(m_fd) == 0;
    m_fd = -1;
    // renameat replaces whatever has the final name, a planted link included, and never
    // writes through it.
    if (!written || !closed || ::renameat(m_dir, m_tempName.c_str(), m_dir, m_finalName.c_str()) != 0) {
        Discard();
        return CommitResult::FileError;
    }
    m_tempName.clear();
    ::fsync(m_dir);
    Discard();
    return CommitResult::Ok;
}

void PackageWriter::Discard() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (m_dir >= 0) {
        if (!m_tempName.empty())
            ::unlinkat(m_dir, m_tempName.c_str(), 0);
        ::close(m_dir);
        m_dir = -1;
    }
    m_tempName.clear();
    EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(m_hash));
    m_hash = nullptr;
}

std::string Sha256Hex(const std::string& data) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    EVP_Digest(data.data(), data.size(), digest, &length, EVP_sha256(), nullptr);
    return hexOf(digest, length);
}

} // namespace talyx
