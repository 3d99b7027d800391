#include "device/transport/HidDevice.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "device/transport/DeviceIdentification.h"
#include "device/transport/HidBackend.h"
#include "device/transport/HidrawBackend.h"
#include "device/transport/ReportDescriptor.h"
#include "device/transport/VirtualBusBackend.h"

namespace talyx {

std::shared_ptr<HidBackend> DefaultHidBackend() {
    // Chosen from the environment; made again only if a test changes TALYX_HID_BUS.
    static std::mutex lock;
    static std::shared_ptr<HidBackend> backend;
    static std::string chosenFor;
    const char* bus = std::getenv("TALYX_HID_BUS");
    const std::string key = bus && *bus ? std::string("bus:") + bus : std::string("hidraw");
    std::lock_guard<std::mutex> guard(lock);
    if (!backend || key != chosenFor) {
        if (bus && *bus)
            backend = std::make_shared<VirtualBusBackend>(bus);
        else
            backend = std::make_shared<HidrawBackend>();
        chosenFor = key;
    }
    return backend;
}

HidDevice::HidDevice() : m_backend(DefaultHidBackend()) {}

HidDevice::HidDevice(std::shared_ptr<HidBackend> backend)
    : m_backend(backend ? std::move(backend) : DefaultHidBackend()) {}

HidDevice::~HidDevice() {
    Close();
}

bool HidDevice::Enumerate() {
    FreePaths();
    std::vector<std::string> paths;
    if (!m_backend->enumerate(paths))
        return false;
    m_paths = std::move(paths);
    return true;
}

const std::string* HidDevice::NextPath() {
    if (m_nextPath >= m_paths.size())
        return nullptr;
    return &m_paths[m_nextPath++];
}

void HidDevice::FreePaths() {
    m_paths.clear();
    m_nextPath = 0;
}

size_t HidDevice::PathCount() const {
    return m_paths.size();
}

// Linux has no share modes and every transfer waits with a time-out, so `overlapped` and
// `exclusive` are kept only as the caller's wishes.
bool HidDevice::Open(const std::string& path, bool wantRead, bool wantWrite, bool overlapped, bool exclusive) {
    Close();
    m_wantRead = wantRead;
    m_wantWrite = wantWrite;
    m_overlapped = overlapped;
    m_exclusive = exclusive;
    m_path = path;

    HidNodeInfo info;
    std::unique_ptr<HidConnection> opened;
    m_openStatus = m_backend->open(path, wantRead, wantWrite, info, opened);
    if (m_openStatus != HidStatus::Ok || !opened) {
        if (m_openStatus == HidStatus::Ok)
            m_openStatus = HidStatus::IoError;
        return false;
    }
    m_openStatus = HidStatus::IoError;
    auto descriptor = std::make_unique<ReportDescriptor>();
    if (!descriptor->Parse(info.reportDescriptor))
        return false;
    // A backend normally hands over the one collection of the path; given a whole
    // interface, the path's collection number picks it.
    const uint32_t collection = HexAfterMarker(path, "&col");
    size_t index = 0;
    if (descriptor->CollectionCount() > 1) {
        if (collection == 0 || collection > descriptor->CollectionCount())
            return false;
        index = collection - 1;
    }

    m_attributes = info.attributes;
    m_caps = descriptor->Collection(index).caps;
    for (size_t t = 0; t < 3; ++t)
        m_items[t] = descriptor->BuildDataItems(index, static_cast<HidReportType>(t));
    m_descriptor = std::move(descriptor);
    m_collectionIndex = index;
    m_interfaceNumber = HexAfterMarker(path, "&mi_");
    m_collectionNumber = collection;
    m_openStatus = HidStatus::Ok;
    std::lock_guard<std::mutex> lock(m_connectionLock);
    m_inputIds = m_descriptor->Collection(index).inputReportIds;
    m_connection = std::move(opened);
    return true;
}

std::shared_ptr<HidConnection> HidDevice::connection() const {
    std::lock_guard<std::mutex> lock(m_connectionLock);
    return m_connection;
}

std::shared_ptr<HidConnection> HidDevice::connection(std::vector<uint8_t>& inputIds) const {
    std::lock_guard<std::mutex> lock(m_connectionLock);
    inputIds = m_inputIds;
    return m_connection;
}

void HidDevice::Close() {
    std::shared_ptr<HidConnection> closing;
    {
        std::lock_guard<std::mutex> lock(m_connectionLock);
        closing.swap(m_connection);
    }
    // Cancel first: a Read() or Write() waiting in another thread returns at once and
    // drops its own reference, which closes the descriptor.
    if (closing)
        closing->cancel();
    closing.reset();
    m_descriptor.reset();
    for (auto& items : m_items)
        items.clear();
}

bool HidDevice::IsOpen() const {
    return connection() != nullptr;
}

std::vector<uint8_t> HidDevice::InputReportIds() const {
    std::lock_guard<std::mutex> lock(m_connectionLock);
    return m_inputIds;
}

HidStatus HidDevice::Read(uint8_t* buffer, size_t length, size_t* bytesRead, int timeoutMs) {
    if (bytesRead)
        *bytesRead = 0;
    std::vector<uint8_t> ids;
    std::shared_ptr<HidConnection> conn = connection(ids);
    if (!conn)
        return HidStatus::Cancelled;
    if (!buffer || length == 0)
        return HidStatus::IoError;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    // The first wait gets the whole time-out; after a dropped report, what is left of it.
    for (int remaining = timeoutMs;;) {
        size_t got = 0;
        const HidStatus status = conn->read(buffer, length, got, remaining);
        if (status != HidStatus::Ok)
            return status;
        // A report of another collection (hidraw hands each descriptor all of the
        // interface's) or with an id this collection does not have is not ours to take.
        if (got > 0 && std::binary_search(ids.begin(), ids.end(), buffer[0])) {
            if (bytesRead)
                *bytesRead = got;
            return HidStatus::Ok;
        }
        if (timeoutMs >= 0)
            remaining = static_cast<int>(std::max<int64_t>(
                0, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                       .count()));
    }
}

HidStatus HidDevice::Write(const uint8_t* buffer, size_t length, size_t* bytesWritten, int timeoutMs) {
    if (bytesWritten)
        *bytesWritten = 0;
    std::shared_ptr<HidConnection> conn = connection();
    if (!conn)
        return HidStatus::Cancelled;
    if (!buffer || length == 0)
        return HidStatus::IoError;
    // Output reports go out whole: a shorter buffer is padded with zeros to the report
    // length; a longer one is not a report of this collection.
    const size_t reportLength = m_caps.outputReportByteLength;
    std::vector<uint8_t> padded;
    if (reportLength != 0) {
        if (length > reportLength)
            return HidStatus::IoError;
        if (length < reportLength) {
            padded.assign(reportLength, 0);
            std::memcpy(padded.data(), buffer, length);
            buffer = padded.data();
            length = reportLength;
        }
    }
    size_t written = 0;
    const HidStatus status = conn->write(buffer, length, written, timeoutMs);
    if (status == HidStatus::Ok && bytesWritten)
        *bytesWritten = written;
    return status;
}

bool HidDevice::UnpackReport(const uint8_t* report, size_t length, HidReportType type) {
    if (!m_descriptor)
        return false;
    return m_descriptor->UnpackReport(m_collectionIndex, report, length, type, m_items[static_cast<size_t>(type)]);
}

std::vector<HidDataItem>& HidDevice::DataItems(HidReportType type) {
    return m_items[static_cast<size_t>(type)];
}

bool HidDevice::Probe(const std::string& path) {
    return DefaultHidBackend()->probe(path);
}

bool HidDevice::IsPresent(const std::string& path) const {
    return m_backend->probe(path);
}

} // namespace talyx
