#include "device/transport/DeviceIdentification.h"

#include <cctype>
#include <cstring>

#include "platform/Hex.h"

namespace talyx {
namespace {

SupportedDeviceEntry row(uint16_t vid, uint16_t pid, uint16_t iface, uint16_t col, uint16_t code, uint16_t role,
                         uint16_t usagePage, uint16_t usage, uint16_t hasPartner, uint16_t partnerRow) {
    SupportedDeviceEntry e;
    e.vendorId = vid;
    e.productId = pid;
    e.interfaceNumber = iface;
    e.collectionNumber = col;
    e.productCode = code;
    e.role = role;
    e.usagePage = usagePage;
    e.usage = usage;
    e.hasPartner = hasPartner;
    e.partnerRow = partnerRow;
    return e;
}

} // namespace

bool SupportedDeviceEntry::SameDevice(const SupportedDeviceEntry& o) const {
    return vendorId == o.vendorId && productId == o.productId && interfaceNumber == o.interfaceNumber &&
           collectionNumber == o.collectionNumber && productCode == o.productCode && role == o.role &&
           usagePage == o.usagePage && usage == o.usage;
}

// The vendor collection (page FF1C, usage 92) carries the 64-byte commands; the consumer
// collection (page 000C) of the same interface carries notifications. Wired forms and
// their receivers point at each other through the partner columns.
const std::vector<SupportedDeviceEntry>& SupportedDeviceRows() {
    static const std::vector<SupportedDeviceEntry> rows = {
        row(0x320F, 0x5078, 1, 4, 1, kRoleMain, 0xFF1C, 0x92, 1, 2),
        row(0x320F, 0x5078, 1, 3, 1, kRoleSecond, 0x000C, 0x01, 1, 3),
        row(0x320F, 0x50EC, 1, 4, 9, kRoleMain, 0xFF1C, 0x92, 1, 0),
        row(0x320F, 0x50EC, 1, 3, 9, kRoleSecond, 0x000C, 0x01, 1, 1),
        row(0x320F, 0x50EF, 1, 4, 2, kRoleMain, 0xFF1C, 0x92, 1, 6),
        row(0x320F, 0x50EF, 1, 3, 2, kRoleSecond, 0x000C, 0x01, 1, 7),
        row(0x320F, 0x221D, 1, 4, 6, kRoleMain, 0xFF1C, 0x92, 1, 4),
        row(0x320F, 0x221D, 1, 3, 6, kRoleSecond, 0x000C, 0x01, 1, 5),
        row(0x320F, 0x1004, 1, 4, 3, kRoleMain, 0xFF1C, 0x92, 0, 0),
        row(0x320F, 0x1004, 1, 3, 3, kRoleSecond, 0x000C, 0x01, 0, 0),
        row(0x0C76, 0x1630, 3, 0, 7, kRoleMain, 0x000C, 0x01, 0, 0),
    };
    return rows;
}

// Layout names use '/' where the skin folders nest.
const DeviceTypeInfo kDeviceTypeInfo[kDeviceTypeCount] = {
    {"XML/CustomControlXML/DeviceOption.xml", "tab_header_device", "device_power_switch", "mouse", 0, 0, 0, 1, 0x320F,
     0x50EF, 2, 0},
    {"XML/CustomControlXML/DeviceOption.xml", "tab_header_device", "device_power_switch", "keyboard", 1, 1, -1, 0,
     0x320F, 0x5078, 1, 0},
    {"XML/CustomControlXML/DeviceOption.xml", "tab_header_device", "device_power_switch", "MousePad", 2, 2, 1, 2,
     0x320F, 0x1004, 3, 0},
    {"XML/CustomControlXML/DeviceOption.xml", "tab_header_device", "device_power_switch", "HD", 3, 3, -1, 3, 0x0C76,
     0x1630, 7, 0},
};

const DevicePageInfo kDevicePageInfo[kDeviceTypeCount] = {
    {15, 11, 1, -1, "XML/DeviceXml/mousedevice.xml", "quorv_light"},
    {170, 170, 0, -1, "XML/DeviceXml/keyboarddevice.xml", "quorv_light"},
    {15, 0, 0, -1, "XML/DeviceXml/mousepaddevice.xml", "quorv_light"},
    {13, 0, 0, -1, "XML/DeviceXml/hs6533device.xml", "quorv_light"},
};

uint32_t HexAfterMarker(const std::string& path, const char* marker) {
    const size_t markerLength = std::strlen(marker);
    if (markerLength == 0 || path.size() < markerLength)
        return 0;
    for (size_t at = 0; at + markerLength <= path.size(); ++at) {
        size_t i = 0;
        while (i < markerLength && std::tolower(static_cast<unsigned char>(path[at + i])) ==
                                       std::tolower(static_cast<unsigned char>(marker[i])))
            ++i;
        if (i != markerLength)
            continue;
        uint32_t value = 0;
        for (size_t d = at + markerLength; d < path.size() && d < at + markerLength + 8; ++d) {
            const int digit = HexDigit(path[d]);
            if (digit < 0)
                break;
            value = (value << 4) | static_cast<uint32_t>(digit);
        }
        return value;
    }
    return 0;
}

uint16_t PathVendorId(const std::string& path) {
    return static_cast<uint16_t>(HexAfterMarker(path, "vid_"));
}
uint16_t PathProductId(const std::string& path) {
    return static_cast<uint16_t>(HexAfterMarker(path, "pid_"));
}
uint16_t PathInterfaceNumber(const std::string& path) {
    return static_cast<uint16_t>(HexAfterMarker(path, "&mi_"));
}
uint16_t PathCollectionNumber(const std::string& path) {
    return static_cast<uint16_t>(HexAfterMarker(path, "&col"));
}

SupportedDeviceEntry EntryFromPath(const std::string& path) {
    SupportedDeviceEntry e;
    e.vendorId = PathVendorId(path);
    e.productId = PathProductId(path);
    e.interfaceNumber = PathInterfaceNumber(path);
    e.collectionNumber = PathCollectionNumber(path);
    e.devicePath = path;
    return e;
}

int FamilyOf(uint16_t vendorId, uint16_t productId, uint16_t productCode) {
    for (int i = 0; i < kDeviceTypeCount; ++i) {
        const DeviceTypeInfo& info = kDeviceTypeInfo[i];
        if (info.vendorId == vendorId && info.productId == productId && info.productCode == productCode &&
            info.reserved == 0)
            return i;
    }
    return -1;
}

int RowOf(uint16_t vendorId, uint16_t productId, uint16_t productCode, uint16_t role) {
    const auto& rows = SupportedDeviceRows();
    for (size_t i = 0; i < rows.size(); ++i) {
        const SupportedDeviceEntry& e = rows[i];
        if (e.vendorId == vendorId && e.productId == productId && e.productCode == productCode && e.role == role)
            return static_cast<int>(i);
    }
    return -1;
}

} // namespace talyx
