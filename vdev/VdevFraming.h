#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace talyx::vdev {

// The device side of the 64-byte command exchange. Kept apart from the program's own
// framing code on purpose: the model checks what the program sends against its own
// reading of the rules, so a mistake on one side shows up instead of cancelling out.
constexpr size_t kPacketSize = 64;
constexpr uint8_t kVendorReportId = 0x04;
constexpr size_t kDataStart = 8;

// Sum of bytes 3..63 as unsigned bytes, low 16 bits.
uint16_t PacketChecksum(const uint8_t* packet);

// A 64-byte reply: report id, checksum in bytes 1 and 2 (as requests carry it), the
// command id in byte 3, chunk length and offset echoed in bytes 4 to 6, status in byte 7,
// data from byte 8 (at most 56 bytes are taken).
std::vector<uint8_t> MakeReply(uint8_t command, uint8_t length, uint16_t offset, uint8_t status,
                               const uint8_t* data = nullptr, size_t dataLength = 0);

// Lower-case hex without separators, and back (false on odd length or a bad digit).
std::string ToHex(const uint8_t* data, size_t length);
std::string ToHex(const std::vector<uint8_t>& data);
bool FromHex(const std::string& text, std::vector<uint8_t>& out);

} // namespace talyx::vdev
