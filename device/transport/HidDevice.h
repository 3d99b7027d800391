#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device/transport/HidStatus.h"
#include "device/transport/HidTypes.h"

namespace talyx {

class HidBackend;
class HidConnection;
class ReportDescriptor;

// One HID top-level collection, opened by its path.
//
// Paths come from Enumerate() and carry the markers "vid_", "pid_", "&mi_" and "&col"
// (collection numbers count from 1 in descriptor order, 0 when the interface has one
// collection). The backend is chosen once per process: the virtual HID bus when the
// environment variable TALYX_HID_BUS names a folder, else hidraw under /sys/class/hidraw.
//
// An object is not thread-safe except for Close(), which may be called from another
// thread while Read() or Write() waits: the waiting call then fails at once.
class HidDevice {
public:
    HidDevice();
    // Uses the given backend instead of the process default (tests).
    explicit HidDevice(std::shared_ptr<HidBackend> backend);
    ~HidDevice();
    HidDevice(const HidDevice&) = delete;
    HidDevice& operator=(const HidDevice&) = delete;

    // Lists the present HID collections into the path list and resets the cursor.
    // False when the bus or sysfs cannot be read at all.
    bool Enumerate();
    // The next listed path, or nullptr when the list is empty or used up. The pointer
    // stays valid until the next Enumerate() or FreePaths().
    const std::string* NextPath();
    void FreePaths();
    size_t PathCount() const;

    // Closes what is open, stores the options and opens the path, then reads the
    // attributes and capabilities from the report descriptor. False (and closed) when
    // the node cannot be opened or its descriptor cannot be parsed; OpenStatus() then
    // says why. A node that exists but may not be opened (NoAccess) writes a debug text
    // naming it and the udev rule to install.
    bool Open(const std::string& path, bool wantRead, bool wantWrite, bool overlapped, bool exclusive);
    // Why the last Open() failed: Gone (no such collection any more), NoAccess, TimedOut
    // (a bus device that did not greet), IoError (including a descriptor that does not
    // parse); Ok after a successful one.
    HidStatus OpenStatus() const { return m_openStatus; }
    // Cancels a waiting Read() or Write() (from any thread), then closes.
    void Close();
    bool IsOpen() const;

    // Waits up to timeoutMs (negative: no time-out) for one input report of this
    // collection and copies it, report id first, into buffer; *bytesRead is the count
    // copied (0 unless Ok). Reports with an id that is not one of the collection's input
    // report ids are dropped and the wait goes on within the same time-out. Ok,
    // TimedOut, Cancelled (closed, or Close() from another thread), Gone or IoError.
    // Nothing stays pending after a failed call. Blocks.
    HidStatus Read(uint8_t* buffer, size_t length, size_t* bytesRead, int timeoutMs);
    // Writes one output report, report id first, padded with zeros to the collection's
    // output report length (a longer buffer is refused with IoError); *bytesWritten is
    // the count written (0 unless Ok). Ok, TimedOut, Cancelled, Gone or IoError. Blocks.
    HidStatus Write(const uint8_t* buffer, size_t length, size_t* bytesWritten, int timeoutMs);

    // The report ids a Read() delivers: the collection's input report ids ({0} when the
    // descriptor uses none), ascending. Empty until the first successful Open().
    std::vector<uint8_t> InputReportIds() const;

    // Fills the data items of the given report type whose report id equals report[0]
    // (button items: usage list, value items: raw and scaled values). False when a value
    // cannot be extracted or the report is too short.
    bool UnpackReport(const uint8_t* report, size_t length, HidReportType type);
    // The data items of a report type, as built at Open() and filled by UnpackReport().
    std::vector<HidDataItem>& DataItems(HidReportType type);

    const HidAttributes& Attributes() const { return m_attributes; }
    const HidCaps& Caps() const { return m_caps; }
    uint16_t VendorId() const { return m_attributes.vendorId; }
    uint16_t ProductId() const { return m_attributes.productId; }
    uint16_t UsagePage() const { return m_caps.usagePage; }
    uint16_t Usage() const { return m_caps.usage; }
    uint32_t InterfaceNumber() const { return m_interfaceNumber; }
    uint32_t CollectionNumber() const { return m_collectionNumber; }
    const std::string& Path() const { return m_path; }

    // The presence probe of the scan: true when the path can still be reached; opens
    // nothing that stays open.
    static bool Probe(const std::string& path);
    // The same probe through this object's backend (a test backend, for instance).
    bool IsPresent(const std::string& path) const;

private:
    std::shared_ptr<HidBackend> m_backend;
    std::vector<std::string> m_paths;
    size_t m_nextPath = 0;
    bool m_wantRead = false;
    bool m_wantWrite = false;
    bool m_overlapped = false;
    bool m_exclusive = false;
    // Shared so that Close() from another thread cannot free the connection under a
    // Read() or Write() that still waits on it; m_connectionLock guards the pointer.
    std::shared_ptr<HidConnection> m_connection;
    mutable std::mutex m_connectionLock;
    std::unique_ptr<ReportDescriptor> m_descriptor; // the open collection's parsed descriptor
    size_t m_collectionIndex = 0;                   // which of its collections is ours
    std::string m_path;
    HidCaps m_caps{};
    HidAttributes m_attributes{};
    std::vector<HidDataItem> m_items[3];
    uint32_t m_interfaceNumber = 0;
    uint32_t m_collectionNumber = 0;
    HidStatus m_openStatus = HidStatus::Gone;

    // Input report ids of the open collection; guarded by m_connectionLock with the
    // connection, so a Read() takes them whole while Close() runs in another thread.
    std::vector<uint8_t> m_inputIds;

    std::shared_ptr<HidConnection> connection() const;
    std::shared_ptr<HidConnection> connection(std::vector<uint8_t>& inputIds) const;
};

} // namespace talyx
