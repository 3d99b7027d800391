#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace talyx {

// Device family index: selects the device class, the family folder and the page tables.
enum DeviceType : int {
    DeviceTypeMouse = 0,
    DeviceTypeKeyboard = 1,
    DeviceTypeMousePad = 2,
    DeviceTypeHeadset = 3,
};
constexpr int kDeviceTypeCount = 4;

// Role of a supported collection: the main collection owns the device page; the second
// collection of the same device (consumer page) carries its notification reports.
constexpr uint16_t kRoleMain = 0;
constexpr uint16_t kRoleSecond = 255;

// Product codes. Codes 6 and 9 are the wireless receivers of the mouse and the keyboard:
// a device found through a receiver gets the page of its wired partner row.
constexpr uint16_t kCodeKeyboard = 1;
constexpr uint16_t kCodeMouse = 2;
constexpr uint16_t kCodeMousePad = 3;
constexpr uint16_t kCodeMouseReceiver = 6;
constexpr uint16_t kCodeHeadset = 7;
constexpr uint16_t kCodeKeyboardReceiver = 9;

inline bool IsReceiverCode(uint16_t code) {
    return code == kCodeMouseReceiver || code == kCodeKeyboardReceiver;
}

// One HID top-level collection that the system opens; also the identity of a device page.
struct SupportedDeviceEntry {
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint16_t interfaceNumber = 0;  // after "&mi_" in the path
    uint16_t collectionNumber = 0; // after "&col" in the path; 0 when absent
    uint16_t productCode = 0;
    uint16_t role = kRoleMain;
    uint16_t connected = 0; // runtime: 1 while attached to an open device
    uint16_t usagePage = 0;
    uint16_t usage = 0;
    uint16_t hasPartner = 0; // the same physical device is also listed under partnerRow
    uint16_t partnerRow = 0;
    std::string devicePath; // runtime: path of the attached interface; empty when not attached

    // Same device: every field except the runtime ones (connected, path) and the partner
    // link is equal.
    bool SameDevice(const SupportedDeviceEntry& other) const;
};

// Device-family table row, in DeviceType order.
struct DeviceTypeInfo {
    const char* selectorLayout;     // layout of the selector item
    const char* selectorHeaderName; // header control of the selector item
    const char* powerContainerName; // container of the battery indicators
    const char* familyName;         // family folder and default profile name
    int32_t value1;
    int32_t value2;
    int32_t value3;
    int32_t value4; // handed to the new device page
    uint16_t vendorId;
    uint16_t productId;
    uint16_t productCode;
    uint16_t reserved; // 0 for every row that a lookup may find
};

// Device-page table row, in DeviceType order.
struct DevicePageInfo {
    int32_t valueA; // number of lights
    int32_t valueB; // number of keys
    int32_t valueC; // wireless-capable flag
    int32_t valueD; // not read
    const char* pageLayout;
    const char* lightFilePrefix;
};

constexpr size_t kSupportedDeviceCount = 11;

// The supported-interface table, 11 rows, in matching order.
const std::vector<SupportedDeviceEntry>& SupportedDeviceRows();
// The device-family table, one row per DeviceType.
extern const DeviceTypeInfo kDeviceTypeInfo[kDeviceTypeCount];
// The device-page table, one row per DeviceType.
extern const DevicePageInfo kDevicePageInfo[kDeviceTypeCount];

// The hexadecimal number right after `marker` in `path` (the marker found without regard
// to case; at most 8 digits read, the first non-hex character ends it). 0 when the marker
// is missing or no digit follows it.
uint32_t HexAfterMarker(const std::string& path, const char* marker);
uint16_t PathVendorId(const std::string& path);         // after "vid_"
uint16_t PathProductId(const std::string& path);        // after "pid_"
uint16_t PathInterfaceNumber(const std::string& path);  // after "&mi_"
uint16_t PathCollectionNumber(const std::string& path); // after "&col"
// An entry with the four path values and the path itself.
SupportedDeviceEntry EntryFromPath(const std::string& path);

// The family of a supported product: the family row with this vendor id, product id and
// product code (reserved 0). -1 when there is none; no page is made then.
int FamilyOf(uint16_t vendorId, uint16_t productId, uint16_t productCode);
// The supported-interface row with these four values, or -1.
int RowOf(uint16_t vendorId, uint16_t productId, uint16_t productCode, uint16_t role);

} // namespace talyx
