#pragma once

#include "vdev/FirmwareModel.h"
#include "vdev/FrameLog.h"

namespace talyx::vdev {

// The firmware of the families whose command set the program does not use yet (mouse,
// mouse pad, headset): every well-framed request gets a success reply with no data, so
// their collections can be opened and talked to without inventing a protocol. The live
// light frames they are sent (0x12, 170 lights of red, green and blue) are kept. Through
// a receiver (24-byte chunks) the device answers the online query (0xAA) with its online
// state, which starts off: the receiver waits for its device until a test says otherwise.
class EmptyFirmware : public FirmwareModel {
public:
    static constexpr size_t kFrameSize = 510;

    explicit EmptyFirmware(uint8_t maxChunk = 56) : m_maxChunk(maxChunk) {}
    std::vector<uint8_t> Execute(const uint8_t* request) override;
    uint8_t MaxChunk() const override { return m_maxChunk; }
    // The base's state and "frame" (FrameLog::Dump).
    Json::Value DumpState() const override;
    const FrameLog& Frames() const { return m_frames; }
    bool IsReceiver() const { return m_maxChunk == kReceiverChunk; }
    void SetOnline(bool online) { m_online = online; }
    bool IsOnline() const { return m_online; }
    static constexpr uint8_t kReceiverChunk = 24;

private:
    uint8_t m_maxChunk;
    bool m_online = false;
    FrameLog m_frames{kFrameSize};
};

} // namespace talyx::vdev
