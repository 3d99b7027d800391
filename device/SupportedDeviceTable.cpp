#include "device/SupportedDeviceTable.h"

#include <algorithm>

#include "device/transport/HidDevice.h"

namespace talyx {
namespace {

bool isFree(const SupportedDeviceEntry& e) {
    return !e.connected && e.devicePath.empty();
}

bool samePlace(const SupportedDeviceEntry& a, const SupportedDeviceEntry& b) {
    return a.vendorId == b.vendorId && a.productId == b.productId && a.collectionNumber == b.collectionNumber &&
           a.interfaceNumber == b.interfaceNumber;
}

bool sameCollection(const SupportedDeviceEntry& a, const SupportedDeviceEntry& b) {
    return samePlace(a, b) && a.usagePage == b.usagePage && a.usage == b.usage;
}

} // namespace

SupportedDeviceTable::SupportedDeviceTable() : m_rows(SupportedDeviceRows()) {}

size_t SupportedDeviceTable::Size() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_rows.size();
}

SupportedDeviceEntry SupportedDeviceTable::Entry(size_t row) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return row < m_rows.size() ? m_rows[row] : SupportedDeviceEntry{};
}

bool SupportedDeviceTable::IsWanted(const SupportedDeviceEntry& fromPath) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const SupportedDeviceEntry& e : m_rows)
        if (samePlace(e, fromPath) && isFree(e))
            return true;
    return false;
}

bool SupportedDeviceTable::AllFound() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const SupportedDeviceEntry& e : m_rows)
        if (isFree(e))
            return false;
    return true;
}

int SupportedDeviceTable::Attach(SupportedDeviceEntry& entry) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto& table = SupportedDeviceRows();
    bool known = false;
    for (const SupportedDeviceEntry& e : table) {
        if (sameCollection(e, entry)) {
            entry.productCode = e.productCode;
            entry.role = e.role;
            known = true;
            break;
        }
    }
    if (!known)
        return -1;
    for (size_t i = 0; i < m_rows.size(); ++i) {
        SupportedDeviceEntry& e = m_rows[i];
        if (sameCollection(e, entry) && isFree(e)) {
            e.connected = 1;
            e.devicePath = entry.devicePath;
            return static_cast<int>(i);
        }
    }
    return -1;
}

bool SupportedDeviceTable::Detach(size_t row) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (row >= m_rows.size() || isFree(m_rows[row]))
        return false;
    m_rows[row].connected = 0;
    m_rows[row].devicePath.clear();
    return true;
}

std::vector<size_t> SupportedDeviceTable::ConnectedRows() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<size_t> rows;
    for (size_t i = 0; i < m_rows.size(); ++i)
        if (m_rows[i].connected)
            rows.push_back(i);
    return rows;
}

int SupportedDeviceTable::PageIdentity(size_t row) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return pageIdentityLocked(row);
}

int SupportedDeviceTable::pageIdentityLocked(size_t row) const {
    if (row >= m_rows.size())
        return -1;
    const SupportedDeviceEntry& e = m_rows[row];
    if (e.role == kRoleMain) {
        if (IsReceiverCode(e.productCode) && e.hasPartner && e.partnerRow < m_rows.size() &&
            m_rows[e.partnerRow].partnerRow == row)
            return e.partnerRow;
        return static_cast<int>(row);
    }
    for (size_t i = 0; i < m_rows.size(); ++i) {
        const SupportedDeviceEntry& main = m_rows[i];
        if (main.role == kRoleMain && main.vendorId == e.vendorId && main.productId == e.productId &&
            main.productCode == e.productCode)
            return pageIdentityLocked(i);
    }
    return -1;
}

int SupportedDeviceTable::AttachInterface(HidDevice& hid, const std::string& path, HidStatus* openStatus) {
    if (openStatus)
        *openStatus = HidStatus::Ok;
    SupportedDeviceEntry entry = EntryFromPath(path);
    if (!IsWanted(entry))
        return -1;
    if (!hid.Open(path, true, false, true, false)) {
        if (openStatus)
            *openStatus = hid.OpenStatus();
        return -1;
    }
    entry.vendorId = hid.VendorId();
    entry.productId = hid.ProductId();
    entry.usagePage = hid.UsagePage();
    entry.usage = hid.Usage();
    const int row = Attach(entry);
    hid.Close();
    return row;
}

int SupportedDeviceTable::WantedRow(const SupportedDeviceEntry& fromPath) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (size_t i = 0; i < m_rows.size(); ++i)
        if (samePlace(m_rows[i], fromPath) && isFree(m_rows[i]))
            return static_cast<int>(i);
    return -1;
}

std::vector<InaccessibleDevice> SupportedDeviceTable::InaccessibleDevices() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_inaccessible;
}

SupportedDeviceTable::InaccessibleChange
SupportedDeviceTable::ReplaceInaccessible(std::vector<InaccessibleDevice> current) {
    auto missingFrom = [](const std::vector<InaccessibleDevice>& from, const std::vector<InaccessibleDevice>& list) {
        std::vector<InaccessibleDevice> out;
        for (const InaccessibleDevice& d : from) {
            const bool held = std::any_of(list.begin(), list.end(),
                                          [&](const InaccessibleDevice& other) { return other.node == d.node; });
            if (!held)
                out.push_back(d);
        }
        return out;
    };
    std::lock_guard<std::mutex> lock(m_mutex);
    InaccessibleChange change{missingFrom(current, m_inaccessible), missingFrom(m_inaccessible, current)};
    m_inaccessible = std::move(current);
    return change;
}

} // namespace talyx
