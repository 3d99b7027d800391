#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <json/value.h>

#include "vdev/EmptyFirmware.h"
#include "vdev/FirmwareModel.h"
#include "vdev/KeyboardFirmware.h"

namespace talyx::vdev {

enum class DeviceKind { Keyboard, KeyboardReceiver, Mouse, MouseReceiver, Mousepad, Headset };

// "keyboard", "keyboard-receiver", "mouse", "mouse-receiver", "mousepad", "headset".
const char* DeviceKindName(DeviceKind kind);
bool ParseDeviceKind(const std::string& name, DeviceKind& kind);

// One top-level collection of a virtual device: its socket file name on the bus and its
// report descriptor.
struct CollectionSpec {
    std::string name;
    std::vector<uint8_t> descriptor;
    bool exchange = false;      // carries the command exchange (report id 4)
    bool notifications = false; // carries the notification reports
};

// Faults the device injects into its answers, in this order of precedence:
//  - noReply: the next N requests are swallowed (not executed, not answered);
//  - stale: the next request is answered by N stale replies (the previous reply, or one of
//    another command) before its own;
//  - status: the next N requests are answered with this status (0xFF or 0xFE), not executed;
//  - unreachable: the next N requests get the receiver's "unreachable" reply (0xAA);
//  - unplugAfter: after N more answered requests the device unplugs (-1: off).
struct FaultPlan {
    int noReply = 0;
    int stale = 0;
    int statusCount = 0;
    uint8_t status = 0xFF;
    int unreachable = 0;
    int unplugAfter = -1;
};

// A virtual device on the bus: its identity, collections, firmware model and faults. It
// holds no sockets; the bus feeds it output reports and sends what it returns.
class VirtualDevice {
public:
    // `index` numbers the devices of one program (it goes into the socket names).
    VirtualDevice(DeviceKind kind, int index, const KeyboardOptions& keyboard = KeyboardOptions());

    DeviceKind Kind() const { return m_kind; }
    int Index() const { return m_index; }
    uint16_t VendorId() const { return m_vendorId; }
    uint16_t ProductId() const { return m_productId; }
    uint16_t Release() const { return m_release; }
    const std::vector<CollectionSpec>& Collections() const { return m_collections; }
    // The collection that carries notification reports, or -1.
    int NotificationCollection() const;

    // The hello message of a collection: "VHID", bus version 1, vendor, product, release,
    // descriptor length and descriptor, little-endian.
    std::vector<uint8_t> Hello(int collection) const;

    // One output report arrived on a collection. Returns the input reports to send to every
    // connection of that collection, in order (none when the request is swallowed).
    std::vector<std::vector<uint8_t>> OnOutputReport(int collection, const uint8_t* data, size_t length);
    // The input report that carries one notification usage.
    static std::vector<uint8_t> NotificationReport(uint16_t usage);

    // True once the unplug fault has fired; cleared by the call.
    bool TakeUnplugRequest();

    FaultPlan& Faults() { return m_faults; }
    FirmwareModel& Firmware() { return *m_firmware; }
    // The keyboard model, or nullptr for the other families.
    KeyboardFirmware* Keyboard() { return m_keyboard; }
    // The model of the other families, or nullptr for the keyboard.
    EmptyFirmware* Family() { return m_family; }

    bool IsPlugged() const { return m_plugged; }
    void SetPlugged(bool plugged) { m_plugged = plugged; }
    uint64_t NotificationsSent() const { return m_notificationsSent; }
    void CountNotification() { ++m_notificationsSent; }

    Json::Value DumpState() const;

private:
    DeviceKind m_kind;
    int m_index;
    uint16_t m_vendorId = 0x320F;
    uint16_t m_productId = 0;
    uint16_t m_release = 0x0105;
    std::vector<CollectionSpec> m_collections;
    std::unique_ptr<FirmwareModel> m_firmware;
    KeyboardFirmware* m_keyboard = nullptr;
    EmptyFirmware* m_family = nullptr;
    FaultPlan m_faults;
    std::vector<uint8_t> m_lastReply;
    bool m_unplugRequested = false;
    bool m_plugged = false;
    uint64_t m_swallowed = 0;
    uint64_t m_notificationsSent = 0;
};

} // namespace talyx::vdev
