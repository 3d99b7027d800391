#include "device/transport/HidrawBackend.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "device/transport/DeviceIdentification.h"
#include "device/transport/FdConnection.h"
#include "device/transport/ReportDescriptor.h"
#include "device/transport/UeventWatch.h"
#include "platform/Debug.h"

namespace talyx {
namespace {

// How far up from the HID device the USB interface may sit in sysfs (the HID device's
// parent in practice; a hub or a driver in between adds a level or two).
constexpr int kMaxParentLevels = 6;

bool readFile(const std::string& path, std::string& content) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool readHexFile(const std::string& path, unsigned long& value) {
    std::string text;
    if (!readFile(path, text))
        return false;
    char* end = nullptr;
    value = std::strtoul(text.c_str(), &end, 16);
    return end != text.c_str();
}

bool exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

// The number N of "hidrawN", for listing nodes in the kernel's order.
long nodeNumber(const std::string& name) {
    return std::strtol(name.c_str() + 6, nullptr, 10);
}

// A collection on a hidraw node. Without report ids hidraw starts each report with its
// data; the callers expect the id byte first, as they write it. (The node hands every
// open descriptor every input report of the interface; HidDevice keeps its collection's.)
class HidrawConnection : public FdConnection {
public:
    HidrawConnection(int fd, std::string node, bool numbered)
        : FdConnection(fd, std::move(node)), m_numbered(numbered) {}

protected:
    bool accept(std::vector<uint8_t>& report) override {
        if (!m_numbered)
            report.insert(report.begin(), 0);
        return true;
    }

private:
    bool m_numbered;
};

std::string collectionPath(const std::string& node, uint16_t vid, uint16_t pid, int interfaceNumber, size_t index,
                           size_t count) {
    char markers[64];
    int n = std::snprintf(markers, sizeof markers, "#vid_%04x&pid_%04x", vid, pid);
    if (interfaceNumber >= 0)
        n += std::snprintf(markers + n, sizeof markers - n, "&mi_%02x", interfaceNumber & 0xFF);
    if (count > 1)
        std::snprintf(markers + n, sizeof markers - n, "&col%02x", static_cast<unsigned>(index + 1));
    return node + markers;
}

} // namespace

HidrawBackend::HidrawBackend(std::string sysfsRoot, std::string devRoot)
    : m_sysfsRoot(std::move(sysfsRoot)), m_devRoot(std::move(devRoot)) {}

std::string HidrawBackend::PermissionText(const std::string& node) {
    return "hidraw: no permission to open " + node +
           ". Install the udev rule packaging/udev/70-talyx.rules as /etc/udev/rules.d/70-talyx.rules "
           "(a line per supported device, such as SUBSYSTEM==\"hidraw\", ATTRS{idVendor}==\"320f\", "
           "ATTRS{idProduct}==\"5078\", TAG+=\"uaccess\"), "
           "reload the rules and replug the device; see docs/udev.md.";
}

int HidrawBackend::openNode(const std::string& nodePath, int flags) {
    return ::open(nodePath.c_str(), flags);
}

bool HidrawBackend::readNode(const std::string& name, Node& node) const {
    const std::string device = m_sysfsRoot + "/" + name + "/device";
    std::string uevent;
    if (!readFile(device + "/uevent", uevent))
        return false;
    // HID_ID=<bus>:<vendor>:<product>, all hexadecimal (0003:0000320F:00005078).
    bool found = false;
    std::istringstream lines(uevent);
    for (std::string line; std::getline(lines, line);) {
        unsigned bus = 0;
        unsigned vendor = 0;
        unsigned product = 0;
        if (std::sscanf(line.c_str(), "HID_ID=%x:%x:%x", &bus, &vendor, &product) == 3) {
            node.vendorId = static_cast<uint16_t>(vendor);
            node.productId = static_cast<uint16_t>(product);
            found = true;
            break;
        }
    }
    if (!found)
        return false;
    std::string descriptor;
    if (!readFile(device + "/report_descriptor", descriptor))
        return false;
    node.name = name;
    node.descriptor.assign(descriptor.begin(), descriptor.end());

    // The USB interface is an ancestor of the HID device; the USB device above it
    // carries the release number.
    node.interfaceNumber = -1;
    node.version = 0;
    char* real = ::realpath(device.c_str(), nullptr);
    if (!real)
        return true;
    std::string dir = real;
    std::free(real);
    for (int level = 0; level < kMaxParentLevels; ++level) {
        const size_t slash = dir.find_last_of('/');
        if (slash == std::string::npos || slash == 0)
            break;
        dir.erase(slash);
        unsigned long number = 0;
        if (readHexFile(dir + "/bInterfaceNumber", number)) {
            node.interfaceNumber = static_cast<int>(number & 0xFF);
            unsigned long release = 0;
            const size_t up = dir.find_last_of('/');
            if (up != std::string::npos && readHexFile(dir.substr(0, up) + "/bcdDevice", release))
                node.version = static_cast<uint16_t>(release);
            break;
        }
    }
    return true;
}

bool HidrawBackend::splitPath(const std::string& path, std::string& name) const {
    const size_t hash = path.rfind('#');
    if (hash == std::string::npos)
        return false;
    const std::string node = path.substr(0, hash);
    const size_t slash = node.find_last_of('/');
    name = slash == std::string::npos ? node : node.substr(slash + 1);
    return name.compare(0, 6, "hidraw") == 0 && name.size() > 6 && name.find('/') == std::string::npos;
}

bool HidrawBackend::enumerate(std::vector<std::string>& paths) {
    paths.clear();
    DIR* dir = ::opendir(m_sysfsRoot.c_str());
    if (!dir) {
        // No hidraw class at all means no HID device has been bound yet: nothing is
        // present, which is not a failure of the scan.
        return errno == ENOENT;
    }
    std::vector<std::string> names;
    while (dirent* entry = ::readdir(dir)) {
        if (std::strncmp(entry->d_name, "hidraw", 6) == 0 && entry->d_name[6] != '\0')
            names.emplace_back(entry->d_name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return nodeNumber(a) != nodeNumber(b) ? nodeNumber(a) < nodeNumber(b) : a < b;
    });

    for (const std::string& name : names) {
        Node node;
        ReportDescriptor descriptor;
        if (!readNode(name, node) || !descriptor.Parse(node.descriptor))
            continue;
        const size_t count = descriptor.CollectionCount();
        for (size_t i = 0; i < count; ++i)
            paths.push_back(
                collectionPath(m_devRoot + "/" + name, node.vendorId, node.productId, node.interfaceNumber, i, count));
    }
    return true;
}

HidStatus HidrawBackend::open(const std::string& path, bool wantRead, bool wantWrite, HidNodeInfo& info,
                              std::unique_ptr<HidConnection>& connection) {
    connection.reset();
    std::string name;
    Node node;
    if (!splitPath(path, name) || !readNode(name, node))
        return HidStatus::Gone;
    // hidraw numbers are reused: after a replug the same node may be another device.
    if (PathVendorId(path) != node.vendorId || PathProductId(path) != node.productId)
        return HidStatus::Gone;
    ReportDescriptor descriptor;
    if (!descriptor.Parse(node.descriptor))
        return HidStatus::IoError;
    const uint32_t collection = HexAfterMarker(path, "&col");
    const size_t count = descriptor.CollectionCount();
    if ((count > 1 && collection == 0) || (collection > count))
        return HidStatus::Gone;
    const HidTopLevelCollection& tlc = descriptor.Collection(collection ? collection - 1 : 0);

    const std::string nodePath = m_devRoot + "/" + name;
    int fd = -1;
    if (wantRead || wantWrite) {
        const int access = wantRead && wantWrite ? O_RDWR : (wantRead ? O_RDONLY : O_WRONLY);
        fd = openNode(nodePath, access | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            const int error = errno;
            if (HidStatusFromErrno(error) == HidStatus::NoAccess) {
                DebugOutput(PermissionText(nodePath));
                return HidStatus::NoAccess;
            }
            return TranslateErrno(error, "open", nodePath);
        }
    } else if (!exists(nodePath)) {
        return HidStatus::Gone;
    }
    auto opened = std::make_unique<HidrawConnection>(fd, nodePath, descriptor.UsesReportIds());
    if (fd >= 0 && !opened->valid())
        return HidStatus::IoError;
    info.attributes.vendorId = node.vendorId;
    info.attributes.productId = node.productId;
    info.attributes.versionNumber = node.version;
    info.reportDescriptor = tlc.descriptor;
    connection = std::move(opened);
    return HidStatus::Ok;
}

std::string HidrawBackend::nodeOf(const std::string& path) const {
    std::string name;
    return splitPath(path, name) ? m_devRoot + "/" + name : path;
}

std::unique_ptr<HidWatch> HidrawBackend::watch() {
    return UeventWatch::Open("hidraw");
}

bool HidrawBackend::probe(const std::string& path) {
    std::string name;
    if (!splitPath(path, name) || !exists(m_devRoot + "/" + name))
        return false;
    std::string uevent;
    if (!readFile(m_sysfsRoot + "/" + name + "/device/uevent", uevent))
        return false;
    char expected[32];
    std::snprintf(expected, sizeof expected, ":%08X:%08X", PathVendorId(path), PathProductId(path));
    for (char& c : uevent)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return uevent.find(expected) != std::string::npos;
}

} // namespace talyx
