#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "device/transport/HidBackend.h"

namespace talyx {

// The client side of the virtual HID bus: each top-level collection of a virtual device
// is a listening SOCK_SEQPACKET socket in the bus folder, and the socket's file name is
// the device path (for example "kbd0#vid_320f&pid_5078&mi_01&col04").
//
// Connecting opens the collection. The device first sends a hello, little-endian:
//   0..3  "VHID"          4..5   bus version (1)
//   6..7  vendor id       8..9   product id
//   10..11 release number 12..13 descriptor length N, then N descriptor bytes.
// After it, each message to the device is one output report (id first, padded to the
// output report length) and each message from it one input report (id first).
// A probe connects and closes at once; devices ignore such a connection. Sockets that
// come and go are watched with inotify on the folder.
class VirtualBusBackend : public HidBackend {
public:
    static constexpr uint16_t kBusVersion = 1;
    static constexpr size_t kHelloHeader = 14;
    // How long a device may take to send its hello before the open is given up.
    static constexpr int kHelloTimeoutMs = 2000;

    explicit VirtualBusBackend(std::string folder);

    // Lists the file names of the sockets in the folder that carry the "vid_" marker,
    // sorted. False when the folder cannot be read.
    bool enumerate(std::vector<std::string>& paths) override;
    // Connects, reads the hello and fills the attributes and descriptor. Gone when the
    // socket is missing or refuses, NoAccess when it may not be connected to (with a
    // debug text naming it), TimedOut when no hello comes in time, IoError when what
    // comes is not a valid hello. Read and write access are always both granted.
    HidStatus open(const std::string& path, bool wantRead, bool wantWrite, HidNodeInfo& info,
                   std::unique_ptr<HidConnection>& connection) override;
    // Connects and closes at once. True when the connection was accepted.
    bool probe(const std::string& path) override;
    // The socket file of a path.
    std::string nodeOf(const std::string& path) const override;
    // inotify on the bus folder (FolderWatch): sockets created, removed or renamed.
    std::unique_ptr<HidWatch> watch() override;

    // Encodes a hello (used by devices that serve the bus, and by tests).
    static std::vector<uint8_t> MakeHello(uint16_t vendorId, uint16_t productId, uint16_t release,
                                          const std::vector<uint8_t>& descriptor);
    // Decodes one; false when it is not a valid version 1 hello.
    static bool ParseHello(const uint8_t* data, size_t length, HidNodeInfo& info);

private:
    std::string socketPath(const std::string& path) const;
    // A connected socket, or -1 with errno set.
    int connectTo(const std::string& path) const;

    std::string m_folder;
};

} // namespace talyx
