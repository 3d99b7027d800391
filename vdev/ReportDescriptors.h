#pragma once

#include <cstdint>
#include <vector>

namespace talyx::vdev {

// Report descriptors of the collections the virtual devices serve, as the real devices
// describe them.

// Report id of the notification reports of the second (consumer) collection.
constexpr uint8_t kNotifyReportId = 0x03;
// Highest notification usage: record index reports 0x11xx.
constexpr uint16_t kMaxNotifyUsage = 0x11FF;

// The vendor collection (usage page 0xFF1C, usage 0x92) that carries the command
// exchange: report id 4, a 63-byte input and a 63-byte output report, so 64 bytes each
// with the id.
std::vector<uint8_t> VendorCollectionDescriptor();

// The second collection (consumer page, Consumer Control): one 16-bit array input under
// report id 3 whose values are the notification usages (settings changed 0x401 and 0x402,
// key press 0x500 + n and release 0x600 + n, record index 0x10xx and 0x11xx).
std::vector<uint8_t> NotifyCollectionDescriptor();

// The headset's only collection (consumer page, Consumer Control): the notification array
// and, under report id 4, the 64-byte vendor input and output reports of the exchange.
std::vector<uint8_t> HeadsetCollectionDescriptor();

} // namespace talyx::vdev
