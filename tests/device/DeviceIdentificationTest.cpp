#include <gtest/gtest.h>

#include "device/SupportedDeviceTable.h"
#include "device/transport/DeviceIdentification.h"
#include "device/transport/HidDevice.h"
#include "device/transport/ReportDescriptor.h"
#include "tests/device/DeviceTestSupport.h"

using namespace talyx;
using namespace talyx::test;

namespace {

// The descriptor of one collection with the given top-level usage.
Bytes collectionWithUsage(uint16_t page, uint8_t usage) {
    return {0x06,
            uint8_t(page & 0xFF),
            uint8_t(page >> 8),
            0x09,
            usage,
            0xA1,
            0x01,
            0x85,
            0x04,
            0x09,
            0x01,
            0x15,
            0x00,
            0x26,
            0xFF,
            0x00,
            0x75,
            0x08,
            0x95,
            0x40,
            0x81,
            0x02,
            0x09,
            0x02,
            0x91,
            0x02,
            0xC0};
}

// The wired keyboard's collections as the scan sees them, plus its other interface.
void addWiredKeyboard(FakeBackend& backend, const std::string& node) {
    const Bytes interface1 = descriptors::KeyboardInterface1();
    ReportDescriptor rd;
    ASSERT_TRUE(rd.Parse(interface1));
    for (size_t i = 0; i < rd.CollectionCount(); ++i) {
        char markers[64];
        std::snprintf(markers, sizeof markers, "#vid_320f&pid_5078&mi_01&col%02zx", i + 1);
        backend.add(node + markers, 0x320F, 0x5078, rd.Collection(i).descriptor);
    }
    backend.add(node + "-if0#vid_320f&pid_5078&mi_00", 0x320F, 0x5078, descriptors::BootKeyboard());
}

// What the scan does with one enumeration: the rows it would report as arrivals.
std::vector<int> scanOnce(SupportedDeviceTable& table, HidDevice& hid) {
    std::vector<int> arrived;
    if (table.AllFound() || !hid.Enumerate())
        return arrived;
    while (const std::string* path = hid.NextPath()) {
        const int row = table.AttachInterface(hid, *path);
        if (row >= 0)
            arrived.push_back(row);
    }
    hid.FreePaths();
    return arrived;
}

} // namespace

TEST(DeviceIdentification, PathMarkers) {
    const std::string path = "/dev/hidraw3#VID_320F&Pid_5078&MI_01&Col04";
    EXPECT_EQ(PathVendorId(path), 0x320F);
    EXPECT_EQ(PathProductId(path), 0x5078);
    EXPECT_EQ(PathInterfaceNumber(path), 1);
    EXPECT_EQ(PathCollectionNumber(path), 4);
    // Missing markers read as 0; the number ends at the first character that is not hex.
    EXPECT_EQ(PathInterfaceNumber("/dev/hidraw3#vid_320f&pid_5078"), 0);
    EXPECT_EQ(PathCollectionNumber("/dev/hidraw3#vid_320f&pid_5078&mi_01"), 0);
    EXPECT_EQ(PathVendorId("kbd0#vid_0c76&pid_1630&mi_03"), 0x0C76);
    EXPECT_EQ(PathCollectionNumber("x&colzz"), 0);
    EXPECT_EQ(PathCollectionNumber("x&col1a#"), 0x1A);
    const SupportedDeviceEntry e = EntryFromPath(path);
    EXPECT_EQ(e.devicePath, path);
    EXPECT_EQ(e.collectionNumber, 4);
}

TEST(DeviceIdentification, TablesHangTogether) {
    const auto& rows = SupportedDeviceRows();
    ASSERT_EQ(rows.size(), kSupportedDeviceCount);
    for (size_t i = 0; i < rows.size(); ++i) {
        const SupportedDeviceEntry& e = rows[i];
        EXPECT_EQ(RowOf(e.vendorId, e.productId, e.productCode, e.role), int(i)) << i;
        if (e.hasPartner) { // wired and receiver forms point at each other
            EXPECT_EQ(rows[e.partnerRow].partnerRow, i) << i;
        }
        // Every product reaches a family, a receiver through its wired partner.
        const SupportedDeviceEntry& wired = IsReceiverCode(e.productCode) ? rows[e.partnerRow] : e;
        const int family = FamilyOf(wired.vendorId, wired.productId, wired.productCode);
        ASSERT_GE(family, 0) << i;
        EXPECT_EQ(kDeviceTypeInfo[family].productCode, wired.productCode) << i;
    }
    EXPECT_EQ(FamilyOf(0x320F, 0x5078, 1), DeviceTypeKeyboard);
    EXPECT_EQ(FamilyOf(0x320F, 0x50EC, 9), -1);
    EXPECT_EQ(RowOf(0x320F, 0x5078, 1, 7), -1);
    EXPECT_STREQ(kDeviceTypeInfo[DeviceTypeKeyboard].familyName, "keyboard");
    EXPECT_EQ(kDevicePageInfo[DeviceTypeKeyboard].valueA, 170);
}

TEST(SupportedDeviceTable, PageIdentityNeverMakesASecondPage) {
    SupportedDeviceTable table;
    // Keyboard wired, its second collection, its receiver and the receiver's second
    // collection share one page; likewise the mouse; the pad and headset stand alone.
    const int expected[] = {0, 0, 0, 0, 4, 4, 4, 4, 8, 8, 10};
    for (size_t row = 0; row < kSupportedDeviceCount; ++row)
        EXPECT_EQ(table.PageIdentity(row), expected[row]) << row;
    EXPECT_EQ(table.PageIdentity(kSupportedDeviceCount), -1);
}

TEST(SupportedDeviceTable, ScanAttachesWantedCollectionsOnlyAndReplugGetsTheRowBack) {
    auto backend = std::make_shared<FakeBackend>();
    addWiredKeyboard(*backend, "/dev/hidraw3");
    // Another product of the vendor that is not supported.
    backend->add("/dev/hidraw7#vid_320f&pid_9999&mi_01&col04", 0x320F, 0x9999, descriptors::VendorCollection());
    HidDevice hid(backend);
    SupportedDeviceTable table;

    EXPECT_EQ(scanOnce(table, hid), (std::vector<int>{1, 0})); // col03 enumerates before col04
    // Only the two wanted collections were opened: not col01, col02, interface 0 or the
    // unsupported product.
    EXPECT_EQ(backend->opened, (std::vector<std::string>{"/dev/hidraw3#vid_320f&pid_5078&mi_01&col03",
                                                         "/dev/hidraw3#vid_320f&pid_5078&mi_01&col04"}));
    EXPECT_FALSE(hid.IsOpen());
    EXPECT_EQ(table.Entry(0).connected, 1);
    EXPECT_EQ(table.Entry(0).devicePath, "/dev/hidraw3#vid_320f&pid_5078&mi_01&col04");
    EXPECT_EQ(table.ConnectedRows(), (std::vector<size_t>{0, 1}));

    // Attached rows are not opened again on the next pass.
    backend->opened.clear();
    EXPECT_TRUE(scanOnce(table, hid).empty());
    EXPECT_TRUE(backend->opened.empty());

    // Unplug: the removal probe fails, the rows are freed; replugged on another node the
    // device gets the same rows back.
    for (auto& entry : backend->nodes)
        entry.second.present = false;
    for (size_t row : table.ConnectedRows())
        if (!hid.IsPresent(table.Entry(row).devicePath)) {
            EXPECT_TRUE(table.Detach(row));
        }
    EXPECT_TRUE(table.ConnectedRows().empty());
    EXPECT_FALSE(table.Detach(0));
    addWiredKeyboard(*backend, "/dev/hidraw9");
    EXPECT_EQ(scanOnce(table, hid), (std::vector<int>{1, 0}));
    EXPECT_EQ(table.Entry(0).devicePath, "/dev/hidraw9#vid_320f&pid_5078&mi_01&col04");
}

TEST(SupportedDeviceTable, AttachChecksTheCollectionThatOpened) {
    auto backend = std::make_shared<FakeBackend>();
    // The path claims the vendor collection, but the interface reports another usage.
    const std::string path = "/dev/hidraw3#vid_320f&pid_5078&mi_01&col04";
    backend->add(path, 0x320F, 0x5078, collectionWithUsage(0xFF1C, 0x93));
    HidDevice hid(backend);
    SupportedDeviceTable table;
    EXPECT_EQ(table.AttachInterface(hid, path), -1);
    EXPECT_EQ(backend->opened.size(), 1u);
    EXPECT_FALSE(hid.IsOpen());
    EXPECT_TRUE(table.ConnectedRows().empty());

    // The headset has no "&col" in its path and attaches as row 10.
    backend->add("/dev/hidraw5#vid_0c76&pid_1630&mi_03", 0x0C76, 0x1630, descriptors::ConsumerControl());
    EXPECT_EQ(table.AttachInterface(hid, "/dev/hidraw5#vid_0c76&pid_1630&mi_03"), 10);
}

TEST(SupportedDeviceTable, AllFoundOnlyWhenEveryRowIsTaken) {
    SupportedDeviceTable table;
    const auto& rows = SupportedDeviceRows();
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_FALSE(table.AllFound()) << i;
        SupportedDeviceEntry e = rows[i];
        e.productCode = 0;
        e.role = 0;
        e.devicePath = "node" + std::to_string(i);
        EXPECT_EQ(table.Attach(e), int(i));
        EXPECT_EQ(e.productCode, rows[i].productCode); // the table row gives code and role
        EXPECT_EQ(e.role, rows[i].role);
    }
    EXPECT_TRUE(table.AllFound());
    SupportedDeviceEntry again = rows[0];
    again.devicePath = "another";
    EXPECT_EQ(table.Attach(again), -1); // a second interface at the same place finds no free row
    EXPECT_FALSE(table.IsWanted(EntryFromPath("x#vid_320f&pid_5078&mi_01&col04")));
}
