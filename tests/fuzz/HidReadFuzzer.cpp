// The read path of a collection: reports come from the device, and a read must hand on
// only those of the collection's own input report ids, each whole, then unpack them.
// The input is a collection and what the device sends:
//   byte 0      collection number for the path's "&col" marker
//   bytes 1..2  descriptor length N (little-endian, taken modulo what is left)
//   N bytes     report descriptor
//   the rest    reports, each a length byte L and L bytes
// Descriptor and every report are copied into heap blocks of exactly their size.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <vector>

#include "device/transport/HidBackend.h"
#include "device/transport/HidDevice.h"

using namespace talyx;

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

using Block = std::vector<uint8_t>;

// Hands over the queued reports one per read; then a time-out, as a quiet device.
class ScriptedConnection : public HidConnection {
public:
    explicit ScriptedConnection(std::deque<Block>* reports) : m_reports(reports) {}
    HidStatus read(uint8_t* buffer, size_t len, size_t& got, int) override {
        got = 0;
        if (m_reports->empty())
            return HidStatus::TimedOut;
        const Block report = std::move(m_reports->front());
        m_reports->pop_front();
        if (report.empty())
            return HidStatus::Gone; // a zero-length read: the device went away
        std::unique_ptr<uint8_t[]> exact(new uint8_t[report.size()]);
        std::memcpy(exact.get(), report.data(), report.size());
        got = std::min(len, report.size());
        std::memcpy(buffer, exact.get(), got);
        return HidStatus::Ok;
    }
    HidStatus write(const uint8_t*, size_t len, size_t& written, int) override {
        written = len;
        return HidStatus::Ok;
    }
    void cancel() override {}

private:
    std::deque<Block>* m_reports;
};

class ScriptedBackend : public HidBackend {
public:
    Block descriptor;
    std::deque<Block> reports;
    bool enumerate(std::vector<std::string>&) override { return true; }
    HidStatus open(const std::string&, bool, bool, HidNodeInfo& info,
                   std::unique_ptr<HidConnection>& connection) override {
        info.attributes.vendorId = 0x320F;
        info.attributes.productId = 0x5078;
        info.reportDescriptor = descriptor;
        connection = std::make_unique<ScriptedConnection>(&reports);
        return HidStatus::Ok;
    }
    bool probe(const std::string&) override { return true; }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3)
        return 0;
    const size_t rest = size - 3;
    const size_t descriptorLength = rest ? (size_t(data[1]) | (size_t(data[2]) << 8)) % (rest + 1) : 0;
    auto backend = std::make_shared<ScriptedBackend>();
    backend->descriptor.assign(data + 3, data + 3 + descriptorLength);
    for (size_t at = 3 + descriptorLength; at < size;) {
        const size_t length = std::min<size_t>(data[at], size - at - 1);
        backend->reports.emplace_back(data + at + 1, data + at + 1 + length);
        at += 1 + length;
    }
    const size_t queued = backend->reports.size();

    char path[64];
    std::snprintf(path, sizeof path, "fuzz#vid_320f&pid_5078&mi_01&col%02x", data[0]);
    HidDevice hid(backend);
    if (!hid.Open(path, true, true, true, false))
        return 0;
    const std::vector<uint8_t> ids = hid.InputReportIds();
    const size_t room = std::max<size_t>(hid.Caps().inputReportByteLength, 1);
    std::vector<uint8_t> buffer(room);
    size_t reads = 0;
    for (;;) {
        size_t got = 0;
        const HidStatus status = hid.Read(buffer.data(), buffer.size(), &got, 0);
        if (status != HidStatus::Ok) {
            check(got == 0);
            break;
        }
        check(++reads <= queued);
        check(got > 0 && got <= room);
        bool known = false;
        for (uint8_t id : ids)
            known = known || id == buffer[0];
        check(known);
        std::unique_ptr<uint8_t[]> exact(new uint8_t[got]);
        std::memcpy(exact.get(), buffer.data(), got);
        // Items of other ids keep what an earlier report set; those of this id are set.
        if (hid.UnpackReport(exact.get(), got, HidReportType::Input)) {
            for (const HidDataItem& item : hid.DataItems(HidReportType::Input))
                if (item.reportId == exact[0])
                    check(item.isSet);
        }
    }
    return 0;
}
