// Report descriptors come from devices: any byte string must parse or be refused without
// a read outside it. What parses must also hold together: every top-level collection cut
// out on its own parses to the same caps, and its data items unpack any report.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "device/transport/ReportDescriptor.h"

using namespace talyx;

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

bool sameCaps(const HidCaps& a, const HidCaps& b) {
    return a.usage == b.usage && a.usagePage == b.usagePage && a.inputReportByteLength == b.inputReportByteLength &&
           a.outputReportByteLength == b.outputReportByteLength &&
           a.featureReportByteLength == b.featureReportByteLength &&
           a.numberLinkCollectionNodes == b.numberLinkCollectionNodes &&
           a.numberInputButtonCaps == b.numberInputButtonCaps && a.numberInputValueCaps == b.numberInputValueCaps &&
           a.numberOutputButtonCaps == b.numberOutputButtonCaps && a.numberOutputValueCaps == b.numberOutputValueCaps &&
           a.numberFeatureButtonCaps == b.numberFeatureButtonCaps &&
           a.numberFeatureValueCaps == b.numberFeatureValueCaps;
}

uint16_t lengthOf(const HidCaps& caps, HidReportType type) {
    switch (type) {
    case HidReportType::Input:
        return caps.inputReportByteLength;
    case HidReportType::Output:
        return caps.outputReportByteLength;
    case HidReportType::Feature:
        return caps.featureReportByteLength;
    }
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::unique_ptr<uint8_t[]> exact(new uint8_t[size]);
    if (size)
        std::memcpy(exact.get(), data, size);
    ReportDescriptor rd;
    if (!rd.Parse(exact.get(), size)) {
        check(rd.CollectionCount() == 0);
        return 0;
    }
    check(rd.CollectionCount() > 0);
    for (size_t i = 0; i < rd.CollectionCount(); ++i) {
        const HidTopLevelCollection& c = rd.Collection(i);
        const std::vector<uint8_t>& own = c.descriptor;
        std::unique_ptr<uint8_t[]> cut(new uint8_t[own.size()]);
        std::memcpy(cut.get(), own.data(), own.size());
        ReportDescriptor alone;
        check(alone.Parse(cut.get(), own.size()));
        check(alone.CollectionCount() == 1);
        check(sameCaps(alone.Collection(0).caps, c.caps));
        check(alone.Collection(0).reportIds == c.reportIds);

        for (int t = 0; t < 3; ++t) {
            const auto type = static_cast<HidReportType>(t);
            std::vector<HidDataItem> items = rd.BuildDataItems(i, type);
            const uint16_t length = lengthOf(c.caps, type);
            if (length == 0)
                continue;
            // Every report id of the type, all bits set, at exactly the report length.
            for (uint8_t id : c.reportIds) {
                std::unique_ptr<uint8_t[]> report(new uint8_t[length]);
                std::memset(report.get(), 0xFF, length);
                report[0] = id;
                rd.UnpackReport(i, report.get(), length, type, items);
                for (const HidDataItem& item : items)
                    if (item.isButton && item.isSet)
                        for (uint16_t u : item.usages)
                            check(u == 0 || (u >= item.usageMin && u <= item.usageMax));
            }
        }
    }
    return 0;
}
