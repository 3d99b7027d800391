#include <memory>

#include <gtest/gtest.h>

#include "device/transport/ReportDescriptor.h"
#include "tests/device/DeviceTestSupport.h"

using namespace talyx;
using talyx::test::Bytes;
using talyx::test::Hex;
namespace descriptors = talyx::test::descriptors;

namespace {

// Parses from a heap block of exactly the descriptor's size, so that the address
// sanitizer sees any read past its end.
bool parseExact(ReportDescriptor& rd, const Bytes& bytes) {
    std::unique_ptr<uint8_t[]> exact(new uint8_t[bytes.size() ? bytes.size() : 1]);
    std::copy(bytes.begin(), bytes.end(), exact.get());
    return rd.Parse(exact.get(), bytes.size());
}

bool unpackExact(const ReportDescriptor& rd, size_t collection, const Bytes& report, std::vector<HidDataItem>& items,
                 HidReportType type = HidReportType::Input) {
    std::unique_ptr<uint8_t[]> exact(new uint8_t[report.size()]);
    std::copy(report.begin(), report.end(), exact.get());
    return rd.UnpackReport(collection, exact.get(), report.size(), type, items);
}

std::vector<uint16_t> listed(const HidDataItem& item) {
    std::vector<uint16_t> out;
    for (uint16_t u : item.usages) {
        if (u == 0)
            break;
        out.push_back(u);
    }
    return out;
}

void expectSameCaps(const HidCaps& a, const HidCaps& b) {
    EXPECT_EQ(a.usage, b.usage);
    EXPECT_EQ(a.usagePage, b.usagePage);
    EXPECT_EQ(a.inputReportByteLength, b.inputReportByteLength);
    EXPECT_EQ(a.outputReportByteLength, b.outputReportByteLength);
    EXPECT_EQ(a.featureReportByteLength, b.featureReportByteLength);
    EXPECT_EQ(a.numberLinkCollectionNodes, b.numberLinkCollectionNodes);
    EXPECT_EQ(a.numberInputButtonCaps, b.numberInputButtonCaps);
    EXPECT_EQ(a.numberInputValueCaps, b.numberInputValueCaps);
    EXPECT_EQ(a.numberInputDataIndices, b.numberInputDataIndices);
    EXPECT_EQ(a.numberOutputButtonCaps, b.numberOutputButtonCaps);
    EXPECT_EQ(a.numberOutputValueCaps, b.numberOutputValueCaps);
    EXPECT_EQ(a.numberFeatureButtonCaps, b.numberFeatureButtonCaps);
    EXPECT_EQ(a.numberFeatureValueCaps, b.numberFeatureValueCaps);
}

} // namespace

TEST(ReportDescriptor, BootKeyboardCapsAndKeysDown) {
    ReportDescriptor rd;
    ASSERT_TRUE(parseExact(rd, descriptors::BootKeyboard()));
    ASSERT_EQ(rd.CollectionCount(), 1u);
    EXPECT_FALSE(rd.UsesReportIds());
    const HidTopLevelCollection& c = rd.Collection(0);
    EXPECT_EQ(c.caps.usagePage, 0x01);
    EXPECT_EQ(c.caps.usage, 0x06);
    EXPECT_EQ(c.reportIds, std::vector<uint8_t>{0});
    // 8 modifier bits + reserved byte + 6 slots, plus the id byte; 5 LEDs + 3 padding bits.
    EXPECT_EQ(c.caps.inputReportByteLength, 9);
    EXPECT_EQ(c.caps.outputReportByteLength, 2);
    EXPECT_EQ(c.caps.featureReportByteLength, 0);
    EXPECT_EQ(c.caps.numberInputButtonCaps, 2); // modifiers, key array; the reserved byte is padding
    EXPECT_EQ(c.caps.numberInputValueCaps, 0);
    EXPECT_EQ(c.caps.numberOutputButtonCaps, 1);
    EXPECT_EQ(rd.MaxUsageListLength(0, HidReportType::Input, 0x07), 14u);

    auto items = rd.BuildDataItems(0, HidReportType::Input);
    ASSERT_EQ(items.size(), 2u);
    const Bytes report = {0x00, 0x02, 0x00, 0x04, 0x05, 0x00, 0x00, 0x00, 0x00}; // left shift, A, B
    ASSERT_TRUE(unpackExact(rd, 0, report, items)) << Hex(report);
    EXPECT_TRUE(items[0].isButton);
    EXPECT_EQ(items[0].usageMin, 0xE0);
    EXPECT_EQ(items[0].usageMax, 0xE7);
    ASSERT_EQ(items[0].usages.size(), 14u);
    EXPECT_EQ(listed(items[0]), (std::vector<uint16_t>{0xE1})) << Hex(report);
    EXPECT_EQ(listed(items[1]), (std::vector<uint16_t>{0x04, 0x05})) << Hex(report);
    EXPECT_TRUE(items[0].isSet && items[1].isSet);

    // A short report tells nothing about the keys: it fails and leaves no stale keys behind.
    const Bytes shortReport = {0x00, 0x02, 0x00, 0x04};
    EXPECT_FALSE(unpackExact(rd, 0, shortReport, items)) << Hex(shortReport);
    EXPECT_EQ(items[0].status, kHidExtractReportTooShort);
    EXPECT_TRUE(listed(items[0]).empty());
}

TEST(ReportDescriptor, ConsumerArrayWithReportId) {
    ReportDescriptor rd;
    ASSERT_TRUE(parseExact(rd, descriptors::ConsumerControl()));
    EXPECT_TRUE(rd.UsesReportIds());
    const HidTopLevelCollection& c = rd.Collection(0);
    EXPECT_EQ(c.caps.usagePage, 0x0C);
    EXPECT_EQ(c.caps.inputReportByteLength, 5);
    EXPECT_EQ(c.inputReportIds, std::vector<uint8_t>{3});

    auto items = rd.BuildDataItems(0, HidReportType::Input);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].reportId, 3);
    // Slot value 0 is below the logical minimum: an empty slot, not a usage.
    Bytes report = {0x03, 0x00, 0x00, 0xE9, 0x00};
    ASSERT_TRUE(unpackExact(rd, 0, report, items));
    EXPECT_EQ(listed(items[0]), (std::vector<uint16_t>{0xE9})) << Hex(report);

    // Another report id leaves the items alone.
    items = rd.BuildDataItems(0, HidReportType::Input);
    report = {0x04, 0xE2, 0x00, 0x00, 0x00};
    ASSERT_TRUE(unpackExact(rd, 0, report, items));
    EXPECT_FALSE(items[0].isSet);
}

TEST(ReportDescriptor, InterfaceWithSeveralTopLevelCollections) {
    ReportDescriptor rd;
    const Bytes whole = descriptors::KeyboardInterface1();
    ASSERT_TRUE(parseExact(rd, whole));
    ASSERT_EQ(rd.CollectionCount(), 4u);
    const uint16_t pages[] = {0x01, 0x01, 0x0C, 0xFF1C};
    const uint16_t usages[] = {0x80, 0x02, 0x01, 0x92};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(rd.Collection(i).usagePage, pages[i]) << i;
        EXPECT_EQ(rd.Collection(i).usage, usages[i]) << i;
        EXPECT_EQ(rd.Collection(i).reportIds, std::vector<uint8_t>{uint8_t(i + 1)}) << i;
    }

    const HidTopLevelCollection& vendor = rd.Collection(3);
    EXPECT_EQ(vendor.caps.inputReportByteLength, 65);
    EXPECT_EQ(vendor.caps.outputReportByteLength, 65);
    ASSERT_EQ(vendor.valueCaps[0].size(), 1u);
    EXPECT_EQ(vendor.valueCaps[0][0].reportCount, 64u); // one usage for all 64 bytes
    EXPECT_EQ(vendor.valueCaps[0][0].logicalMax, 255);

    // Each collection cut out on its own parses to the same caps.
    for (size_t i = 0; i < 4; ++i) {
        ReportDescriptor alone;
        ASSERT_TRUE(parseExact(alone, rd.Collection(i).descriptor)) << i << ": " << Hex(rd.Collection(i).descriptor);
        ASSERT_EQ(alone.CollectionCount(), 1u);
        SCOPED_TRACE(i);
        expectSameCaps(alone.Collection(0).caps, rd.Collection(i).caps);
        EXPECT_EQ(alone.Collection(0).reportIds, rd.Collection(i).reportIds);
    }

    // The mouse: nested pointer collection, five buttons (a full list ends without 0),
    // signed 16-bit X and Y, signed wheel.
    const HidTopLevelCollection& mouse = rd.Collection(1);
    EXPECT_EQ(mouse.caps.numberLinkCollectionNodes, 2);
    auto items = rd.BuildDataItems(1, HidReportType::Input);
    ASSERT_EQ(items.size(), 4u);
    Bytes report = {0x02, 0x1F, 0xFF, 0xFF, 0x10, 0x00, 0xFF};
    ASSERT_TRUE(unpackExact(rd, 1, report, items)) << Hex(report);
    EXPECT_EQ(items[0].usages, (std::vector<uint16_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(items[1].usage, 0x30);
    EXPECT_EQ(items[1].rawValue, 0xFFFFu);
    EXPECT_EQ(items[1].scaledValue, -1);
    EXPECT_EQ(items[2].scaledValue, 16);
    EXPECT_EQ(items[3].usage, 0x38);
    EXPECT_EQ(items[3].scaledValue, -1);

    // The consumer collection delivers the keyboard's notification usages.
    items = rd.BuildDataItems(2, HidReportType::Input);
    report = {0x03, 0x01, 0x04};
    ASSERT_TRUE(unpackExact(rd, 2, report, items));
    EXPECT_EQ(items[0].usages.at(0), 0x401) << Hex(report);

    // System control: a 2-bit array whose index 2 is usage 0x82.
    items = rd.BuildDataItems(0, HidReportType::Input);
    report = {0x01, 0x02};
    ASSERT_TRUE(unpackExact(rd, 0, report, items));
    EXPECT_EQ(listed(items[0]), (std::vector<uint16_t>{0x82}));
}

TEST(ReportDescriptor, CollectionCutOutKeepsTheGlobalsItInherits) {
    // The second collection declares no logical range and no report size of its own.
    const Bytes d = {0x05, 0x01, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08,                         // globals
                     0x09, 0x01, 0xA1, 0x01, 0x85, 0x01, 0x95, 0x02, 0x09, 0x30, 0x81, 0x02, 0xC0, // col 1
                     0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x85, 0x02, 0x95, 0x03, 0x09, 0x01, 0x81, 0x02, 0xC0};
    ReportDescriptor rd;
    ASSERT_TRUE(parseExact(rd, d));
    ReportDescriptor alone;
    ASSERT_TRUE(parseExact(alone, rd.Collection(1).descriptor)) << Hex(rd.Collection(1).descriptor);
    ASSERT_EQ(alone.CollectionCount(), 1u);
    EXPECT_EQ(alone.Collection(0).caps.usagePage, 0xFF00);
    EXPECT_EQ(alone.Collection(0).caps.inputReportByteLength, 4);
    ASSERT_EQ(alone.Collection(0).valueCaps[0].size(), 1u);
    EXPECT_EQ(alone.Collection(0).valueCaps[0][0].logicalMax, 255);
    EXPECT_EQ(alone.Collection(0).reportIds, std::vector<uint8_t>{2});
}

TEST(ReportDescriptor, ExtendedUsagesRangesAndRepeatedLastUsage) {
    const Bytes d = {0x05, 0x01, 0x0B, 0x01, 0x00, 0x0C, 0x00, 0xA1, 0x01, // usage 000C:0001 while page 01 is current
                     0x85, 0x07, 0x15, 0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x03, 0x1B,
                     0x01, 0x00, 0x09, 0x00, 0x2B, 0x03, 0x00, 0x09, 0x00, 0x81, 0x02, // buttons 0009:0001..0003
                     0x95, 0x05, 0x81, 0x03,                                           // padding
                     0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08, 0x95, 0x04,             // 4 x 8 bits
                     0x09, 0x30, 0x09, 0x31, 0x81, 0x02,                               // X, then Y for the rest
                     0xC0};
    ReportDescriptor rd;
    ASSERT_TRUE(parseExact(rd, d));
    const HidTopLevelCollection& c = rd.Collection(0);
    EXPECT_EQ(c.usagePage, 0x0C);
    EXPECT_EQ(c.usage, 0x01);
    ASSERT_EQ(c.buttonCaps[0].size(), 1u);
    EXPECT_EQ(c.buttonCaps[0][0].usagePage, 0x09);
    EXPECT_TRUE(c.buttonCaps[0][0].isRange);
    ASSERT_EQ(c.valueCaps[0].size(), 2u);
    EXPECT_EQ(c.valueCaps[0][0].reportCount, 1u);
    EXPECT_EQ(c.valueCaps[0][1].usageMin, 0x31);
    EXPECT_EQ(c.valueCaps[0][1].reportCount, 3u);

    auto items = rd.BuildDataItems(0, HidReportType::Input);
    ASSERT_EQ(items.size(), 3u);
    const Bytes report = {0x07, 0x05, 10, 20, 30, 40};
    ASSERT_TRUE(unpackExact(rd, 0, report, items)) << Hex(report);
    EXPECT_EQ(listed(items[0]), (std::vector<uint16_t>{1, 3}));
    EXPECT_EQ(items[1].rawValue, 10u);
    EXPECT_EQ(items[2].rawValue, 20u); // Y's first element
}

TEST(ReportDescriptor, PushPopAndScaledValues) {
    const Bytes d = {0x05, 0x01, 0x09, 0x00, 0xA1, 0x01, 0x15, 0x00, 0x25, 0x7F, 0x75, 0x08, 0x95, 0x01,
                     0xA4,                                                       // push
                     0x15, 0x81, 0x25, 0x7F, 0x75, 0x10, 0x09, 0x30, 0x81, 0x02, // X: signed 16-bit field
                     0xB4,                                                       // pop: back to 0..127, 8 bits
                     0x09, 0x31, 0x81, 0x02,                                     // Y
                     // Z: 0..255 written as 15 00 25 FF, physical 0..1000, exponent -2, unit cm
                     0x09, 0x32, 0x25, 0xFF, 0x35, 0x00, 0x46, 0xE8, 0x03, 0x55, 0x0E, 0x65, 0x11, 0x81, 0x02,
                     // Rz: 0..255 with physical 0..0 (no physical range: the logical one stands in)
                     0x09, 0x35, 0x35, 0x00, 0x45, 0x00, 0x55, 0x00, 0x81, 0x02, 0xC0};
    ReportDescriptor rd;
    ASSERT_TRUE(parseExact(rd, d));
    const HidTopLevelCollection& c = rd.Collection(0);
    ASSERT_EQ(c.valueCaps[0].size(), 4u);
    EXPECT_EQ(c.valueCaps[0][0].bitSize, 16u);
    EXPECT_EQ(c.valueCaps[0][0].logicalMin, -127);
    EXPECT_EQ(c.valueCaps[0][1].bitSize, 8u);
    EXPECT_EQ(c.valueCaps[0][1].logicalMin, 0);
    EXPECT_EQ(c.valueCaps[0][1].logicalMax, 127);
    EXPECT_EQ(c.valueCaps[0][2].logicalMax, 255);
    EXPECT_EQ(c.valueCaps[0][2].physicalMax, 1000);
    EXPECT_EQ(c.valueCaps[0][2].unitExponent, -2);
    EXPECT_EQ(c.valueCaps[0][2].unit, 0x11u);
    EXPECT_EQ(c.caps.inputReportByteLength, 1 + 2 + 1 + 1 + 1);

    auto items = rd.BuildDataItems(0, HidReportType::Input);
    const Bytes report = {0x00, 0x85, 0xFF, 100, 128, 200};
    ASSERT_TRUE(unpackExact(rd, 0, report, items)) << Hex(report);
    EXPECT_EQ(items[0].scaledValue, -123);
    EXPECT_EQ(items[1].scaledValue, 100);
    EXPECT_EQ(items[2].rawValue, 128u);
    EXPECT_EQ(items[2].scaledValue, 501); // 128 * 1000 / 255, in units of 10^-2 cm
    EXPECT_EQ(items[3].scaledValue, 200);
}

TEST(ReportDescriptor, ButtonUsagesOutsideAnItemsRangeAreDropped) {
    // Two arrays on the consumer page in one report: 0x30..0x3F and 0xE0..0xEF.
    const Bytes d = {0x05, 0x0C, 0x09, 0x01, 0xA1, 0x01, 0x85, 0x05, 0x15, 0x00, 0x25, 0x0F, 0x75, 0x08, 0x95,
                     0x01, 0x19, 0x30, 0x29, 0x3F, 0x81, 0x00, 0x19, 0xE0, 0x29, 0xEF, 0x81, 0x00, 0xC0};
    ReportDescriptor rd;
    ASSERT_TRUE(parseExact(rd, d));
    auto items = rd.BuildDataItems(0, HidReportType::Input);
    ASSERT_EQ(items.size(), 2u);
    const Bytes report = {0x05, 0x02, 0x03};
    ASSERT_TRUE(unpackExact(rd, 0, report, items));
    EXPECT_EQ(items[0].usages, (std::vector<uint16_t>{0x32, 0})) << Hex(report);
    EXPECT_EQ(items[1].usages, (std::vector<uint16_t>{0xE3, 0})) << Hex(report);
}

TEST(ReportDescriptor, ValuesThatCannotBeExtractedFailTheUnpack) {
    // A 64-bit value before an 8-bit one.
    const Bytes d = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x09, 0x01, 0x75, 0x40,
                     0x95, 0x01, 0x81, 0x02, 0x09, 0x02, 0x75, 0x08, 0x81, 0x02, 0xC0};
    ReportDescriptor rd;
    ASSERT_TRUE(parseExact(rd, d));
    auto items = rd.BuildDataItems(0, HidReportType::Input);
    ASSERT_EQ(items.size(), 2u);
    Bytes report(10, 0x11);
    report[0] = 0;
    EXPECT_FALSE(unpackExact(rd, 0, report, items));
    EXPECT_EQ(items[0].status, kHidExtractTooWide);
    EXPECT_FALSE(items[1].isSet); // unpacking stops at the first failure

    // The vendor collection's 64 bytes cannot come from a 3-byte report.
    ReportDescriptor vendor;
    ASSERT_TRUE(parseExact(vendor, descriptors::VendorCollection()));
    items = vendor.BuildDataItems(0, HidReportType::Input);
    report = {0x04, 0x01, 0x02};
    EXPECT_FALSE(unpackExact(vendor, 0, report, items));
    EXPECT_EQ(items[0].status, kHidExtractReportTooShort);
    // Items built for another layout are refused rather than misread.
    items.clear();
    report.assign(65, 0);
    report[0] = 0x04;
    EXPECT_FALSE(unpackExact(vendor, 0, report, items));
}

TEST(ReportDescriptor, LongItemsAreSkipped) {
    Bytes d = {0xFE, 0x02, 0x10, 0xAA, 0xBB};
    const Bytes keyboard = descriptors::BootKeyboard();
    d.insert(d.end(), keyboard.begin(), keyboard.end());
    ReportDescriptor rd;
    ASSERT_TRUE(parseExact(rd, d));
    EXPECT_EQ(rd.Collection(0).caps.inputReportByteLength, 9);
}

TEST(ReportDescriptor, MalformedDescriptorsAreRejected) {
    const std::vector<std::pair<const char*, Bytes>> cases = {
        {"empty", {}},
        {"item cut after its prefix", {0x05}},
        {"2-byte item cut short", {0x05, 0x01, 0x26, 0xFF}},
        {"4-byte item cut short", {0x27, 0x01, 0x02, 0x03}},
        {"long item header cut short", {0xFE, 0x05}},
        {"long item data cut short", {0xFE, 0x05, 0x10, 0x01, 0x02}},
        {"end without collection", {0xC0}},
        {"collection left open", {0x05, 0x01, 0x09, 0x02, 0xA1, 0x01}},
        {"pop without push", {0xB4}},
        {"report id 0", {0x09, 0x01, 0xA1, 0x01, 0x85, 0x00, 0xC0}},
        {"report id above 255", {0x09, 0x01, 0xA1, 0x01, 0x86, 0x00, 0x01, 0xC0}},
        {"input outside any collection", {0x09, 0x01, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02}},
        {"usage range backwards", {0xA1, 0x01, 0x19, 0x05, 0x29, 0x01, 0x75, 0x01, 0x95, 0x01, 0x81, 0x02, 0xC0}},
        {"range across usage pages",
         {0xA1, 0x01, 0x1B, 0x01, 0x00, 0x09, 0x00, 0x2B, 0x03, 0x00, 0x0C, 0x00, 0x75, 0x01, 0x95, 0x03, 0x81, 0x02,
          0xC0}},
        {"report id in two top-level collections", {0xA1, 0x01, 0x85, 0x01, 0x09, 0x01, 0x75, 0x08, 0x95, 0x01,
                                                    0x81, 0x02, 0xC0, 0xA1, 0x01, 0x09, 0x02, 0x81, 0x02, 0xC0}},
        {"report longer than a device can send",
         {0xA1, 0x01, 0x09, 0x01, 0x75, 0x08, 0x96, 0xFF, 0xFF, 0x81, 0x02, 0xC0}},
        {"element wider than 256 bits", {0xA1, 0x01, 0x09, 0x01, 0x76, 0x01, 0x01, 0x95, 0x01, 0x81, 0x02, 0xC0}},
        {"push stack overflow", Bytes(17, 0xA4)},
        {"nested delimiters", {0xA1, 0x01, 0xA9, 0x01, 0xA9, 0x01, 0xC0}},
    };
    for (const auto& [name, bytes] : cases) {
        ReportDescriptor rd;
        EXPECT_FALSE(parseExact(rd, bytes)) << name << ": " << Hex(bytes);
        EXPECT_EQ(rd.CollectionCount(), 0u) << name;
    }
    // Every prefix of a good descriptor but the whole is rejected or parses, never
    // reading past its end.
    const Bytes good = descriptors::KeyboardInterface1();
    for (size_t n = 0; n < good.size(); ++n) {
        ReportDescriptor rd;
        parseExact(rd, Bytes(good.begin(), good.begin() + n));
    }
}
