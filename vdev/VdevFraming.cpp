#include "vdev/VdevFraming.h"

#include <algorithm>
#include <cstring>

#include "platform/Hex.h"

namespace talyx::vdev {

uint16_t PacketChecksum(const uint8_t* packet) {
    uint32_t sum = 0;
    for (size_t i = 3; i < kPacketSize; ++i)
        sum += packet[i];
    return static_cast<uint16_t>(sum & 0xFFFF);
}

std::vector<uint8_t> MakeReply(uint8_t command, uint8_t length, uint16_t offset, uint8_t status, const uint8_t* data,
                               size_t dataLength) {
    std::vector<uint8_t> reply(kPacketSize, 0);
    reply[0] = kVendorReportId;
    reply[3] = command;
    reply[4] = length;
    reply[5] = static_cast<uint8_t>(offset & 0xFF);
    reply[6] = static_cast<uint8_t>(offset >> 8);
    reply[7] = status;
    if (data && dataLength > 0)
        std::memcpy(reply.data() + kDataStart, data, std::min(dataLength, kPacketSize - kDataStart));
    const uint16_t sum = PacketChecksum(reply.data());
    reply[1] = static_cast<uint8_t>(sum & 0xFF);
    reply[2] = static_cast<uint8_t>(sum >> 8);
    return reply;
}

std::string ToHex(const uint8_t* data, size_t length) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(length * 2);
    for (size_t i = 0; i < length; ++i) {
        out += digits[data[i] >> 4];
        out += digits[data[i] & 0x0F];
    }
    return out;
}

std::string ToHex(const std::vector<uint8_t>& data) {
    return ToHex(data.data(), data.size());
}

bool FromHex(const std::string& text, std::vector<uint8_t>& out) {
    if (text.size() % 2 != 0)
        return false;
    std::vector<uint8_t> bytes;
    bytes.reserve(text.size() / 2);
    for (size_t i = 0; i < text.size(); i += 2) {
        const int hi = HexDigit(text[i]);
        const int lo = HexDigit(text[i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        bytes.push_back(static_cast<uint8_t>(hi << 4 | lo));
    }
    out = std::move(bytes);
    return true;
}

} // namespace talyx::vdev
