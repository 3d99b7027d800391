#include <set>
#include <string>

#include <gtest/gtest.h>

#include "keyboard/KeySlotMaps.h"
#include "vdev/EmptyFirmware.h"
#include "vdev/KeyboardFirmware.h"
#include "vdev/ReportDescriptors.h"
#include "vdev/VdevFraming.h"
#include "vdev/VirtualDevice.h"

namespace talyx::vdev {
namespace {

using Packet = std::vector<uint8_t>;

Packet request(uint8_t command, uint8_t length = 0, uint16_t offset = 0, const Packet& data = {}) {
    Packet p(64, 0);
    p[0] = 0x04;
    p[3] = command;
    p[4] = length;
    p[5] = static_cast<uint8_t>(offset & 0xFF);
    p[6] = static_cast<uint8_t>(offset >> 8);
    for (size_t i = 0; i < data.size(); ++i)
        p[8 + i] = data[i];
    uint32_t sum = 0;
    for (size_t i = 3; i < 64; ++i)
        sum += p[i];
    p[1] = static_cast<uint8_t>(sum & 0xFF);
    p[2] = static_cast<uint8_t>((sum >> 8) & 0xFF);
    return p;
}

void expectFramed(const Packet& reply, uint8_t command, uint8_t status) {
    ASSERT_EQ(reply.size(), 64u) << ToHex(reply);
    EXPECT_EQ(reply[0], 0x04) << ToHex(reply);
    EXPECT_EQ(reply[3], command) << ToHex(reply);
    EXPECT_EQ(reply[7], status) << ToHex(reply);
    EXPECT_EQ(reply[1] | reply[2] << 8, PacketChecksum(reply.data())) << ToHex(reply);
}

Packet data(const Packet& reply, size_t n) {
    return Packet(reply.begin() + 8, reply.begin() + 8 + static_cast<long>(n));
}

TEST(KeyboardFirmware, RefusesBadFramingAndRecordsWhy) {
    KeyboardFirmware kb;
    Packet p = request(0x06, 2, 0, {0x00, 0x09});
    p[1] ^= 0x01;
    Packet reply = kb.Handle(p.data(), p.size());
    expectFramed(reply, 0x06, 0xFF);
    EXPECT_EQ(kb.Records()[1], 5) << "a refused write changed the record";

    Packet shortPacket(10, 0);
    shortPacket[0] = 4;
    expectFramed(kb.Handle(shortPacket.data(), shortPacket.size()), 0x00, 0xFF);
    Packet wrongId = request(0x01);
    wrongId[0] = 0x05;
    expectFramed(kb.Handle(wrongId.data(), wrongId.size()), 0x01, 0xFF);
    Packet tooLong = request(0x06, 57);
    expectFramed(kb.Handle(tooLong.data(), tooLong.size()), 0x06, 0xFF);
    // Dirty padding is recorded, not refused.
    Packet dirty = request(0x01, 0, 0, {0, 0, 0, 0x33});
    expectFramed(kb.Handle(dirty.data(), dirty.size()), 0x01, 0x00);

    ASSERT_EQ(kb.FramingErrorCount(), 5u);
    const char* kinds[] = {"checksum", "length", "report-id", "chunk-length", "padding"};
    for (size_t i = 0; i < 5; ++i)
        EXPECT_EQ(kb.FramingErrors()[i].kind, kinds[i]);
    EXPECT_EQ(kb.RequestCount(), 5u);
    EXPECT_EQ(kb.DumpState()["framingErrors"][0]["packet"].asString(), ToHex(p));
}

TEST(KeyboardFirmware, AreasReadAndWriteAtTheirOffsets) {
    KeyboardOptions options;
    options.keyCount = 104;
    options.macroUnits = 2;
    KeyboardFirmware kb(options);

    Packet reply = kb.Handle(request(0x03, 34).data(), 64);
    expectFramed(reply, 0x03, 0);
    EXPECT_EQ(reply[8 + 5], 104);
    EXPECT_EQ(reply[8 + 6], 2);

    // Records: 34 bytes at index × 33; writing one keeps what it does not carry.
    const Packet record = {0, 6, 3, 1, 0, 1, 10, 20, 30};
    expectFramed(kb.Handle(request(0x06, 9, 33, record).data(), 64), 0x06, 0);
    reply = kb.Handle(request(0x05, 34, 33).data(), 64);
    EXPECT_EQ(data(reply, 9), record);
    EXPECT_EQ(reply[8 + 9], 0x39);
    EXPECT_EQ(kb.Records()[33 + 8], 30);

    // Out of an area: 0xFE and nothing changes.
    expectFramed(kb.Handle(request(0x09, 4, 312, {1, 2, 3, 4}).data(), 64), 0x09, 0xFE);
    expectFramed(kb.Handle(request(0x15, 56, 201, Packet(56, 7)).data(), 64), 0x15, 0xFE); // 2 × 128 bytes
    expectFramed(kb.Handle(request(0x15, 56, 200, Packet(56, 7)).data(), 64), 0x15, 0x00);
    expectFramed(kb.Handle(request(0x42).data(), 64), 0x42, 0xFE);

    // Per-key colour pages sit 512 apart.
    expectFramed(kb.Handle(request(0x0B, 3, 2 * 512 + 6, {9, 8, 7}).data(), 64), 0x0B, 0);
    EXPECT_EQ(kb.ColourPages()[1024 + 7], 8);
    reply = kb.Handle(request(0x0A, 3, 2 * 512 + 6).data(), 64);
    EXPECT_EQ(data(reply, 3), (Packet{9, 8, 7}));

    reply = kb.Handle(request(0x1A, 6).data(), 64);
    EXPECT_EQ(data(reply, 6), kb.Status());
    reply = kb.Handle(request(0x1C).data(), 64);
    EXPECT_TRUE(kb.LightControl());
}

TEST(KeyboardFirmware, FactoryCodesAreThoseOfTheKeySlotTable) {
    KeyboardFirmware kb;
    const KeySlotMaps maps = BuildKeySlotMaps(kb.FactoryCodes().data(), kb.LedPositions().data(), kb.KeyCount());
    std::set<int> keys;
    std::set<int> leds;
    for (int s = 0; s < kKeySlots; ++s) {
        if (maps.keyMap[s] == kNoDeviceKey)
            continue;
        EXPECT_TRUE(keys.insert(maps.keyMap[s]).second);
        EXPECT_TRUE(leds.insert(maps.ledMap[s]).second);
        EXPECT_LT(maps.ledMap[s], 128);
        EXPECT_EQ(kb.SlotOfKey(maps.keyMap[s]), s);
    }
    EXPECT_EQ(keys.size(), 104u); // every key of the full-size keyboard has its slot
    EXPECT_NE(maps.keyMap[0], 0); // the keyboard's own numbering is not the slot order
    EXPECT_EQ(maps.keyMap[kFnKeySlot] == kNoDeviceKey, false);
    EXPECT_EQ(maps.keyMap[125], kNoDeviceKey); // Fn stands where the right Windows key would

    KeyboardOptions big;
    big.keyCount = 171;
    KeyboardFirmware large(big);
    EXPECT_EQ(large.FactoryCodes().size(), 513u);
    EXPECT_EQ(large.Info()[5], 171);
}

TEST(KeyboardFirmware, LiveFrameEndsWithTheChunkThatReachesByte384) {
    KeyboardFirmware kb;
    for (int frame = 1; frame <= 2; ++frame) {
        for (uint16_t offset = 0; offset < 384; offset += 56) {
            const uint8_t n = static_cast<uint8_t>(std::min<int>(56, 384 - offset));
            if (frame == 2 && offset == 112)
                continue; // a chunk the program dropped
            expectFramed(kb.Handle(request(0x12, n, offset, Packet(n, static_cast<uint8_t>(frame))).data(), 64), 0x12,
                         0);
        }
        EXPECT_EQ(kb.FrameCount(), static_cast<uint64_t>(frame));
    }
    EXPECT_EQ(kb.PartialFrameCount(), 1u);
    EXPECT_EQ(kb.LastFrame()[0], 2);
    EXPECT_EQ(kb.LastFrame()[112], 1);
    EXPECT_EQ(kb.FrameTimes().size(), 2u);
    EXPECT_LE(kb.FrameTimes()[0], kb.FrameTimes()[1]);
}

TEST(FamilyFirmware, KeepsTheFramesItIsSentAndTheReceiverAnswersItsOnlineState) {
    // 510 bytes in 24-byte chunks, as through the mouse receiver: the first light is dark,
    // the second lit.
    VirtualDevice receiver(DeviceKind::MouseReceiver, 0);
    EmptyFirmware* fw = receiver.Family();
    ASSERT_NE(fw, nullptr);
    ASSERT_TRUE(fw->IsReceiver());
    Packet frame(EmptyFirmware::kFrameSize, 0);
    frame[3] = 0x12;
    frame[4] = 0x34;
    frame[5] = 0x56;
    for (uint16_t offset = 0; offset < frame.size(); offset += 24) {
        const uint8_t n = static_cast<uint8_t>(std::min<size_t>(24, frame.size() - offset));
        expectFramed(
            fw->Handle(request(0x12, n, offset, Packet(frame.begin() + offset, frame.begin() + offset + n)).data(), 64),
            0x12, 0);
    }
    EXPECT_EQ(fw->Frames().Count(), 1u);
    EXPECT_EQ(fw->Frames().LastFrame(), frame);
    ASSERT_EQ(fw->Frames().Colours().size(), 1u);
    EXPECT_EQ(fw->Frames().Colours()[0], 0x123456u);
    const Json::Value dumped = fw->DumpState()["frame"];
    EXPECT_EQ(dumped["colours"][0].asString(), "123456");
    EXPECT_EQ(dumped["chunk"].asInt(), 24);
    // A chunk past the end of the frame fails and keeps nothing.
    expectFramed(fw->Handle(request(0x12, 16, 500, Packet(16, 1)).data(), 64), 0x12, 0xFE);
    EXPECT_EQ(fw->Frames().Count(), 1u);

    // The receiver waits for its mouse until it is said to be online; the cable needs no
    // such answer.
    Packet reply = fw->Handle(request(0xAA).data(), 64);
    expectFramed(reply, 0xAA, 0);
    EXPECT_EQ(reply[8], 0x00);
    fw->SetOnline(true);
    EXPECT_EQ(fw->Handle(request(0xAA).data(), 64)[8], 0xFF);
    VirtualDevice wired(DeviceKind::Mouse, 1);
    EXPECT_FALSE(wired.Family()->IsReceiver());
    EXPECT_EQ(wired.Family()->Handle(request(0xAA).data(), 64)[8], 0x00);
    EXPECT_EQ(VirtualDevice(DeviceKind::Keyboard, 2).Family(), nullptr);
}

TEST(KeyboardFirmware, ReceiverAnswersForAnOfflineKeyboard) {
    KeyboardOptions options;
    options.receiver = true;
    KeyboardFirmware rx(options);
    Packet reply = rx.Handle(request(0xAA).data(), 64);
    expectFramed(reply, 0xAA, 0);
    EXPECT_EQ(reply[8], 0xFF);

    rx.SetOnline(false);
    reply = rx.Handle(request(0xAA).data(), 64);
    EXPECT_EQ(reply[8], 0x00);
    reply = rx.Handle(request(0x06, 2, 0, {0, 9}).data(), 64);
    expectFramed(reply, 0xAA, 0);
    EXPECT_EQ(rx.Records()[1], 5);

    // Through the receiver chunks are at most 24 bytes.
    rx.SetOnline(true);
    expectFramed(rx.Handle(request(0x06, 25).data(), 64), 0x06, 0xFF);
    EXPECT_EQ(rx.FramingErrors().back().kind, "chunk-length");
}

TEST(VirtualDevice, FaultsComeInOrderAndRunOut) {
    VirtualDevice device(DeviceKind::Keyboard, 0);
    const Packet begin = request(0x01);
    ASSERT_EQ(device.OnOutputReport(0, begin.data(), 64).size(), 1u);

    device.Faults().noReply = 1;
    EXPECT_TRUE(device.OnOutputReport(0, begin.data(), 64).empty());

    device.Faults().stale = 2;
    auto replies = device.OnOutputReport(0, request(0x1A, 6).data(), 64);
    ASSERT_EQ(replies.size(), 3u);
    EXPECT_EQ(replies[0][3], 0x01); // the previous reply again
    EXPECT_EQ(replies[1][3], 0x01);
    expectFramed(replies[2], 0x1A, 0);

    device.Faults().statusCount = 1;
    device.Faults().status = 0xFE;
    replies = device.OnOutputReport(0, request(0x06, 2, 0, {0, 9}).data(), 64);
    expectFramed(replies.at(0), 0x06, 0xFE);
    EXPECT_EQ(device.Keyboard()->Records()[1], 5);

    device.Faults().unreachable = 1;
    replies = device.OnOutputReport(0, begin.data(), 64);
    EXPECT_EQ(replies.at(0)[3], 0xAA);
    expectFramed(device.OnOutputReport(0, begin.data(), 64).at(0), 0x01, 0);

    device.Faults().unplugAfter = 2;
    device.OnOutputReport(0, begin.data(), 64);
    EXPECT_FALSE(device.TakeUnplugRequest());
    EXPECT_EQ(device.OnOutputReport(0, begin.data(), 64).size(), 1u);
    EXPECT_TRUE(device.TakeUnplugRequest());
    EXPECT_FALSE(device.TakeUnplugRequest());

    // The consumer collection takes no requests.
    EXPECT_TRUE(device.OnOutputReport(1, begin.data(), 64).empty());
}

TEST(VirtualDevice, CollectionsHelloAndNotifications) {
    VirtualDevice keyboard(DeviceKind::Keyboard, 2);
    ASSERT_EQ(keyboard.Collections().size(), 2u);
    EXPECT_EQ(keyboard.Collections()[0].name, "kbd2#vid_320f&pid_5078&mi_01&col04");
    EXPECT_EQ(keyboard.Collections()[1].name, "kbd2#vid_320f&pid_5078&mi_01&col03");
    const Packet hello = keyboard.Hello(0);
    ASSERT_GE(hello.size(), 14u);
    EXPECT_EQ(std::string(hello.begin(), hello.begin() + 4), "VHID");
    EXPECT_EQ(hello[4] | hello[5] << 8, 1);
    EXPECT_EQ(hello[6] | hello[7] << 8, 0x320F);
    EXPECT_EQ(hello[8] | hello[9] << 8, 0x5078);
    EXPECT_EQ(static_cast<size_t>(hello[12] | hello[13] << 8), hello.size() - 14);
    EXPECT_EQ(Packet(hello.begin() + 14, hello.end()), VendorCollectionDescriptor());
    EXPECT_EQ(keyboard.NotificationCollection(), 1);
    EXPECT_EQ(VirtualDevice::NotificationReport(0x1103), (Packet{kNotifyReportId, 0x03, 0x11}));

    VirtualDevice headset(DeviceKind::Headset, 0);
    ASSERT_EQ(headset.Collections().size(), 1u);
    EXPECT_EQ(headset.Collections()[0].name, "hs0#vid_0c76&pid_1630&mi_03");
    expectFramed(headset.OnOutputReport(0, request(0x33, 4).data(), 64).at(0), 0x33, 0);

    VirtualDevice mouse(DeviceKind::MouseReceiver, 1);
    EXPECT_EQ(mouse.Collections()[0].name, "msr1#vid_320f&pid_221d&mi_01&col04");
    Packet bad = request(0x10);
    bad[2] ^= 1;
    expectFramed(mouse.OnOutputReport(0, bad.data(), 64).at(0), 0x10, 0xFF);

    DeviceKind kind;
    EXPECT_TRUE(ParseDeviceKind("mouse-receiver", kind));
    EXPECT_EQ(kind, DeviceKind::MouseReceiver);
    EXPECT_FALSE(ParseDeviceKind("toaster", kind));
}

} // namespace
} // namespace talyx::vdev
