// Input reports come from devices too. The input is a descriptor and a report:
//   bytes 0..1  descriptor length N (little-endian, taken modulo what is left)
//   N bytes     report descriptor
//   the rest    one report, id first
// Each part is copied into a heap block of exactly its size.

#include <algorithm>
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

// A usage list: usages of the item's range first, then only zeros; never resized.
void checkButtons(const HidDataItem& item, size_t room) {
    check(item.usages.size() == room);
    bool ended = false;
    for (uint16_t u : item.usages) {
        if (u == 0) {
            ended = true;
            continue;
        }
        check(!ended);
        check(u >= item.usageMin && u <= item.usageMax);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const size_t rest = size - 2;
    const size_t descriptorLength = rest ? (size_t(data[0]) | (size_t(data[1]) << 8)) % (rest + 1) : 0;
    const size_t reportLength = rest - descriptorLength;

    std::unique_ptr<uint8_t[]> descriptor(new uint8_t[descriptorLength]);
    std::memcpy(descriptor.get(), data + 2, descriptorLength);
    ReportDescriptor rd;
    if (!rd.Parse(descriptor.get(), descriptorLength))
        return 0;

    std::unique_ptr<uint8_t[]> report(new uint8_t[reportLength]);
    std::memcpy(report.get(), data + 2 + descriptorLength, reportLength);

    for (size_t c = 0; c < rd.CollectionCount(); ++c) {
        for (int t = 0; t < 3; ++t) {
            const auto type = static_cast<HidReportType>(t);
            std::vector<HidDataItem> items = rd.BuildDataItems(c, type);
            std::vector<size_t> rooms;
            for (const HidDataItem& item : items)
                rooms.push_back(item.usages.size());
            const bool ok = rd.UnpackReport(c, report.get(), reportLength, type, items);
            for (size_t i = 0; i < items.size(); ++i) {
                if (items[i].isButton)
                    checkButtons(items[i], rooms[i]);
                if (ok && items[i].isSet)
                    check(items[i].status == kHidExtractOk);
            }
            // The same report again must give the same result: unpacking keeps no
            // state of its own between reports.
            std::vector<HidDataItem> again = rd.BuildDataItems(c, type);
            check(rd.UnpackReport(c, report.get(), reportLength, type, again) == ok);

            for (const HidControlCaps& caps : rd.Collection(c).buttonCaps[t]) {
                std::vector<uint16_t> usages;
                if (rd.GetUsages(c, type, caps.usagePage, report.get(), reportLength, usages))
                    check(usages.size() <= rd.MaxUsageListLength(c, type, caps.usagePage));
            }
        }
    }
    return 0;
}
