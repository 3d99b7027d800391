#include "vdev/VirtualDevice.h"

#include <cstdio>
#include <cstring>

#include "vdev/EmptyFirmware.h"
#include "vdev/ReportDescriptors.h"
#include "vdev/VdevFraming.h"

namespace talyx::vdev {
namespace {

struct KindRow {
    DeviceKind kind;
    const char* name;
    const char* prefix; // socket name prefix
    uint16_t vendorId;
    uint16_t productId;
    int interfaceNumber;
    bool twoCollections;
};

// The supported collections of each family: the vendor collection is collection 4 and
// the consumer collection 3 of interface 1; the headset has a single consumer collection
// on interface 3.
constexpr KindRow kKinds[] = {
    {DeviceKind::Keyboard, "keyboard", "kbd", 0x320F, 0x5078, 1, true},
    {DeviceKind::KeyboardReceiver, "keyboard-receiver", "kbr", 0x320F, 0x50EC, 1, true},
    {DeviceKind::Mouse, "mouse", "ms", 0x320F, 0x50EF, 1, true},
    {DeviceKind::MouseReceiver, "mouse-receiver", "msr", 0x320F, 0x221D, 1, true},
    {DeviceKind::Mousepad, "mousepad", "pad", 0x320F, 0x1004, 1, true},
    {DeviceKind::Headset, "headset", "hs", 0x0C76, 0x1630, 3, false},
};

const KindRow& rowOf(DeviceKind kind) {
    for (const KindRow& row : kKinds) {
        if (row.kind == kind)
            return row;
    }
    return kKinds[0];
}

std::string collectionName(const KindRow& row, int index, int collection) {
    char name[96];
    if (collection > 0)
        std::snprintf(name, sizeof name, "%s%d#vid_%04x&pid_%04x&mi_%02x&col%02x", row.prefix, index, row.vendorId,
                      row.productId, row.interfaceNumber, collection);
    else
        std::snprintf(name, sizeof name, "%s%d#vid_%04x&pid_%04x&mi_%02x", row.prefix, index, row.vendorId,
                      row.productId, row.interfaceNumber);
    return name;
}

} // namespace

const char* DeviceKindName(DeviceKind kind) {
    return rowOf(kind).name;
}

bool ParseDeviceKind(const std::string& name, DeviceKind& kind) {
    for (const KindRow& row : kKinds) {
        if (name == row.name) {
            kind = row.kind;
            return true;
        }
    }
    return false;
}

VirtualDevice::VirtualDevice(DeviceKind kind, int index, const KeyboardOptions& keyboard)
    : m_kind(kind), m_index(index) {
    const KindRow& row = rowOf(kind);
    m_vendorId = row.vendorId;
    m_productId = row.productId;
    if (row.twoCollections) {
        // Descriptor order: the consumer collection comes first (col03), the vendor one
        // after it (col04).
        m_collections.push_back({collectionName(row, index, 4), VendorCollectionDescriptor(), true, false});
        m_collections.push_back({collectionName(row, index, 3), NotifyCollectionDescriptor(), false, true});
    } else {
        m_collections.push_back({collectionName(row, index, 0), HeadsetCollectionDescriptor(), true, true});
    }
    if (kind == DeviceKind::Keyboard || kind == DeviceKind::KeyboardReceiver) {
        KeyboardOptions options = keyboard;
        options.receiver = kind == DeviceKind::KeyboardReceiver;
        options.productId = m_productId;
        auto model = std::make_unique<KeyboardFirmware>(options);
        m_keyboard = model.get();
        m_firmware = std::move(model);
    } else {
        const bool receiver = kind == DeviceKind::MouseReceiver;
        auto model = std::make_unique<EmptyFirmware>(receiver ? EmptyFirmware::kReceiverChunk : 56);
        m_family = model.get();
        m_firmware = std::move(model);
    }
}

int VirtualDevice::NotificationCollection() const {
    for (size_t i = 0; i < m_collections.size(); ++i) {
        if (m_collections[i].notifications)
            return static_cast<int>(i);
    }
    return -1;
}

std::vector<uint8_t> VirtualDevice::Hello(int collection) const {
    const std::vector<uint8_t>& d = m_collections.at(static_cast<size_t>(collection)).descriptor;
    std::vector<uint8_t> hello = {'V', 'H', 'I', 'D', 1, 0};
    auto put16 = [&hello](uint16_t v) {
        hello.push_back(static_cast<uint8_t>(v & 0xFF));
        hello.push_back(static_cast<uint8_t>(v >> 8));
    };
    put16(m_vendorId);
    put16(m_productId);
    put16(m_release);
    put16(static_cast<uint16_t>(d.size()));
    hello.insert(hello.end(), d.begin(), d.end());
    return hello;
}

std::vector<std::vector<uint8_t>> VirtualDevice::OnOutputReport(int collection, const uint8_t* data, size_t length) {
    std::vector<std::vector<uint8_t>> out;
    if (collection < 0 || collection >= static_cast<int>(m_collections.size()) ||
        !m_collections[static_cast<size_t>(collection)].exchange)
        return out; // the consumer collection has no output reports to act on

    std::vector<uint8_t> refusal;
    const bool wellFramed = m_firmware->Check(data, length, refusal);
    const uint8_t command = length > 3 ? data[3] : 0;
    const uint8_t chunk = length > 4 ? data[4] : 0;
    const uint16_t offset = length > 6 ? static_cast<uint16_t>(data[5] | data[6] << 8) : 0;

    if (m_faults.noReply > 0) {
        --m_faults.noReply;
        ++m_swallowed;
        return out;
    }
    for (; m_faults.stale > 0; --m_faults.stale) {
        std::vector<uint8_t> stale = m_lastReply;
        if (stale.size() != kPacketSize || stale[3] == command)
            stale = MakeReply(static_cast<uint8_t>(command ^ 0x80), 0, 0, 0x00);
        out.push_back(stale);
    }
    std::vector<uint8_t> reply;
    if (!wellFramed) {
        reply = refusal;
    } else if (m_faults.statusCount > 0) {
        --m_faults.statusCount;
        reply = MakeReply(command, chunk, offset, m_faults.status);
    } else if (m_faults.unreachable > 0) {
        --m_faults.unreachable;
        reply = MakeReply(0xAA, chunk, offset, 0x00);
    } else {
        reply = m_firmware->Execute(data);
    }
    m_lastReply = reply;
    out.push_back(std::move(reply));

    if (m_faults.unplugAfter > 0 && --m_faults.unplugAfter == 0) {
        m_faults.unplugAfter = -1;
        m_unplugRequested = true;
    }
    return out;
}

std::vector<uint8_t> VirtualDevice::NotificationReport(uint16_t usage) {
    return {kNotifyReportId, static_cast<uint8_t>(usage & 0xFF), static_cast<uint8_t>(usage >> 8)};
}

bool VirtualDevice::TakeUnplugRequest() {
    const bool requested = m_unplugRequested;
    m_unplugRequested = false;
    return requested;
}

Json::Value VirtualDevice::DumpState() const {
    Json::Value out(Json::objectValue);
    out["index"] = m_index;
    out["kind"] = DeviceKindName(m_kind);
    char ids[16];
    std::snprintf(ids, sizeof ids, "%04x", m_vendorId);
    out["vendorId"] = ids;
    std::snprintf(ids, sizeof ids, "%04x", m_productId);
    out["productId"] = ids;
    out["plugged"] = m_plugged;
    Json::Value paths(Json::arrayValue);
    for (const CollectionSpec& c : m_collections)
        paths.append(c.name);
    out["collections"] = paths;
    Json::Value faults(Json::objectValue);
    faults["noReply"] = m_faults.noReply;
    faults["stale"] = m_faults.stale;
    faults["statusCount"] = m_faults.statusCount;
    faults["status"] = m_faults.status;
    faults["unreachable"] = m_faults.unreachable;
    faults["unplugAfter"] = m_faults.unplugAfter;
    out["faults"] = faults;
    out["swallowed"] = Json::UInt64(m_swallowed);
    out["notificationsSent"] = Json::UInt64(m_notificationsSent);
    out["firmware"] = m_firmware->DumpState();
    return out;
}

} // namespace talyx::vdev
