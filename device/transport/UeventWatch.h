#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "device/transport/HidWatch.h"

namespace talyx {

// Device uevents of one subsystem (hidraw) from a netlink socket.
//
// Two kinds of message come on it: the kernel's own (group 1), sent the moment a node is
// added or removed, and udev's (group 2), sent once udev has run its rules, so after the
// node has the access rights the rules give (a node the kernel announced may not be
// openable yet; udev's message says it may be now). Both wake the scan. Kernel messages
// are taken only from the kernel (sender port 0), udev's only from root; anything else
// on the socket is ignored.
class UeventWatch : public HidWatch {
public:
    struct Uevent {
        std::string action;    // "add", "remove", "change", "bind", ...
        std::string subsystem; // "hidraw", "usb", ...
        std::string devName;   // "hidraw3", when the message names the node
    };

    // Subscribes to both groups. The watch's fd() is -1 where netlink cannot be had
    // (some sandboxes), and the scan then polls.
    static std::unique_ptr<UeventWatch> Open(const std::string& subsystem);
    // Reads messages from any datagram socket (a test's socket pair), without the sender
    // checks of netlink. Takes ownership of fd.
    UeventWatch(int fd, std::string subsystem, bool netlink);
    ~UeventWatch() override;
    UeventWatch(const UeventWatch&) = delete;
    UeventWatch& operator=(const UeventWatch&) = delete;

    int fd() const override { return m_fd; }
    // True when a pending message concerned the subsystem, or messages were lost (the
    // socket's buffer ran over), so that nothing is missed.
    bool drain() override;

    // Parses one message: the kernel's ("add@/devices/...", then NUL-separated
    // KEY=VALUE) or udev's ("libudev" header, then the same properties at the offset the
    // header gives). False when it is neither or is cut short. Never reads outside
    // data[0..length).
    static bool Parse(const uint8_t* data, size_t length, Uevent& event);

private:
    int m_fd;
    std::string m_subsystem;
    bool m_netlink;
};

} // namespace talyx
