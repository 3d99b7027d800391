#pragma once

#include <cstddef>
#include <string>

namespace talyx {

enum class FileReadResult {
    Ok,
    Missing,    // no such file, or it cannot be opened (permissions, a link loop)
    NotRegular, // a folder, FIFO, socket or device: never read
    TooLarge,   // larger than the caller's cap: not read
    Failed,     // opened, but reading failed
};

// Reads a regular file of at most maxBytes. Never blocks: the file is opened without
// waiting (a FIFO without a writer would otherwise hold the caller for good) and only a
// regular file is read. A file above the cap is refused from its size, before any of it
// is read; one that grows past the cap while it is read is refused too.
FileReadResult ReadRegularFile(const std::string& path, std::string& out, size_t maxBytes);

// What ReadWholeFile takes at most.
inline constexpr size_t kDefaultReadCap = size_t(16) << 20;
// Reads a whole regular file (see ReadRegularFile). False when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string& out, size_t maxBytes = kDefaultReadCap);

// Replaces a file so that a crash at any moment leaves either the old content or the
// new one, never a mix: the data goes to a temporary file in the same folder, named
// path + ".tmp-<pid>-<n>", which is flushed to disk and then renamed over the target;
// the folder is flushed last. The file is readable by its owner only (0600). The
// temporary file is made new (never opened through a link or over an old file).
// False (and the old file untouched) when any step fails.
bool WriteFileAtomic(const std::string& path, const std::string& data);

// Suffix of a damaged file that was moved aside.
inline constexpr const char* kCorruptSuffix = ".corrupt";

// Moves a file that cannot be used (unparsable, too large, not a regular file) out of the
// way of the one that will be rebuilt in its place: to path + ".corrupt", or, when such a
// file is already there, to path + "." + time-stamp + ".corrupt", so an older copy is
// never overwritten. The file is renamed, not copied: nothing of it is read. Returns the
// new path, empty when there was nothing to move or it could not be moved.
std::string KeepAside(const std::string& path);

// Removes the temporary files that WriteFileAtomic left in `folder` when a process of
// ours was killed in the middle of a write: names ending in ".tmp-<pid>-<n>", regular
// files (not links) owned by this user, whose process no longer runs. Anything else,
// among it the files of a write still going on, stays. Returns how many were removed.
size_t RemoveStaleTempFiles(const std::string& folder);

} // namespace talyx
