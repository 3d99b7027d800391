#pragma once

#include <string>

namespace talyx {

// Reads a whole file. False when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::string& out);

// Replaces a file so that a crash at any moment leaves either the old content or the
// new one, never a mix: the data goes to a temporary file in the same folder, which is
// flushed to disk and then renamed over the target; the folder is flushed last.
// False (and the old file untouched) when any step fails.
bool WriteFileAtomic(const std::string& path, const std::string& data);

} // namespace talyx
