#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "device/transport/HidTypes.h"

namespace talyx {

// One open HID top-level collection, as a backend delivers it.
class HidConnection {
public:
    virtual ~HidConnection() = default;
    // Waits up to timeoutMs (negative: forever) for one input report of this collection
    // and copies at most len bytes of it, report id first.
    // Returns the byte count (> 0), 0 on time-out, -1 on cancel, error or a device that
    // went away. Nothing stays pending when it returns.
    virtual int read(uint8_t* buffer, size_t len, int timeoutMs) = 0;
    // Writes one output report, report id first. Returns the byte count, 0 on time-out,
    // -1 on cancel or error.
    virtual int write(const uint8_t* buffer, size_t len, int timeoutMs) = 0;
    // Makes a waiting read() or write() return -1 at once, and every later call too.
    // Safe to call from any thread.
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
    // Opens a listed path. nullptr when it is gone or cannot be opened (the backend
    // writes a debug text when permissions are the reason).
    virtual std::unique_ptr<HidConnection> open(const std::string& path, bool wantRead, bool wantWrite,
                                                HidNodeInfo& info) = 0;
    // True when the path can still be reached; leaves nothing open.
    virtual bool probe(const std::string& path) = 0;
};

// The process's backend: the virtual bus in $TALYX_HID_BUS when that is set, else hidraw.
std::shared_ptr<HidBackend> DefaultHidBackend();

} // namespace talyx
