#pragma once

#include <cstdint>
#include <vector>

namespace talyx {

enum class HidReportType { Input = 0, Output = 1, Feature = 2 };

struct HidAttributes {
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint16_t versionNumber = 0;
};

// The top-level collection's capabilities. Report lengths include the report id byte
// (the longest report of each type plus one, or plus nothing when the collection uses no
// report ids, counting the zero id byte the caller still sends), as hosts report them.
struct HidCaps {
    uint16_t usage = 0;
    uint16_t usagePage = 0;
    uint16_t inputReportByteLength = 0;
    uint16_t outputReportByteLength = 0;
    uint16_t featureReportByteLength = 0;
    uint16_t numberLinkCollectionNodes = 0;
    uint16_t numberInputButtonCaps = 0;
    uint16_t numberInputValueCaps = 0;
    uint16_t numberInputDataIndices = 0;
    uint16_t numberOutputButtonCaps = 0;
    uint16_t numberOutputValueCaps = 0;
    uint16_t numberOutputDataIndices = 0;
    uint16_t numberFeatureButtonCaps = 0;
    uint16_t numberFeatureValueCaps = 0;
    uint16_t numberFeatureDataIndices = 0;
};

// One control of a report. Buttons carry the list of usages currently down (ended with a
// 0 when it is not full); values carry the raw and the scaled value.
struct HidDataItem {
    bool isButton = false;
    uint16_t usagePage = 0;
    int32_t status = 0; // 0 = extracted; nonzero when the last unpack failed for it
    uint8_t reportId = 0;
    bool isSet = false;
    // Button data.
    uint16_t usageMin = 0;
    uint16_t usageMax = 0;
    std::vector<uint16_t> usages;
    // Value data.
    uint16_t usage = 0;
    uint32_t rawValue = 0;
    int32_t scaledValue = 0;
};

} // namespace talyx
