#include "vdev/ReportDescriptors.h"

namespace talyx::vdev {
namespace {

// Descriptor bytes stay one item per line with their meaning beside them.
// clang-format off

void append(std::vector<uint8_t>& out, std::initializer_list<uint8_t> bytes) { out.insert(out.end(), bytes); }

// Report id 4 with 63 data bytes in and out (vendor usages 1 and 2 of page 0xFF1C).
void appendExchangeReports(std::vector<uint8_t>& d) {
    append(d, {
                  0x06, 0x1C, 0xFF, //   Usage Page (0xFF1C)
                  0x85, 0x04,       //   Report ID (4)
                  0x15, 0x00,       //   Logical Minimum (0)
                  0x26, 0xFF, 0x00, //   Logical Maximum (255)
                  0x75, 0x08,       //   Report Size (8)
                  0x95, 0x3F,       //   Report Count (63)
                  0x09, 0x01,       //   Usage (1)
                  0x81, 0x02,       //   Input (Data, Variable, Absolute)
                  0x09, 0x02,       //   Usage (2)
                  0x91, 0x02,       //   Output (Data, Variable, Absolute)
              });
}

// Report id 3: one 16-bit array field whose value is the usage itself (0 = nothing).
void appendNotifyReport(std::vector<uint8_t>& d) {
    append(d, {
                  0x05, 0x0C,            //   Usage Page (Consumer)
                  0x85, kNotifyReportId, //   Report ID (3)
                  0x15, 0x00,            //   Logical Minimum (0)
                  0x26, 0xFF, 0x11,      //   Logical Maximum (0x11FF)
                  0x19, 0x00,            //   Usage Minimum (0)
                  0x2A, 0xFF, 0x11,      //   Usage Maximum (0x11FF)
                  0x75, 0x10,            //   Report Size (16)
                  0x95, 0x01,            //   Report Count (1)
                  0x81, 0x00,            //   Input (Data, Array, Absolute)
              });
}

} // namespace

std::vector<uint8_t> VendorCollectionDescriptor() {
    std::vector<uint8_t> d;
    append(d, {
                  0x06, 0x1C, 0xFF, // Usage Page (0xFF1C)
                  0x09, 0x92,       // Usage (0x92)
                  0xA1, 0x01,       // Collection (Application)
              });
    appendExchangeReports(d);
    append(d, {0xC0}); // End Collection
    return d;
}

std::vector<uint8_t> NotifyCollectionDescriptor() {
    std::vector<uint8_t> d;
    append(d, {
                  0x05, 0x0C, // Usage Page (Consumer)
                  0x09, 0x01, // Usage (Consumer Control)
                  0xA1, 0x01, // Collection (Application)
              });
    appendNotifyReport(d);
    append(d, {0xC0});
    return d;
}

std::vector<uint8_t> HeadsetCollectionDescriptor() {
    std::vector<uint8_t> d;
    append(d, {
                  0x05, 0x0C, // Usage Page (Consumer)
                  0x09, 0x01, // Usage (Consumer Control)
                  0xA1, 0x01, // Collection (Application)
              });
    appendNotifyReport(d);
    appendExchangeReports(d);
    append(d, {0xC0});
    return d;
}

// clang-format on

} // namespace talyx::vdev
