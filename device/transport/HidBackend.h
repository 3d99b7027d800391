#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "device/transport/HidStatus.h"
#include "device/transport/HidTypes.h"
#include "device/transport/HidWatch.h"

namespace talyx {

// One open HID top-level collection, as a backend delivers it.
class HidConnection {
public:
    virtual ~HidConnection() = default;
    // Waits up to timeoutMs (negative: forever) for one report from the device and copies
    // at most len bytes of it, report id first; `got` is the count copied (0 unless Ok).
    // Ok, TimedOut, Cancelled (cancel() was called), Gone (end of file, hang-up, the
    // device was removed) or IoError. Nothing stays pending when it returns. Blocks.
    virtual HidStatus read(uint8_t* buffer, size_t len, size_t& got, int timeoutMs) = 0;
    // Writes one output report, report id first; `written` is the count taken (0 unless
    // Ok). Ok, TimedOut, Cancelled, Gone or IoError. Blocks.
    virtual HidStatus write(const uint8_t* buffer, size_t len, size_t& written, int timeoutMs) = 0;
    // Makes a waiting read() or write() return Cancelled at once, and every later call
    // too. Safe to call from any thread.
    virtual void cancel() = 0;
};

// What opening a collection tells about it: the device's attributes and the report
// descriptor of this one top-level collection.
struct HidNodeInfo {
    HidAttributes attributes;
    std::vector<uint8_t> reportDescriptor;
};

// A source of HID collections: hidraw under sysfs, the virtual HID bus, or a test fake.
class HidBackend {
public:
    virtual ~HidBackend() = default;
    // Lists the paths of the present collections. False when the source cannot be read.
    virtual bool enumerate(std::vector<std::string>& paths) = 0;
    // Opens a listed path and fills `info`; `connection` is set only when the result is
    // Ok. Gone when the path is not (or no longer) a collection we can talk to, NoAccess
    // when its node exists but this user may not open it (the backend then writes a
    // debug text that names the node and the remedy), IoError otherwise. Blocks at most
    // for the device's greeting.
    virtual HidStatus open(const std::string& path, bool wantRead, bool wantWrite, HidNodeInfo& info,
                           std::unique_ptr<HidConnection>& connection) = 0;
    // True when the path can still be reached; leaves nothing open.
    virtual bool probe(const std::string& path) = 0;
    // The file behind a path that a user would fix permissions on (the hidraw node, the
    // bus socket). The path itself unless the backend knows better.
    virtual std::string nodeOf(const std::string& path) const { return path; }
    // A watch that becomes readable when collections may have come or gone, so that the
    // scan need not poll. nullptr when the backend has none (the scan then polls).
    virtual std::unique_ptr<HidWatch> watch() { return nullptr; }
};

// The process's backend: the virtual bus in $TALYX_HID_BUS when that is set, else hidraw.
std::shared_ptr<HidBackend> DefaultHidBackend();

} // namespace talyx
