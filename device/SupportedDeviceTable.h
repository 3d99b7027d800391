#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "device/transport/DeviceIdentification.h"
#include "device/transport/HidStatus.h"

namespace talyx {

class HidDevice;

// A supported device that is plugged in but that this user may not open: its node has
// no access rights for us (no udev rule installed). Kept so that the window, and later
// the command line and the bus API, can say which node it is and what to do.
struct InaccessibleDevice {
    std::string node; // the file to give access to: "/dev/hidraw3", a bus socket
    std::string path; // the collection path that could not be opened
    int row = -1;     // the runtime row the device would take
};

// The runtime copy of the supported-interface table that the device-scan thread and the
// main window share.
//
// Who writes what: the scan thread alone attaches rows (AttachInterface, Attach) and
// detaches them when their device is gone (Detach): it writes the connected flag and the
// path. The main window only reads (Entry, PageIdentity, ConnectedRows), mostly while it
// handles the arrival and removal messages that the scan sends synchronously. Every
// operation takes the table's lock, so a reader never sees a path half written. The other
// columns never change after construction.
class SupportedDeviceTable {
public:
    // All rows of the supported-interface table, none attached.
    SupportedDeviceTable();
    SupportedDeviceTable(const SupportedDeviceTable&) = delete;
    SupportedDeviceTable& operator=(const SupportedDeviceTable&) = delete;

    size_t Size() const;
    // A copy of a row; an empty entry when the row is out of range.
    SupportedDeviceEntry Entry(size_t row) const;

    // For an entry built from a path: true when a table row has its vendor id, product
    // id, collection and interface number, and such a row is still free (neither
    // connected nor holding a path). Only wanted interfaces are opened.
    bool IsWanted(const SupportedDeviceEntry& fromPath) const;
    // True when every row is connected or holds a path: the scan then skips enumeration.
    bool AllFound() const;
    // For an entry with the attributes' vendor and product id and the caps' usage page
    // and usage: the first table row equal in vendor id, product id, collection,
    // interface, usage page and usage gives the entry its product code and role; the
    // first free row matching those six values is marked connected and takes the entry's
    // path. Returns that row, or -1.
    int Attach(SupportedDeviceEntry& entry);
    // Clears a row's connected flag and path, so a replugged device gets it back.
    // False when the row was not attached.
    bool Detach(size_t row);
    // Rows that are connected, ascending.
    std::vector<size_t> ConnectedRows() const;

    // The row under which a row's device page is kept, or -1. A main row stands for
    // itself, except a receiver row (codes 6 and 9) whose partner points back at it:
    // it stands for its wired partner. A second-collection row stands for the first
    // main row of the same vendor id, product id and product code (and so, for a
    // receiver, for the wired partner). A second collection never makes a page of its own.
    int PageIdentity(size_t row) const;

    // Attaches one enumerated interface: skips it unopened unless IsWanted; opens it
    // with read access, overlapped and shared (a failed open skips it); takes the vendor
    // and product id from the attributes and the usage page and usage from the caps;
    // attaches; closes the interface. Returns the attached row, which the scan reports
    // to the main window as an arrival, or -1. *openStatus (when given) is the open's
    // result: Ok when it was not tried or succeeded.
    int AttachInterface(HidDevice& hid, const std::string& path, HidStatus* openStatus = nullptr);
    // The free row that an interface built from a path would take (the first free row
    // with its vendor id, product id, collection and interface number), or -1.
    int WantedRow(const SupportedDeviceEntry& fromPath) const;

    // The supported devices found on the last full scan that may not be opened, one per
    // device (vendor id, product id and interface number), in the order found. Read from
    // any thread.
    std::vector<InaccessibleDevice> InaccessibleDevices() const;
    // What replacing the list changed, by node.
    struct InaccessibleChange {
        std::vector<InaccessibleDevice> added;   // in the new list, not in the old one
        std::vector<InaccessibleDevice> removed; // in the old list, not in the new one
    };
    // Replaces that list with the devices of the latest scan (the scan thread only).
    InaccessibleChange ReplaceInaccessible(std::vector<InaccessibleDevice> current);

private:
    int pageIdentityLocked(size_t row) const;

    mutable std::mutex m_mutex;
    std::vector<SupportedDeviceEntry> m_rows;
    std::vector<InaccessibleDevice> m_inaccessible;
};

} // namespace talyx
