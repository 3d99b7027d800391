#include "device/transport/DeviceChannel.h"

#include <thread>

#include <gtest/gtest.h>

#include "FakeHid.h"
#include "platform/Debug.h"

namespace talyx {
namespace {

using test::FakeBackend;
using test::FakeLink;
using test::Hex;
using test::Packet;
using test::Reply;

const char* kWired = "kbd0#vid_320f&pid_5078&mi_01&col04";
const char* kWireless = "kbr0#vid_320f&pid_50ec&mi_01&col04";

class ChannelTest : public ::testing::Test {
protected:
    void SetUp() override {
        backend = std::make_shared<FakeBackend>();
        wired = backend->link(kWired);
        wireless = backend->link(kWireless);
        channel = std::make_unique<DeviceChannel>(backend);
        ASSERT_TRUE(channel->OpenInterface(false, kWired));
    }
    void goWireless() { ASSERT_TRUE(channel->SwitchInterface(true, kWireless)); }

    std::shared_ptr<FakeBackend> backend;
    std::shared_ptr<FakeLink> wired;
    std::shared_ptr<FakeLink> wireless;
    std::unique_ptr<DeviceChannel> channel;
};

uint16_t checksumOf(const Packet& p) {
    uint32_t sum = 0;
    for (size_t i = 3; i < 64; ++i)
        sum += p[i];
    return static_cast<uint16_t>(sum);
}

TEST_F(ChannelTest, ShortRequestGoesOutAsSixtyFourBytesWithChecksumOverBytes3To63) {
    wired->responder = test::EchoSuccess;
    // A two-byte record write: 8 header bytes and 2 data bytes, 54 bytes of padding.
    const uint8_t data[2] = {0x12, 0xF0};
    ASSERT_EQ(channel->Cmd06Write(0x0123, data, 2), kResultSuccess);
    const auto sent = wired->writtenPackets();
    ASSERT_EQ(sent.size(), 1u);
    const Packet& p = sent[0];
    ASSERT_EQ(p.size(), 64u) << Hex(p);
    EXPECT_EQ(p[0], 0x04);
    EXPECT_EQ(p[3], 0x06);
    EXPECT_EQ(p[4], 2);
    EXPECT_EQ(p[5], 0x23);
    EXPECT_EQ(p[6], 0x01);
    EXPECT_EQ(p[7], 0);
    EXPECT_EQ(p[8], 0x12);
    EXPECT_EQ(p[9], 0xF0);
    for (size_t i = 10; i < 64; ++i)
        EXPECT_EQ(p[i], 0) << "byte " << i << ": " << Hex(p);
    const uint16_t sum = 0x06 + 2 + 0x23 + 0x01 + 0x12 + 0xF0;
    EXPECT_EQ(p[1], sum & 0xFF) << Hex(p);
    EXPECT_EQ(p[2], sum >> 8) << Hex(p);

    // A full chunk of 0xFF: the sum needs both bytes and includes byte 63.
    Packet full(56, 0xFF);
    ASSERT_EQ(channel->Cmd15Write(full.data(), full.size()), kResultSuccess);
    const Packet q = wired->writtenPackets().back();
    EXPECT_EQ(q[63], 0xFF);
    EXPECT_EQ(q[1] | q[2] << 8, checksumOf(q)) << Hex(q);
    EXPECT_EQ(checksumOf(q), 0x15 + 56 + 56 * 0xFF);

    // FramePacket pads a 10-byte request the same way.
    const uint8_t request[10] = {0x04, 0, 0, 0x03, 0x22, 0, 0, 0, 0xAB, 0xCD};
    uint8_t framed[64];
    DeviceChannel::FramePacket(request, sizeof request, framed);
    Packet f(framed, framed + 64);
    EXPECT_EQ(f[1] | f[2] << 8, 0x03 + 0x22 + 0xAB + 0xCD) << Hex(f);
    for (size_t i = 10; i < 64; ++i)
        EXPECT_EQ(f[i], 0);
}

TEST_F(ChannelTest, StaleReplyIsSkippedOnceAndASecondOneEndsTheTransaction) {
    // Reply of an earlier 0x1A still queued, then ours.
    wired->replies = {Reply(0x1A, 0, {9, 9, 9}), Reply(0x05, 0, {1, 2, 3, 4})};
    uint8_t out[4] = {};
    EXPECT_EQ(channel->Cmd05Read(0, out, 4), kResultSuccess);
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[3], 4);
    EXPECT_EQ(wired->reads, 2);

    // Two stale replies: the second read ends it; the data of someone else's reply is
    // not handed out as ours.
    wired->reads = 0;
    wired->replies = {Reply(0x1A, 0, {9}), Reply(0x1B, 0, {8}), Reply(0x05, 0, {7})};
    uint8_t again[1] = {0x55};
    EXPECT_EQ(channel->Cmd05Read(0, again, 1), kResultNoReply);
    EXPECT_EQ(again[0], 0x55);
    EXPECT_EQ(wired->reads, 2);
    EXPECT_EQ(wired->replies.size(), 1u);
}

TEST_F(ChannelTest, UnreachableReplyIsAMismatchWiredAndMinus101Wireless) {
    wired->replies = {Reply(0xAA), Reply(0x01)};
    EXPECT_EQ(channel->Cmd01BeginBatch(), kResultSuccess);
    EXPECT_EQ(wired->reads, 2);

    goWireless();
    wireless->replies = {Reply(0xAA), Reply(0x01)};
    EXPECT_EQ(channel->Cmd01BeginBatch(), kResultUnreachable);
    EXPECT_EQ(wireless->reads, 1);
}

TEST_F(ChannelTest, ResultCodes) {
    wired->replies = {Reply(0x01, 0xFF)};
    EXPECT_EQ(channel->Cmd01BeginBatch(), kResultStatusFF);
    wired->replies = {Reply(0x01, 0xFE)};
    EXPECT_EQ(channel->Cmd01BeginBatch(), kResultStatusFE);
    // No reply at all: both reads time out.
    EXPECT_EQ(channel->Cmd01BeginBatch(), kResultNoReply);

    const Packet block(512, 0);
    const size_t before = wired->writtenPackets().size();
    EXPECT_EQ(channel->Cmd09WriteBlock(1, block.data()), kResultBadBank);
    EXPECT_EQ(channel->Cmd27WriteBlock(2, block.data()), kResultBadBank);
    EXPECT_EQ(wired->writtenPackets().size(), before);

    wired->failWrites = true;
    EXPECT_EQ(channel->Cmd1CLightControl(), kResultWriteFailed);
    wired->failWrites = false;

    channel->SetSuspended(true);
    EXPECT_EQ(channel->Cmd1CLightControl(), kResultNoReply);
    channel->SetSuspended(false);
    channel->SetOpen(false);
    EXPECT_EQ(channel->Cmd1CLightControl(), kResultNoReply);
    EXPECT_EQ(wired->writtenPackets().size(), before);
}

TEST_F(ChannelTest, ChunkingFollowsTheConnectionMode) {
    wired->responder = test::EchoSuccess;
    Packet image(130);
    for (size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<uint8_t>(i);
    ASSERT_EQ(channel->Cmd15Write(image.data(), image.size()), kResultSuccess);
    auto sent = wired->writtenPackets();
    ASSERT_EQ(sent.size(), 3u);
    const int lengths[] = {56, 56, 18};
    const int offsets[] = {0, 56, 112};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(sent[i][4], lengths[i]) << Hex(sent[i]);
        EXPECT_EQ(sent[i][5] | sent[i][6] << 8, offsets[i]) << Hex(sent[i]);
        EXPECT_EQ(sent[i][8], offsets[i]) << Hex(sent[i]);
    }

    goWireless();
    EXPECT_EQ(channel->ChunkSize(), 24);
    wireless->responder = test::EchoSuccess;
    ASSERT_EQ(channel->Cmd0BWritePage(2, image.data(), 50), kResultSuccess);
    sent = wireless->writtenPackets();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0][5] | sent[0][6] << 8, 1024);
    EXPECT_EQ(sent[2][4], 2);
    EXPECT_EQ(sent[2][5] | sent[2][6] << 8, 1024 + 48);
}

TEST_F(ChannelTest, ChunkedReadReassemblesAndStopsAtTheFirstFailure) {
    // Each reply carries the offset it was asked for as data.
    wired->responder = [](const Packet& req) {
        Packet data(req[4]);
        for (size_t i = 0; i < data.size(); ++i)
            data[i] = static_cast<uint8_t>((req[5] | req[6] << 8) + i);
        return std::vector<Packet>{Reply(req[3], 0, data)};
    };
    ASSERT_TRUE(channel->SetBlockSize(3 * 104));
    Packet codes(312);
    ASSERT_EQ(channel->Cmd07ReadBlock(codes.data()), kResultSuccess);
    for (size_t i = 0; i < codes.size(); ++i)
        ASSERT_EQ(codes[i], static_cast<uint8_t>(i)) << i;
    Packet leds(104);
    ASSERT_EQ(channel->Cmd1BReadThirdBlock(leds.data()), kResultSuccess);
    EXPECT_EQ(wired->writtenPackets().back()[4], 104 - 56);

    int chunk = 0;
    wired->responder = [&chunk](const Packet& req) {
        return std::vector<Packet>{Reply(req[3], ++chunk == 2 ? 0xFE : 0)};
    };
    const size_t before = wired->writtenPackets().size();
    EXPECT_EQ(channel->Cmd07ReadBlock(codes.data()), kResultStatusFE);
    EXPECT_EQ(wired->writtenPackets().size(), before + 2);
}

TEST_F(ChannelTest, BlockSizeAbove512IsRefused) {
    EXPECT_EQ(channel->BlockSize(), 512);
    EXPECT_FALSE(channel->SetBlockSize(513));
    EXPECT_EQ(channel->BlockSize(), 512);
    EXPECT_TRUE(channel->SetBlockSize(312));
    EXPECT_EQ(channel->BlockSize(), 312);
}

TEST_F(ChannelTest, FrameChunksAreDroppedWhileAnotherTransactionRuns) {
    wired->responder = test::EchoSuccess;
    wired->hold = true;
    std::thread command([this] { channel->Cmd01BeginBatch(); });
    wired->waitUntilHolding();
    ASSERT_TRUE(channel->IsBusy());

    DebugCapture capture;
    const Packet frame(384, 0x40);
    EXPECT_EQ(channel->Cmd12WriteFrame(frame.data(), frame.size()), kResultSuccess);
    EXPECT_EQ(capture.count("放弃灯光数据"), 7u); // 384 bytes in 56-byte chunks
    wired->release();
    command.join();
    for (const Packet& p : wired->writtenPackets())
        EXPECT_NE(p[3], 0x12) << Hex(p);
    EXPECT_FALSE(channel->IsBusy());

    // Idle channel: every chunk goes out, quietly.
    capture.clear();
    ASSERT_EQ(channel->Cmd12WriteFrame(frame.data(), frame.size()), kResultSuccess);
    size_t frames = 0;
    for (const Packet& p : wired->writtenPackets())
        frames += p[3] == 0x12;
    EXPECT_EQ(frames, 7u);
    EXPECT_TRUE(capture.texts().empty());
}

TEST_F(ChannelTest, AFrameGoesOutBackToBackAndEveryReplyIsTakenWhateverItSays) {
    // Each chunk as one transaction would send it, all written before any reply is read.
    std::vector<int> readsAtWrite;
    int chunk = 0;
    int failAt = -1;
    wired->responder = [&](const Packet& req) {
        readsAtWrite.push_back(wired->reads);
        return std::vector<Packet>{Reply(req[3], chunk++ == failAt ? 0xFF : 0)};
    };
    Packet frame(384);
    for (size_t i = 0; i < frame.size(); ++i)
        frame[i] = static_cast<uint8_t>(i * 7);
    ASSERT_EQ(channel->Cmd12WriteFrame(frame.data(), frame.size()), kResultSuccess);
    const auto sent = wired->writtenPackets();
    ASSERT_EQ(sent.size(), 7u);
    for (size_t k = 0; k < sent.size(); ++k) {
        const Packet& p = sent[k];
        const size_t length = k < 6 ? 56 : 48;
        EXPECT_EQ(p[3], 0x12) << Hex(p);
        EXPECT_EQ(p[4], length) << Hex(p);
        EXPECT_EQ(p[5] | p[6] << 8, int(56 * k)) << Hex(p);
        EXPECT_EQ(p[1] | p[2] << 8, checksumOf(p)) << Hex(p);
        EXPECT_TRUE(std::equal(p.begin() + 8, p.begin() + 8 + length, frame.begin() + 56 * k)) << Hex(p);
        EXPECT_EQ(readsAtWrite[k], 0) << "chunk " << k << " waited for a reply first";
    }
    EXPECT_EQ(wired->reads, 7);
    EXPECT_TRUE(wired->replies.empty());

    // In two halves (the frame thread): on the cable the replies wait for Finish; through
    // the receiver the frame ends at once.
    const int readsBeforeBegin = wired->reads;
    ASSERT_EQ(channel->Cmd12BeginFrame(frame.data(), frame.size()), kResultSuccess);
    EXPECT_TRUE(channel->FramePending());
    EXPECT_TRUE(channel->IsBusy());
    EXPECT_EQ(wired->reads, readsBeforeBegin);
    EXPECT_EQ(channel->Cmd12FinishFrame(), kResultSuccess);
    EXPECT_FALSE(channel->FramePending());
    EXPECT_FALSE(channel->IsBusy());
    EXPECT_EQ(wired->reads, readsBeforeBegin + 7);
    EXPECT_EQ(channel->Cmd12FinishFrame(), kResultSuccess) << "nothing pending";

    // An error status in the middle is the frame's result, and the replies after it are
    // still taken, so the next command reads its own.
    chunk = 0;
    failAt = 2;
    EXPECT_EQ(channel->Cmd12WriteFrame(frame.data(), frame.size()), kResultStatusFF);
    EXPECT_TRUE(wired->replies.empty());
    wired->responder = test::EchoSuccess;
    EXPECT_EQ(channel->Cmd1CLightControl(), kResultSuccess);

    // No reply: 0, and the channel does not wait for the chunks after it.
    wired->responder = nullptr;
    const int readsBefore = wired->reads;
    EXPECT_EQ(channel->Cmd12WriteFrame(frame.data(), frame.size()), kResultNoReply);
    EXPECT_LE(wired->reads - readsBefore, 2) << "one reply read and the retry of the byte-3 check";
    EXPECT_EQ(channel->LastStatus(), HidStatus::TimedOut);

    goWireless();
    wireless->responder = test::EchoSuccess;
    ASSERT_EQ(channel->Cmd12BeginFrame(frame.data(), frame.size()), kResultSuccess);
    EXPECT_FALSE(channel->FramePending());
    EXPECT_EQ(wireless->reads, 16) << "384 bytes in 24-byte chunks, all answered";
    ASSERT_TRUE(channel->SwitchInterface(false, kWired));

    // A write that fails: -1; a closed or suspended channel: 0 without a write.
    wired->failWrites = true;
    EXPECT_EQ(channel->Cmd12WriteFrame(frame.data(), frame.size()), kResultWriteFailed);
    wired->failWrites = false;
    const size_t written = wired->writtenPackets().size();
    channel->SetSuspended(true);
    EXPECT_EQ(channel->Cmd12WriteFrame(frame.data(), frame.size()), kResultNoReply);
    channel->SetSuspended(false);
    channel->SetOpen(false);
    EXPECT_EQ(channel->Cmd12WriteFrame(frame.data(), frame.size()), kResultNoReply);
    EXPECT_EQ(wired->writtenPackets().size(), written);
}

TEST_F(ChannelTest, TimeOutsAndDebugOutput) {
    wired->responder = test::EchoSuccess;
    DebugCapture capture;
    ASSERT_EQ(channel->Cmd1CLightControl(), kResultSuccess);
    const auto texts = capture.texts();
    ASSERT_EQ(texts.size(), 4u);
    EXPECT_EQ(texts[0], "命令");
    EXPECT_EQ(texts[1].substr(0, 24), "04 1c 00 1c   00 00 00 0");
    EXPECT_EQ(texts[2], "返回");
    EXPECT_EQ(std::count(texts[1].begin(), texts[1].end(), '\n'), 2);
    EXPECT_EQ(wired->writeTimeouts.back(), 1000);
    EXPECT_EQ(wired->readTimeouts.back(), 1000);

    goWireless();
    wireless->responder = test::EchoSuccess;
    ASSERT_EQ(channel->Cmd1CLightControl(), kResultSuccess);
    EXPECT_EQ(wireless->writeTimeouts.back(), 5000);
    EXPECT_EQ(wireless->readTimeouts.back(), 5000);
    const Packet frame(24, 1);
    capture.clear();
    ASSERT_EQ(channel->Cmd12WriteFrame(frame.data(), frame.size()), kResultSuccess);
    EXPECT_EQ(wireless->writeTimeouts.back(), 500);
    EXPECT_EQ(wireless->readTimeouts.back(), 500);
    EXPECT_TRUE(capture.texts().empty());
}

TEST_F(ChannelTest, OnlineQueryAndStatus) {
    EXPECT_TRUE(channel->CmdAAIsOnline());
    EXPECT_TRUE(wired->writtenPackets().empty());

    goWireless();
    wireless->replies = {Reply(0xAA, 0, {0xFF})};
    EXPECT_TRUE(channel->CmdAAIsOnline());
    wireless->replies = {Reply(0xAA, 0, {0x00})};
    EXPECT_FALSE(channel->CmdAAIsOnline());
    wireless->replies = {Reply(0xAA, 0xFF, {0xFF})};
    EXPECT_FALSE(channel->CmdAAIsOnline());
    EXPECT_FALSE(channel->CmdAAIsOnline()); // no reply

    wireless->replies = {Reply(0x1A, 0, {1, 2, 3, 4, 5, 6, 7})};
    uint8_t status[6] = {};
    ASSERT_EQ(channel->Cmd1AReadStatus(status, 6), kResultSuccess);
    EXPECT_EQ(status[5], 6);
    const Packet sent = wireless->writtenPackets().back();
    EXPECT_EQ(sent[4], 6) << Hex(sent);

    wireless->replies = {Reply(0x03, 0, Packet{0, 1, 2, 3, 4, 104, 32}),
                         Reply(0x03, 0, {0, 0, 0, 0, 0, 0, 0, 0, 0x78, 0x50})};
    uint8_t info[32] = {};
    uint16_t tail = 0;
    ASSERT_EQ(channel->Cmd03ReadInfo(info, &tail), kResultSuccess);
    EXPECT_EQ(info[5], 104);
    EXPECT_EQ(info[6], 32);
    EXPECT_EQ(tail, 0x5078);
}

} // namespace
} // namespace talyx
