#include "vdev/EmptyFirmware.h"

#include "vdev/VdevFraming.h"

namespace talyx::vdev {

namespace {
constexpr uint8_t kCommandFrame = 0x12;
constexpr uint8_t kCommandOnline = 0xAA;
constexpr uint8_t kOnline = 0xFF;
constexpr uint8_t kOffline = 0x00;
} // namespace

std::vector<uint8_t> EmptyFirmware::Execute(const uint8_t* request) {
    const uint16_t offset = static_cast<uint16_t>(request[5] | request[6] << 8);
    if (request[3] == kCommandFrame && !m_frames.Chunk(request))
        return MakeReply(request[3], request[4], offset, 0xFE);
    if (request[3] == kCommandOnline && IsReceiver())
        return MakeReply(request[3], request[4], offset, 0x00, m_online ? &kOnline : &kOffline, 1);
    return MakeReply(request[3], request[4], offset, 0x00);
}

Json::Value EmptyFirmware::DumpState() const {
    Json::Value out = FirmwareModel::DumpState();
    out["frame"] = m_frames.Dump();
    if (IsReceiver())
        out["online"] = m_online;
    return out;
}

} // namespace talyx::vdev
