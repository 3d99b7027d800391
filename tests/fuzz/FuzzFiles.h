#pragma once

// Files for the fuzz targets of the per-user file readers: the input becomes a file in a
// private scratch folder (on /dev/shm when there is one, so writes cost little), or
// something worse in a file's place. The first byte of a part picks what:
//   'H'  the rest of the part repeated until the file is one byte over `cap`
//   'F'  a FIFO without a writer
//   else the part as it is, in a file of exactly its size
// Parts are split at the first 0xFF byte, which no UTF-8 text holds.

#include <cstdint>
#include <cstdlib>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "platform/FileIO.h"

namespace talyx::fuzz {

inline void check(bool condition) {
    if (!condition)
        std::abort();
}

inline void emptyFolder(const std::string& dir) {
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            const std::string name = e->d_name;
            if (name == "." || name == "..")
                continue;
            const std::string path = dir + "/" + name;
            if (unlink(path.c_str()) != 0)
                rmdir(path.c_str());
        }
        closedir(d);
    }
}

// The scratch folder, made once per process, emptied of files before each input and
// removed when the process ends.
inline const std::string& scratch() {
    // Never destroyed, so the exit handler that removes the folder can still name it.
    static const std::string* dir = [] {
        std::string pattern =
            (access("/dev/shm", W_OK) == 0 ? std::string("/dev/shm") : std::string("/tmp")) + "/talyx-fuzz-XXXXXX";
        check(mkdtemp(pattern.data()) != nullptr);
        std::atexit([] { check(std::system(("rm -rf '" + scratch() + "'").c_str()) == 0); });
        return new std::string(pattern);
    }();
    return *dir;
}

inline void plantFile(const std::string& path, const uint8_t* data, size_t size, size_t cap) {
    if (size > 0 && data[0] == 'F') {
        unlink(path.c_str());
        check(mkfifo(path.c_str(), 0600) == 0);
        return;
    }
    std::string text(reinterpret_cast<const char*>(data), size);
    if (size > 1 && data[0] == 'H') {
        const std::string unit = text.substr(1);
        text.clear();
        while (text.size() <= cap)
            text += unit;
        text.resize(cap + 1);
    }
    check(WriteFileAtomic(path, text));
}

// The input cut at the first 0xFF: (first part, the rest after the marker).
inline std::pair<std::pair<const uint8_t*, size_t>, std::pair<const uint8_t*, size_t>> splitInput(const uint8_t* data,
                                                                                                  size_t size) {
    size_t cut = 0;
    while (cut < size && data[cut] != 0xFF)
        ++cut;
    const size_t restAt = cut < size ? cut + 1 : size;
    return {{data, cut}, {data + restAt, size - restAt}};
}

inline bool isRegularFile(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace talyx::fuzz
