// The transport's status vocabulary: from errno at the edge, through HidDevice, to the
// command exchange's result codes; and the report-id check of every read.

#include <cerrno>
#include <future>

#include <gtest/gtest.h>

#include "device/transport/DeviceChannel.h"
#include "device/transport/HidDevice.h"
#include "platform/Debug.h"
#include "tests/device/DeviceTestSupport.h"

using namespace talyx;
using namespace talyx::test;

namespace {

const char* kVendorMarkers = "#vid_320f&pid_5078&mi_01&col04";

Bytes report(uint8_t id, uint8_t command, size_t length = 65) {
    Bytes r(length, 0);
    r[0] = id;
    r[3] = command;
    return r;
}

} // namespace

TEST(HidStatus, ErrnoIsTranslatedOnceWithTheNodeAndTheCallForTheDebugOutput) {
    const std::pair<int, HidStatus> table[] = {
        {EACCES, HidStatus::NoAccess}, {EPERM, HidStatus::NoAccess},     {ENOENT, HidStatus::Gone},
        {ENODEV, HidStatus::Gone},     {ECONNREFUSED, HidStatus::Gone},  {EPIPE, HidStatus::Gone},
        {ECONNRESET, HidStatus::Gone}, {ETIMEDOUT, HidStatus::TimedOut}, {EIO, HidStatus::IoError},
        {EINVAL, HidStatus::IoError},  {0, HidStatus::IoError},
    };
    for (const auto& [error, status] : table)
        EXPECT_EQ(HidStatusFromErrno(error), status) << "errno " << error;

    DebugCapture capture;
    EXPECT_EQ(TranslateErrno(EIO, "read", "/dev/hidraw3"), HidStatus::IoError);
    EXPECT_EQ(TranslateErrno(ENODEV, "write", "/dev/hidraw3"), HidStatus::Gone); // unplugging is no error
    ASSERT_EQ(capture.texts().size(), 1u);
    EXPECT_EQ(capture.texts()[0], "hid: read /dev/hidraw3: Input/output error (I/O error)");

    // The one place where the vocabulary becomes the exchange's codes.
    for (HidStatus s :
         {HidStatus::TimedOut, HidStatus::Cancelled, HidStatus::Gone, HidStatus::NoAccess, HidStatus::IoError}) {
        EXPECT_EQ(DeviceChannel::TransferResult(DeviceChannel::Transfer::Write, s), kResultWriteFailed)
            << HidStatusText(s);
        EXPECT_EQ(DeviceChannel::TransferResult(DeviceChannel::Transfer::Read, s), kResultNoReply) << HidStatusText(s);
    }
    EXPECT_EQ(DeviceChannel::TransferResult(DeviceChannel::Transfer::Read, HidStatus::Ok), kResultSuccess);
}

TEST(HidStatus, AVanishedDeviceIsGoneAndTheChannelStillSpeaksItsCodes) {
    FakeSysfs sysfs;
    sysfs.addNode(3, 0x320F, 0x5078, 1, descriptors::KeyboardInterface1());
    auto backend = std::make_shared<SocketHidraw>(sysfs.classRoot(), sysfs.devRoot());
    const std::string path = sysfs.devRoot() + "/hidraw3" + kVendorMarkers;

    HidDevice hid(backend);
    EXPECT_FALSE(hid.Open(sysfs.devRoot() + "/hidraw9" + kVendorMarkers, true, true, true, false));
    EXPECT_EQ(hid.OpenStatus(), HidStatus::Gone);
    backend->openError = EACCES;
    EXPECT_FALSE(hid.Open(path, true, true, true, false));
    EXPECT_EQ(hid.OpenStatus(), HidStatus::NoAccess);
    backend->openError = EIO;
    EXPECT_FALSE(hid.Open(path, true, true, true, false));
    EXPECT_EQ(hid.OpenStatus(), HidStatus::IoError);
    backend->openError = 0;

    DeviceChannel channel(backend);
    ASSERT_TRUE(channel.OpenInterface(false, path));
    const int peer = backend->peer("hidraw3");
    uint8_t reply[64];
    size_t n = 0;
    const Bytes request = {0x04, 0, 0, 0x01};
    // The device hangs up its reading side: the request finds no reader.
    ::shutdown(peer, SHUT_RD);
    EXPECT_EQ(channel.Transact(request.data(), request.size(), reply, sizeof reply, &n), kResultWriteFailed);
    EXPECT_EQ(channel.LastStatus(), HidStatus::Gone);
    // Now it goes away altogether: no reply can come, and the wait ends at once.
    ::shutdown(peer, SHUT_RDWR);
    uint8_t in[65];
    EXPECT_EQ(channel.InterfaceA().Read(in, sizeof in, &n, 5000), HidStatus::Gone);
}

// A read delivers only reports of its collection's own ids, on the virtual bus as on
// hidraw; a reply of another id is not taken for the answer even when its command byte
// matches, and such reports do not stretch the time-out.
TEST(HidStatus, ReadsTakeOnlyTheCollectionsReportIds) {
    ScratchDir bus;
    const std::string name = std::string("kbd0") + kVendorMarkers;
    TinyBusDevice device(bus.path(), name,
                         VirtualBusBackend::MakeHello(0x320F, 0x5078, 1, descriptors::VendorCollection()));
    auto backend = std::make_shared<VirtualBusBackend>(bus.path());

    HidDevice hid(backend);
    ASSERT_TRUE(hid.Open(name, true, true, true, false));
    EXPECT_EQ(hid.InputReportIds(), Bytes{0x04});
    ASSERT_TRUE(device.waitForClients(1, 2000));
    device.sendInput({0x03, 0x01, 0x04}); // the consumer collection's notification
    device.sendInput(report(0x00, 0x01));
    uint8_t buffer[65];
    size_t n = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(hid.Read(buffer, sizeof buffer, &n, 150), HidStatus::TimedOut);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
    hid.Close();

    DeviceChannel channel(backend);
    ASSERT_TRUE(channel.OpenInterface(false, name));
    ASSERT_TRUE(device.waitForClients(1, 2000));
    auto result = std::async(std::launch::async, [&] {
        uint8_t reply[64] = {};
        size_t got = 0;
        const Bytes request = {0x04, 0, 0, 0x1A};
        const int code = channel.Transact(request.data(), request.size(), reply, sizeof reply, &got);
        return std::make_pair(code, Bytes(reply, reply + got));
    });
    ASSERT_TRUE(device.waitForMessages(1, 2000));
    Bytes foreign = report(0x05, 0x1A); // same command byte, another collection's id
    foreign[8] = 0xEE;
    Bytes answer = report(0x04, 0x1A);
    answer[8] = 0x42;
    device.sendInput(foreign);
    device.sendInput(answer);
    const auto [code, reply] = result.get();
    EXPECT_EQ(code, kResultSuccess);
    ASSERT_EQ(reply.size(), 64u);
    EXPECT_EQ(reply[0], 0x04) << Hex(reply);
    EXPECT_EQ(reply[8], 0x42) << Hex(reply);
}
