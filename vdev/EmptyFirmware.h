#pragma once

#include "vdev/FirmwareModel.h"

namespace talyx::vdev {

// The firmware of the families whose command set the program does not use yet (mouse,
// mouse pad, headset): every well-framed request gets a success reply with no data, so
// their collections can be opened and talked to without inventing a protocol.
class EmptyFirmware : public FirmwareModel {
public:
    explicit EmptyFirmware(uint8_t maxChunk = 56) : m_maxChunk(maxChunk) {}
    std::vector<uint8_t> Execute(const uint8_t* request) override;
    uint8_t MaxChunk() const override { return m_maxChunk; }

private:
    uint8_t m_maxChunk;
};

} // namespace talyx::vdev
