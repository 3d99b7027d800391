#include "device/transport/VirtualBusBackend.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include <dirent.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "device/transport/FdConnection.h"
#include "device/transport/FolderWatch.h"
#include "platform/Debug.h"

namespace talyx {
namespace {

uint16_t le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

void putLe16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v & 0xFF));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

bool containsMarker(const std::string& name) {
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    return lower.find("vid_") != std::string::npos;
}

} // namespace

VirtualBusBackend::VirtualBusBackend(std::string folder) : m_folder(std::move(folder)) {}

std::vector<uint8_t> VirtualBusBackend::MakeHello(uint16_t vendorId, uint16_t productId, uint16_t release,
                                                  const std::vector<uint8_t>& descriptor) {
    std::vector<uint8_t> hello = {'V', 'H', 'I', 'D'};
    putLe16(hello, kBusVersion);
    putLe16(hello, vendorId);
    putLe16(hello, productId);
    putLe16(hello, release);
    putLe16(hello, static_cast<uint16_t>(std::min<size_t>(descriptor.size(), 0xFFFF)));
    hello.insert(hello.end(), descriptor.begin(), descriptor.begin() + std::min<size_t>(descriptor.size(), 0xFFFF));
    return hello;
}

bool VirtualBusBackend::ParseHello(const uint8_t* data, size_t length, HidNodeInfo& info) {
    if (!data || length < kHelloHeader || std::memcmp(data, "VHID", 4) != 0 || le16(data + 4) != kBusVersion)
        return false;
    const size_t descriptorLength = le16(data + 12);
    if (length != kHelloHeader + descriptorLength)
        return false;
    info.attributes.vendorId = le16(data + 6);
    info.attributes.productId = le16(data + 8);
    info.attributes.versionNumber = le16(data + 10);
    info.reportDescriptor.assign(data + kHelloHeader, data + length);
    return true;
}

std::string VirtualBusBackend::socketPath(const std::string& path) const {
    return path.find('/') == std::string::npos ? m_folder + "/" + path : path;
}

int VirtualBusBackend::connectTo(const std::string& path) const {
    const std::string target = socketPath(path);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (target.size() >= sizeof address.sun_path) {
        errno = ENAMETOOLONG;
        return -1;
    }
    std::memcpy(address.sun_path, target.c_str(), target.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    int result;
    do {
        result = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    } while (result < 0 && errno == EINTR);
    if (result < 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

bool VirtualBusBackend::enumerate(std::vector<std::string>& paths) {
    paths.clear();
    DIR* dir = ::opendir(m_folder.c_str());
    // No folder yet: the bus has not been started, so nothing is plugged in (the watch
    // tells when it comes).
    if (!dir)
        return errno == ENOENT;
    while (dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == ".." || !containsMarker(name))
            continue;
        struct stat st;
        if (::stat((m_folder + "/" + name).c_str(), &st) == 0 && S_ISSOCK(st.st_mode))
            paths.push_back(name);
    }
    ::closedir(dir);
    std::sort(paths.begin(), paths.end());
    return true;
}

HidStatus VirtualBusBackend::open(const std::string& path, bool, bool, HidNodeInfo& info,
                                  std::unique_ptr<HidConnection>& connection) {
    connection.reset();
    const std::string node = socketPath(path);
    const int fd = connectTo(path);
    if (fd < 0) {
        const int error = errno;
        if (HidStatusFromErrno(error) == HidStatus::NoAccess) {
            DebugOutput("virtual bus: no permission to connect to " + node +
                        ". The bus folder and its sockets must be writable by this user.");
            return HidStatus::NoAccess;
        }
        return TranslateErrno(error, "connect", node);
    }
    // The hello comes first on every connection; a device that does not send it is not
    // one we can talk to.
    pollfd pfd = {fd, POLLIN, 0};
    int ready;
    do {
        ready = ::poll(&pfd, 1, kHelloTimeoutMs);
    } while (ready < 0 && errno == EINTR);
    HidStatus status = HidStatus::IoError;
    if (ready == 0) {
        status = HidStatus::TimedOut;
    } else if (ready == 1 && (pfd.revents & POLLIN)) {
        std::vector<uint8_t> buffer(kHelloHeader + 0xFFFF + 1);
        const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
        if (n == 0)
            status = HidStatus::Gone;
        else if (n < 0)
            status = TranslateErrno(errno, "hello", node);
        else if (ParseHello(buffer.data(), static_cast<size_t>(n), info))
            status = HidStatus::Ok;
    } else if (ready == 1) {
        status = HidStatus::Gone; // hung up before greeting
    }
    if (status != HidStatus::Ok) {
        ::close(fd);
        return status;
    }
    auto opened = std::make_unique<FdConnection>(fd, node);
    if (!opened->valid())
        return HidStatus::IoError;
    connection = std::move(opened);
    return HidStatus::Ok;
}

std::string VirtualBusBackend::nodeOf(const std::string& path) const {
    return socketPath(path);
}

std::unique_ptr<HidWatch> VirtualBusBackend::watch() {
    return std::make_unique<FolderWatch>(m_folder);
}

bool VirtualBusBackend::probe(const std::string& path) {
    const int fd = connectTo(path);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

} // namespace talyx
