#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace talyx {

// Where update packages are downloaded: $XDG_CACHE_HOME (default ~/.cache), then the
// product title, then "UpdateData". A folder of the user's own, never a shared
// temporary folder, so no other user can plant or swap a package there.
std::string PackageFolderPath();

// Creates the folder when it is missing (mode 0700, its parents as usual) and checks it:
// a real folder, not a symbolic link, owned by this user. Access for others is taken
// away. False when it is not such a folder.
bool EnsurePrivateFolder(const std::string& path);

// Writes one package: the bytes go to a new temporary file beside the final name
// (created exclusively, never through a link), which is synced and renamed into place
// only when it is whole and, when a SHA-256 is given, matches it. Until then the final
// name is untouched; a writer destroyed before Commit() removes its temporary file.
class PackageWriter {
public:
    PackageWriter() = default;
    ~PackageWriter();
    PackageWriter(const PackageWriter&) = delete;
    PackageWriter& operator=(const PackageWriter&) = delete;

    // Checks the final name's folder (EnsurePrivateFolder) and creates the temporary
    // file. False when either fails.
    bool Begin(const std::string& finalPath);
    // False when the bytes cannot be written.
    bool Write(const char* data, size_t size);
    uint64_t Size() const { return m_size; }

    enum class CommitResult { Ok, HashMismatch, FileError };
    // `sha256`: 64 hexadecimal digits, or empty for no check. The package is made
    // executable for its owner only.
    CommitResult Commit(const std::string& sha256);
    void Discard();

private:
    int m_dir = -1;
    int m_fd = -1;
    std::string m_tempName;
    std::string m_finalName;
    uint64_t m_size = 0;
    void* m_hash = nullptr; // EVP_MD_CTX
};

// Lower-case hexadecimal SHA-256 of a byte string.
std::string Sha256Hex(const std::string& data);

} // namespace talyx
