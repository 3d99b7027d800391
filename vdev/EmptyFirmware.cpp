#include "vdev/EmptyFirmware.h"

#include "vdev/VdevFraming.h"

namespace talyx::vdev {

std::vector<uint8_t> EmptyFirmware::Execute(const uint8_t* request) {
    return MakeReply(request[3], request[4], static_cast<uint16_t>(request[5] | request[6] << 8), 0x00);
}

} // namespace talyx::vdev
