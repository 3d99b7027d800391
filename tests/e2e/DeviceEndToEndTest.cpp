// The transport, identification and command channel against talyx-vdev on a private bus.

#include <algorithm>
#include <chrono>

#include <gtest/gtest.h>

#include "device/SupportedDeviceTable.h"
#include "device/transport/DeviceChannel.h"
#include "device/transport/HidDevice.h"
#include "platform/Paths.h"
#include "support/TestSupport.h"
#include "vdev/VdevFraming.h"
#include "vdev/VdevProcess.h"

namespace talyx {
namespace {

using vdev::VdevProcess;

class DeviceEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        if (!FileExists(VdevProcess::ExecutablePath()))
            GTEST_SKIP() << "talyx-vdev not built at " << VdevProcess::ExecutablePath();
        bus = scratch.file("bus");
    }

    // Enumerates the bus and attaches every interface as the scan does; the attached rows.
    std::vector<int> attachAll(SupportedDeviceTable& table) {
        HidDevice scanner;
        EXPECT_TRUE(scanner.Enumerate());
        std::vector<int> rows;
        while (const std::string* path = scanner.NextPath()) {
            const int row = table.AttachInterface(scanner, *path);
            if (row >= 0)
                rows.push_back(row);
        }
        std::sort(rows.begin(), rows.end());
        return rows;
    }

    // Every packet the model saw obeyed the framing rules.
    void expectCleanFraming(int device = 0) {
        const Json::Value state = vdev.state();
        ASSERT_TRUE(state.isArray()) << vdev.lastError();
        const Json::Value& fw = state[device]["firmware"];
        EXPECT_EQ(fw["framingErrorCount"].asInt(), 0) << fw["framingErrors"].toStyledString();
        EXPECT_GT(fw["requests"].asInt(), 0);
    }

    test::ScratchDir scratch;
    std::string bus;
    VdevProcess vdev;
};

TEST_F(DeviceEndToEnd, WiredKeyboardIsFoundAndAnswersItsCommands) {
    ASSERT_TRUE(vdev.start(bus, {"keyboard"})) << vdev.lastError();
    test::ScopedEnv env("TALYX_HID_BUS", bus);

    SupportedDeviceTable table;
    EXPECT_EQ(attachAll(table), (std::vector<int>{0, 1}));
    EXPECT_EQ(table.PageIdentity(1), 0);

    DeviceChannel channel;
    ASSERT_TRUE(channel.OpenInterface(false, table.Entry(0).devicePath));
    EXPECT_FALSE(channel.IsWireless());

    uint8_t info[34] = {};
    ASSERT_EQ(channel.Cmd03ReadInfo34(info), kResultSuccess);
    EXPECT_EQ(info[5], 104) << vdev::ToHex(info, sizeof info);
    EXPECT_EQ(info[6], 32);

    // A light record: write it whole, read it back.
    uint8_t record[34];
    for (int i = 0; i < 34; ++i)
        record[i] = static_cast<uint8_t>(0x80 + i);
    record[0] = 0;
    ASSERT_EQ(channel.Cmd01BeginBatch(), kResultSuccess);
    ASSERT_EQ(channel.Cmd06Write(0, record, sizeof record), kResultSuccess);
    ASSERT_EQ(channel.Cmd02EndBatch(1), kResultSuccess);
    uint8_t back[34] = {};
    ASSERT_EQ(channel.Cmd05Read(0, back, sizeof back), kResultSuccess);
    EXPECT_EQ(vdev::ToHex(back, 34), vdev::ToHex(record, 34));

    // The factory codes through a block read sized by the key count.
    ASSERT_TRUE(channel.SetBlockSize(3 * 104));
    std::vector<uint8_t> codes(312);
    ASSERT_EQ(channel.Cmd07ReadBlock(codes.data()), kResultSuccess);
    const Json::Value state = vdev.state();
    EXPECT_EQ(vdev::ToHex(codes), state[0]["firmware"]["factoryCodes"].asString());

    // A frame reaches the keyboard whole.
    std::vector<uint8_t> frame(384);
    for (size_t i = 0; i < frame.size(); ++i)
        frame[i] = static_cast<uint8_t>(i * 7);
    ASSERT_EQ(channel.Cmd12WriteFrame(frame.data(), frame.size()), kResultSuccess);
    const Json::Value after = vdev.state();
    EXPECT_EQ(after[0]["firmware"]["frame"]["count"].asInt(), 1);
    EXPECT_EQ(after[0]["firmware"]["frame"]["last"].asString(), vdev::ToHex(frame));
    expectCleanFraming();
}

TEST_F(DeviceEndToEnd, FaultsReachTheChannelAsResultCodes) {
    ASSERT_TRUE(vdev.start(bus, {"keyboard"})) << vdev.lastError();
    test::ScopedEnv env("TALYX_HID_BUS", bus);
    SupportedDeviceTable table;
    attachAll(table);
    DeviceChannel channel;
    ASSERT_TRUE(channel.OpenInterface(false, table.Entry(0).devicePath));

    // One stale reply in front of ours: absorbed.
    ASSERT_TRUE(vdev.request(R"({"cmd":"fault","kind":"stale","count":1})")["ok"].asBool());
    uint8_t status[6] = {};
    EXPECT_EQ(channel.Cmd1AReadStatus(status, 6), kResultSuccess);
    EXPECT_EQ(status[0], 100); // the charge of a full battery

    ASSERT_TRUE(vdev.request(R"({"cmd":"fault","kind":"status","status":255})")["ok"].asBool());
    EXPECT_EQ(channel.Cmd01BeginBatch(), kResultStatusFF);
    ASSERT_TRUE(vdev.request(R"({"cmd":"fault","kind":"status","status":254})")["ok"].asBool());
    EXPECT_EQ(channel.Cmd01BeginBatch(), kResultStatusFE);

    // Unplugged after two chunks of a four-chunk write: the rest cannot be sent.
    ASSERT_TRUE(vdev.request(R"({"cmd":"fault","kind":"unplug-after","packets":2})")["ok"].asBool());
    std::vector<uint8_t> image(200, 0x11);
    const int result = channel.Cmd15Write(image.data(), image.size());
    EXPECT_TRUE(result == kResultWriteFailed || result == kResultNoReply) << result;
    const Json::Value state = vdev.state();
    EXPECT_FALSE(state[0]["plugged"].asBool());
    EXPECT_EQ(state[0]["firmware"]["macroImage"].asString().size(), 2u * 112);
    EXPECT_FALSE(HidDevice::Probe(table.Entry(0).devicePath));
    expectCleanFraming();
}

TEST_F(DeviceEndToEnd, ReceiverReportsTheKeyboardOutOfReach) {
    ASSERT_TRUE(vdev.start(bus, {"keyboard-receiver"}, {"--offline"})) << vdev.lastError();
    test::ScopedEnv env("TALYX_HID_BUS", bus);
    SupportedDeviceTable table;
    EXPECT_EQ(attachAll(table), (std::vector<int>{2, 3}));
    EXPECT_EQ(table.PageIdentity(2), 0); // the receiver lives on the wired keyboard's page

    DeviceChannel channel;
    ASSERT_TRUE(channel.OpenInterface(true, table.Entry(2).devicePath));
    EXPECT_EQ(channel.ChunkSize(), 24);
    EXPECT_FALSE(channel.CmdAAIsOnline());
    EXPECT_EQ(channel.Cmd01BeginBatch(), kResultUnreachable);

    ASSERT_TRUE(vdev.request(R"({"cmd":"online","online":true})")["ok"].asBool());
    EXPECT_TRUE(channel.CmdAAIsOnline());
    uint8_t record[34] = {0, 6, 4, 0, 1};
    ASSERT_EQ(channel.Cmd06Write(0, record, sizeof record), kResultSuccess);
    uint8_t back[34] = {};
    ASSERT_EQ(channel.Cmd05Read(0, back, sizeof back), kResultSuccess);
    EXPECT_EQ(vdev::ToHex(back, 34), vdev::ToHex(record, 34));
    expectCleanFraming();
}

} // namespace
} // namespace talyx
