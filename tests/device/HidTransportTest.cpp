#include <chrono>
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "device/transport/HidDevice.h"
#include "device/transport/HidrawBackend.h"
#include "device/transport/VirtualBusBackend.h"
#include "platform/Debug.h"
#include "tests/device/DeviceTestSupport.h"

using namespace talyx;
using namespace talyx::test;

namespace {

const char* kVendorPath = "#vid_320f&pid_5078&mi_01&col04";
const char* kConsumerPath = "#vid_320f&pid_5078&mi_01&col03";

void sendTo(int fd, const Bytes& report) {
    ASSERT_EQ(::send(fd, report.data(), report.size(), 0), ssize_t(report.size()));
}

Bytes receiveFrom(int fd) {
    uint8_t buffer[256];
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    return n > 0 ? Bytes(buffer, buffer + n) : Bytes{};
}

Bytes vendorReport(uint8_t first) {
    Bytes report(65, 0);
    report[0] = 0x04;
    report[1] = first;
    return report;
}

// A keyboard (interface 0 boot keyboard, interface 1 with four collections) in a fake tree.
struct KeyboardTree {
    FakeSysfs sysfs;
    std::shared_ptr<SocketHidraw> backend;
    KeyboardTree() {
        sysfs.addNode(2, 0x320F, 0x5078, 0, descriptors::BootKeyboard());
        sysfs.addNode(3, 0x320F, 0x5078, 1, descriptors::KeyboardInterface1());
        backend = std::make_shared<SocketHidraw>(sysfs.classRoot(), sysfs.devRoot());
    }
    std::string path(const char* markers) const { return sysfs.devRoot() + "/hidraw3" + markers; }
};

} // namespace

TEST(HidrawBackend, EnumeratesOnePathPerCollection) {
    FakeSysfs sysfs;
    sysfs.addNode(2, 0x320F, 0x5078, 0, descriptors::BootKeyboard());
    sysfs.addNode(10, 0x320F, 0x5078, 1, descriptors::KeyboardInterface1());
    sysfs.addNode(4, 0x0C76, 0x1630, -1, descriptors::ConsumerControl()); // no USB interface above it
    sysfs.addNode(5, 0x1234, 0x0001, 0, {0xA1, 0x01});                    // unparseable: skipped
    HidrawBackend backend(sysfs.classRoot(), sysfs.devRoot());
    std::vector<std::string> paths;
    ASSERT_TRUE(backend.enumerate(paths));
    const std::string dev = sysfs.devRoot();
    const std::vector<std::string> expected = {
        dev + "/hidraw2#vid_320f&pid_5078&mi_00",        dev + "/hidraw4#vid_0c76&pid_1630",
        dev + "/hidraw10#vid_320f&pid_5078&mi_01&col01", dev + "/hidraw10#vid_320f&pid_5078&mi_01&col02",
        dev + "/hidraw10#vid_320f&pid_5078&mi_01&col03", dev + "/hidraw10#vid_320f&pid_5078&mi_01&col04",
    };
    EXPECT_EQ(paths, expected);

    // A machine where no HID device was ever bound has no hidraw class: nothing present.
    HidrawBackend none(sysfs.classRoot() + "/missing", sysfs.devRoot());
    EXPECT_TRUE(none.enumerate(paths));
    EXPECT_TRUE(paths.empty());
}

TEST(HidDevice, EnumerationOfManyInterfacesKeepsThemAll) {
    FakeSysfs sysfs;
    for (int i = 0; i < 9; ++i)
        sysfs.addNode(i, 0x320F, uint16_t(0x1000 + i), 1, descriptors::VendorCollection());
    HidDevice hid(std::make_shared<HidrawBackend>(sysfs.classRoot(), sysfs.devRoot()));
    ASSERT_TRUE(hid.Enumerate());
    EXPECT_EQ(hid.PathCount(), 9u);
    std::vector<std::string> seen;
    while (const std::string* path = hid.NextPath())
        seen.push_back(*path);
    ASSERT_EQ(seen.size(), 9u);
    for (int i = 0; i < 9; ++i) {
        char expected[64];
        std::snprintf(expected, sizeof expected, "/hidraw%d#vid_320f&pid_%04x&mi_01", i, 0x1000 + i);
        EXPECT_EQ(seen[i], sysfs.devRoot() + expected);
    }
    EXPECT_EQ(hid.NextPath(), nullptr);
    hid.FreePaths();
    EXPECT_EQ(hid.NextPath(), nullptr);
}

TEST(HidDevice, OpensAHidrawCollectionAndReadsOnlyItsReports) {
    KeyboardTree tree;
    HidDevice vendor(tree.backend);
    ASSERT_TRUE(vendor.Open(tree.path(kVendorPath), true, true, true, false));
    const int vendorPeer = tree.backend->peer("hidraw3");
    HidDevice consumer(tree.backend);
    ASSERT_TRUE(consumer.Open(tree.path(kConsumerPath), true, false, true, false));
    const int consumerPeer = tree.backend->peer("hidraw3");

    EXPECT_EQ(vendor.VendorId(), 0x320F);
    EXPECT_EQ(vendor.ProductId(), 0x5078);
    EXPECT_EQ(vendor.Attributes().versionNumber, 0x0105);
    EXPECT_EQ(vendor.UsagePage(), 0xFF1C);
    EXPECT_EQ(vendor.Usage(), 0x92);
    EXPECT_EQ(vendor.Caps().inputReportByteLength, 65);
    EXPECT_EQ(vendor.InterfaceNumber(), 1u);
    EXPECT_EQ(vendor.CollectionNumber(), 4u);
    EXPECT_EQ(consumer.UsagePage(), 0x0C);

    // hidraw gives every open descriptor every report of the interface; each collection
    // keeps its own.
    const Bytes notification = {0x03, 0x01, 0x04};
    sendTo(vendorPeer, notification);
    sendTo(vendorPeer, vendorReport(0xAB));
    sendTo(consumerPeer, notification);
    sendTo(consumerPeer, vendorReport(0xAB));

    uint8_t buffer[65] = {};
    size_t n = 0;
    ASSERT_EQ(vendor.Read(buffer, sizeof buffer, &n, 1000), HidStatus::Ok);
    EXPECT_EQ(n, 65u);
    EXPECT_EQ(buffer[0], 0x04) << Hex(buffer, n);
    EXPECT_EQ(buffer[1], 0xAB) << Hex(buffer, n);

    ASSERT_EQ(consumer.Read(buffer, sizeof buffer, &n, 1000), HidStatus::Ok);
    ASSERT_EQ(Bytes(buffer, buffer + n), notification) << Hex(buffer, n);
    ASSERT_TRUE(consumer.UnpackReport(buffer, n, HidReportType::Input));
    EXPECT_EQ(consumer.DataItems(HidReportType::Input).at(0).usages.at(0), 0x401);
    EXPECT_EQ(consumer.Read(buffer, sizeof buffer, &n, 50), HidStatus::TimedOut); // the vendor report was not for it
    EXPECT_EQ(n, 0u);

    // A short output report goes out padded to the report length; a longer one is refused.
    const Bytes request = {0x04, 0x01, 0x02};
    ASSERT_EQ(vendor.Write(request.data(), request.size(), &n, 1000), HidStatus::Ok);
    EXPECT_EQ(n, 65u);
    Bytes sent = receiveFrom(vendorPeer);
    Bytes expected(65, 0);
    expected[0] = 0x04;
    expected[1] = 0x01;
    expected[2] = 0x02;
    EXPECT_EQ(sent, expected) << Hex(sent);
    const Bytes tooLong(66, 0x04);
    EXPECT_EQ(vendor.Write(tooLong.data(), tooLong.size(), &n, 1000), HidStatus::IoError);
    EXPECT_EQ(n, 0u);
}

TEST(HidDevice, InterfaceWithoutReportIdsReadsWithAZeroIdFirst) {
    KeyboardTree tree;
    HidDevice keyboard(tree.backend);
    const std::string path = tree.sysfs.devRoot() + "/hidraw2#vid_320f&pid_5078&mi_00";
    ASSERT_TRUE(keyboard.Open(path, true, false, true, false));
    EXPECT_EQ(keyboard.CollectionNumber(), 0u);
    // hidraw hands over the 8 data bytes only.
    sendTo(tree.backend->peer("hidraw2"), {0x02, 0x00, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00});
    uint8_t buffer[9];
    size_t n = 0;
    ASSERT_EQ(keyboard.Read(buffer, sizeof buffer, &n, 1000), HidStatus::Ok);
    ASSERT_EQ(n, 9u);
    EXPECT_EQ(Bytes(buffer, buffer + 9), (Bytes{0x00, 0x02, 0x00, 0x04, 0, 0, 0, 0, 0})) << Hex(buffer, n);
    ASSERT_TRUE(keyboard.UnpackReport(buffer, n, HidReportType::Input));
    EXPECT_EQ(keyboard.DataItems(HidReportType::Input).at(1).usages.at(0), 0x04);
}

TEST(HidrawBackend, NodeThatMayNotBeOpenedNamesTheUdevRule) {
    KeyboardTree tree;
    tree.backend->openError = EACCES;
    DebugCapture capture;
    HidDevice hid(tree.backend);
    EXPECT_FALSE(hid.Open(tree.path(kVendorPath), true, true, true, false));
    EXPECT_FALSE(hid.IsOpen());
    const std::string node = tree.sysfs.devRoot() + "/hidraw3";
    ASSERT_EQ(capture.texts().size(), 1u);
    const std::string text = capture.texts()[0];
    EXPECT_NE(text.find(node), std::string::npos) << text;
    EXPECT_NE(text.find("70-talyx.rules"), std::string::npos) << text;
    EXPECT_NE(text.find("TAG+=\"uaccess\""), std::string::npos) << text;
    EXPECT_EQ(text, HidrawBackend::PermissionText(node));

    // Other failures (a node gone) say nothing.
    capture.clear();
    tree.backend->openError = ENOENT;
    EXPECT_FALSE(hid.Open(tree.path(kVendorPath), true, true, true, false));
    EXPECT_TRUE(capture.texts().empty());
}

TEST(HidrawBackend, ProbeAndOpenFollowTheNodeNotJustItsNumber) {
    KeyboardTree tree;
    const std::string path = tree.path(kVendorPath);
    EXPECT_TRUE(tree.backend->probe(path));
    HidDevice hid(tree.backend);
    // Opening with no access rights touches nothing on the node.
    ASSERT_TRUE(hid.Open(path, false, false, false, false));
    EXPECT_EQ(tree.backend->opens.load(), 0);
    hid.Close();

    // Unplugged, then the number reused by another device.
    tree.sysfs.removeNode(3);
    EXPECT_FALSE(tree.backend->probe(path));
    tree.sysfs.addNode(3, 0x046D, 0xC077, 0, descriptors::BootKeyboard());
    EXPECT_FALSE(tree.backend->probe(path));
    EXPECT_FALSE(hid.Open(path, true, false, true, false));
    EXPECT_FALSE(hid.Open(tree.sysfs.devRoot() + "/hidraw3", true, false, true, false)); // no markers
}

TEST(HidDevice, ReadWithNoReportTimesOutAndLeavesNothingPending) {
    KeyboardTree tree;
    HidDevice hid(tree.backend);
    ASSERT_TRUE(hid.Open(tree.path(kVendorPath), true, true, true, false));
    const int peer = tree.backend->peer("hidraw3");
    uint8_t buffer[65];
    size_t n = 99;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(hid.Read(buffer, sizeof buffer, &n, 100), HidStatus::TimedOut);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(90));
    EXPECT_EQ(n, 0u);
    // The report that comes after the time-out goes to the next read, whole, and only once.
    sendTo(peer, vendorReport(0x5A));
    ASSERT_EQ(hid.Read(buffer, sizeof buffer, &n, 1000), HidStatus::Ok);
    EXPECT_EQ(n, 65u);
    EXPECT_EQ(buffer[1], 0x5A) << Hex(buffer, n);
    EXPECT_EQ(hid.Read(buffer, sizeof buffer, &n, 0), HidStatus::TimedOut);
}

TEST(HidDevice, CloseFromAnotherThreadEndsAWaitingRead) {
    KeyboardTree tree;
    HidDevice hid(tree.backend);
    ASSERT_TRUE(hid.Open(tree.path(kVendorPath), true, true, true, false));
    const int peer = tree.backend->peer("hidraw3");
    std::promise<void> started;
    auto result = std::async(std::launch::async, [&] {
        uint8_t buffer[65];
        size_t n = 0;
        started.set_value();
        return hid.Read(buffer, sizeof buffer, &n, -1); // no time-out: only Close ends it
    });
    started.get_future().wait();
    std::this_thread::sleep_for(std::chrono::milliseconds(20)); // let it reach its wait
    const auto closed = std::chrono::steady_clock::now();
    hid.Close();
    // If the cancel were lost, a report arriving 5 s later would end the read as a success.
    if (result.wait_for(std::chrono::seconds(5)) != std::future_status::ready)
        sendTo(peer, vendorReport(0x01));
    EXPECT_EQ(result.get(), HidStatus::Cancelled);
    const auto latency =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - closed);
    std::printf("Close ended the waiting read after %lld us\n", static_cast<long long>(latency.count()));
    EXPECT_FALSE(hid.IsOpen());
    uint8_t buffer[65];
    size_t n = 0;
    EXPECT_EQ(hid.Read(buffer, sizeof buffer, &n, 0), HidStatus::Cancelled);
}

TEST(HidDevice, DeviceThatGoesAwayFailsTheReadAtOnce) {
    KeyboardTree tree;
    HidDevice hid(tree.backend);
    ASSERT_TRUE(hid.Open(tree.path(kVendorPath), true, true, true, false));
    ::shutdown(tree.backend->peer("hidraw3"), SHUT_RDWR);
    uint8_t buffer[65];
    size_t n = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(hid.Read(buffer, sizeof buffer, &n, 5000), HidStatus::Gone);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
    EXPECT_EQ(hid.Write(buffer, 1, &n, 1000), HidStatus::Gone);
}

TEST(HidDevice, PathMarkersAndFailedOpen) {
    auto backend = std::make_shared<FakeBackend>();
    backend->add("plain-node", 0x320F, 0x5078, descriptors::VendorCollection());
    backend->add("broken#vid_320f&pid_5078&mi_01&col04", 0x320F, 0x5078, {0x05, 0x01});
    HidDevice hid(backend);
    ASSERT_TRUE(hid.Open("plain-node", true, true, true, false));
    EXPECT_EQ(hid.InterfaceNumber(), 0u);
    EXPECT_EQ(hid.CollectionNumber(), 0u);
    EXPECT_EQ(hid.Caps().outputReportByteLength, 65);
    EXPECT_TRUE(hid.IsOpen());
    // A descriptor that does not parse fails the open and leaves the object closed.
    EXPECT_FALSE(hid.Open("broken#vid_320f&pid_5078&mi_01&col04", true, true, true, false));
    EXPECT_FALSE(hid.IsOpen());
    EXPECT_FALSE(hid.Open("missing", true, true, true, false));
    EXPECT_TRUE(hid.DataItems(HidReportType::Input).empty());
    EXPECT_TRUE(hid.IsPresent("plain-node"));
    EXPECT_FALSE(hid.IsPresent("missing"));
}

// ---- virtual bus ----

TEST(VirtualBus, EnumeratesOpensAndMovesReports) {
    ScratchDir bus;
    const std::string name = std::string("kbd0") + kVendorPath;
    TinyBusDevice device(bus.path(), name,
                         VirtualBusBackend::MakeHello(0x320F, 0x5078, 0x0102, descriptors::VendorCollection()));
    // Neither a plain file nor a socket without markers is a device.
    std::ofstream(bus.file("notes#vid_1234")) << "x";
    TinyBusDevice stranger(bus.path(), "control", VirtualBusBackend::MakeHello(1, 2, 3, descriptors::BootKeyboard()));

    ScopedEnv env("TALYX_HID_BUS", bus.path());
    HidDevice hid; // the process default follows TALYX_HID_BUS
    ASSERT_TRUE(hid.Enumerate());
    ASSERT_EQ(hid.PathCount(), 1u);
    const std::string path = *hid.NextPath();
    EXPECT_EQ(path, name);

    ASSERT_TRUE(hid.Open(path, true, true, true, false));
    EXPECT_EQ(hid.VendorId(), 0x320F);
    EXPECT_EQ(hid.ProductId(), 0x5078);
    EXPECT_EQ(hid.Attributes().versionNumber, 0x0102);
    EXPECT_EQ(hid.UsagePage(), 0xFF1C);
    EXPECT_EQ(hid.CollectionNumber(), 4u);
    ASSERT_TRUE(device.waitForClients(1, 2000));

    const Bytes request = {0x04, 0x03};
    size_t n = 0;
    ASSERT_EQ(hid.Write(request.data(), request.size(), &n, 1000), HidStatus::Ok);
    ASSERT_TRUE(device.waitForMessages(1, 2000));
    Bytes expected(65, 0);
    expected[0] = 0x04;
    expected[1] = 0x03;
    EXPECT_EQ(device.received().at(0), expected) << Hex(device.received().at(0));

    device.sendInput(vendorReport(0x77));
    uint8_t buffer[65];
    ASSERT_EQ(hid.Read(buffer, sizeof buffer, &n, 2000), HidStatus::Ok);
    EXPECT_EQ(n, 65u);
    EXPECT_EQ(buffer[1], 0x77) << Hex(buffer, n);

    // Unplugged: the waiting read fails at once and the probe no longer connects.
    device.unplug();
    EXPECT_EQ(hid.Read(buffer, sizeof buffer, &n, 5000), HidStatus::Gone);
    EXPECT_FALSE(HidDevice::Probe(path));
}

TEST(VirtualBus, ProbeConnectsAndClosesWithoutTalking) {
    ScratchDir bus;
    const std::string name = std::string("kbd0") + kConsumerPath;
    TinyBusDevice device(bus.path(), name,
                         VirtualBusBackend::MakeHello(0x320F, 0x5078, 1, descriptors::ConsumerControl()));
    VirtualBusBackend backend(bus.path());
    EXPECT_TRUE(backend.probe(name));
    EXPECT_TRUE(device.waitForSilentCloses(1, 2000));
    EXPECT_TRUE(device.received().empty());
    EXPECT_FALSE(backend.probe("kbd1#vid_320f&pid_5078&mi_01&col03"));
}

TEST(VirtualBus, BadHelloFailsTheOpen) {
    ScratchDir bus;
    Bytes wrongVersion = VirtualBusBackend::MakeHello(0x320F, 0x5078, 1, descriptors::VendorCollection());
    wrongVersion[4] = 2;
    Bytes wrongLength = VirtualBusBackend::MakeHello(0x320F, 0x5078, 1, descriptors::VendorCollection());
    wrongLength.pop_back();
    Bytes wrongMagic = VirtualBusBackend::MakeHello(0x320F, 0x5078, 1, descriptors::VendorCollection());
    wrongMagic[0] = 'X';
    TinyBusDevice a(bus.path(), "a#vid_320f", wrongVersion);
    TinyBusDevice b(bus.path(), "b#vid_320f", wrongLength);
    TinyBusDevice c(bus.path(), "c#vid_320f", wrongMagic);
    TinyBusDevice d(bus.path(), "d#vid_320f", VirtualBusBackend::MakeHello(0x320F, 0x5078, 1, {0xA1, 0x01}));
    HidDevice hid(std::make_shared<VirtualBusBackend>(bus.path()));
    for (const char* name : {"a#vid_320f", "b#vid_320f", "c#vid_320f", "d#vid_320f"}) {
        EXPECT_FALSE(hid.Open(name, true, true, true, false)) << name;
        EXPECT_FALSE(hid.IsOpen()) << name;
    }
}
