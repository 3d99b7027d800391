#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "device/transport/HidBackend.h"

namespace talyx {

// HID collections of the Linux hidraw driver.
//
// Every /sys/class/hidraw/hidrawN node is one USB interface; its report descriptor
// (sysfs "device/report_descriptor") is split into its top-level collections, and each
// collection gets a path of its own:
//
//     <dev root>/hidrawN#vid_VVVV&pid_PPPP[&mi_II][&colCC]
//
// with the ids in lower-case hexadecimal, four digits, the interface number
// (bInterfaceNumber of the USB interface above the node) in two digits when the node
// sits on a USB interface, and the collection number, counted from 1 in descriptor
// order, in two digits when the interface has more than one top-level collection.
// For example "/dev/hidraw3#vid_320f&pid_5078&mi_01&col04". Everything after '#' is
// ours; the node is what comes before it.
//
// Each open collection has its own descriptor on the node, and hidraw hands every
// descriptor a copy of every input report (HidDevice keeps only its collection's). On
// interfaces without report ids a 0 is put in front of each report, so that callers
// always see the id first. Arrivals and removals are watched through the kernel's and
// udev's uevents of the hidraw subsystem.
class HidrawBackend : public HidBackend {
public:
    // The folder of the hidraw class in sysfs and the folder of the device nodes; tests
    // point both into a scratch tree.
    explicit HidrawBackend(std::string sysfsRoot = "/sys/class/hidraw", std::string devRoot = "/dev");

    // Lists one path per top-level collection of every hidraw node whose descriptor
    // parses. False when the sysfs folder cannot be read.
    bool enumerate(std::vector<std::string>& paths) override;
    // Opens the node of the path (read and/or write access, non-blocking, waits done by
    // poll) and fills the attributes and the collection's own descriptor. Gone when the
    // node is gone or is now another device, NoAccess when it exists but may not be
    // opened (with a debug text that names it and the udev rule), IoError otherwise.
    // Asking for neither read nor write opens nothing on the node and gives a connection
    // whose transfers fail (the attributes are still filled).
    HidStatus open(const std::string& path, bool wantRead, bool wantWrite, HidNodeInfo& info,
                   std::unique_ptr<HidConnection>& connection) override;
    // True when the node and its sysfs entry exist and still carry the path's vendor and
    // product id. Opens nothing.
    bool probe(const std::string& path) override;
    // The device node of a path: "<dev root>/hidrawN".
    std::string nodeOf(const std::string& path) const override;
    // Uevents of the hidraw subsystem (UeventWatch); a watch whose fd() is -1 where
    // netlink cannot be had.
    std::unique_ptr<HidWatch> watch() override;

    // What a node that may not be opened writes to the debug output.
    static std::string PermissionText(const std::string& node);

protected:
    // Opens the device node as open(2) does (-1 with errno on failure). Tests replace it
    // to hand over one end of a socket pair.
    virtual int openNode(const std::string& nodePath, int flags);

private:
    struct Node {
        std::string name; // hidrawN
        uint16_t vendorId = 0;
        uint16_t productId = 0;
        uint16_t version = 0;
        int interfaceNumber = -1; // -1: not on a USB interface
        std::vector<uint8_t> descriptor;
    };
    bool readNode(const std::string& name, Node& node) const;
    bool splitPath(const std::string& path, std::string& name) const;

    std::string m_sysfsRoot;
    std::string m_devRoot;
};

} // namespace talyx
