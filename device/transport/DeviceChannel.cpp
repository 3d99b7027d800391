#include "device/transport/DeviceChannel.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "device/transport/HidBackend.h"
#include "platform/Debug.h"

namespace talyx {
namespace {

constexpr uint8_t kCmdBegin = 0x01;
constexpr uint8_t kCmdEnd = 0x02;
constexpr uint8_t kCmdInfo = 0x03;
constexpr uint8_t kCmdReadRecord = 0x05;
constexpr uint8_t kCmdWriteRecord = 0x06;
constexpr uint8_t kCmdReadBlock = 0x07;
constexpr uint8_t kCmdWriteBlock = 0x09;
constexpr uint8_t kCmdReadPage = 0x0A;
constexpr uint8_t kCmdWritePage = 0x0B;
constexpr uint8_t kCmdFrame = 0x12;
constexpr uint8_t kCmdMacros = 0x15;
constexpr uint8_t kCmd17 = 0x17;
constexpr uint8_t kCmdStatus = 0x1A;
constexpr uint8_t kCmdReadThird = 0x1B;
constexpr uint8_t kCmdLightControl = 0x1C;
constexpr uint8_t kCmd27 = 0x27;
constexpr uint8_t kCmdOnline = 0xAA;

constexpr size_t kInfoSize = 34;

// Builds the header of a request; data and checksum are filled by the caller.
void startPacket(uint8_t* packet, uint8_t command) {
    std::memset(packet, 0, DeviceChannel::kPacketSize);
    packet[0] = DeviceChannel::kReportId;
    packet[3] = command;
}

void setChunk(uint8_t* packet, size_t length, int offset) {
    packet[4] = static_cast<uint8_t>(length);
    packet[5] = static_cast<uint8_t>(offset & 0xFF);
    packet[6] = static_cast<uint8_t>((offset >> 8) & 0xFF);
}

void sealPacket(uint8_t* packet) {
    const uint16_t sum = DeviceChannel::Checksum(packet);
    packet[1] = static_cast<uint8_t>(sum & 0xFF);
    packet[2] = static_cast<uint8_t>(sum >> 8);
}

} // namespace

DeviceChannel::DeviceChannel() = default;

DeviceChannel::DeviceChannel(std::shared_ptr<HidBackend> backend) : m_interfaceA(backend), m_interfaceB(backend) {}

uint16_t DeviceChannel::Checksum(const uint8_t* packet) {
    uint32_t sum = 0;
    for (size_t i = 3; i < kPacketSize; ++i)
        sum += packet[i];
    return static_cast<uint16_t>(sum & 0xFFFF);
}

void DeviceChannel::FramePacket(const uint8_t* request, size_t length, uint8_t* packet) {
    std::memset(packet, 0, kPacketSize);
    if (request)
        std::memcpy(packet, request, std::min(length, kPacketSize));
    sealPacket(packet);
}

std::string DeviceChannel::HexLines(const uint8_t* packet) {
    // Groups of four bytes; the first three groups are set apart by three spaces, the
    // rest by two, which is how the lines have always been laid out.
    std::string out;
    char hex[4];
    for (size_t line = 0; line < 2; ++line) {
        for (size_t i = 0; i < 32; ++i) {
            const size_t group = i / 4;
            if (i > 0)
                out += (i % 4 == 0) ? (group <= 3 ? "   " : "  ") : " ";
            std::snprintf(hex, sizeof hex, "%02x", packet[line * 32 + i]);
            out += hex;
        }
        out += "\n";
    }
    return out;
}

int DeviceChannel::Transact(const uint8_t* request, size_t requestLength, uint8_t* reply, size_t replyLength,
                            size_t* bytesRead) {
    return transact(request, requestLength, reply, replyLength, bytesRead, false);
}

int DeviceChannel::TransactQuiet(const uint8_t* request, size_t requestLength, uint8_t* reply, size_t replyLength,
                                 size_t* bytesRead) {
    return transact(request, requestLength, reply, replyLength, bytesRead, true);
}

int DeviceChannel::transact(const uint8_t* request, size_t requestLength, uint8_t* reply, size_t replyLength,
                            size_t* bytesRead, bool quiet) {
    // A counter rather than a flag: a frame transaction and a command may overlap, and
    // the first to end must not make the channel look idle while the other still runs.
    ++m_busy;
    if (bytesRead)
        *bytesRead = 0;
    if (!m_open.load() || m_suspended.load()) {
        --m_busy;
        return kResultNoReply;
    }

    uint8_t packet[kPacketSize];
    std::memset(packet, 0, sizeof packet);
    if (request)
        std::memcpy(packet, request, std::min(requestLength, kPacketSize));
    if (!quiet) {
        DebugOutput("命令");
        DebugOutput(HexLines(packet));
    }

    const bool wireless = m_wireless.load();
    HidDevice& hid = wireless ? m_interfaceB : m_interfaceA;
    const int timeout = wireless ? (quiet ? kQuietWirelessTimeoutMs : kWirelessTimeoutMs) : kWiredTimeoutMs;

    HidStatus status;
    {
        std::lock_guard<std::mutex> io(m_ioLock);
        size_t count = 0;
        status = hid.Write(packet, kPacketSize, &count, timeout);
    }
    m_lastStatus.store(status);
    if (TransferResult(Transfer::Write, status) != kResultSuccess) {
        --m_busy;
        return TransferResult(Transfer::Write, status);
    }

    uint8_t in[kPacketSize];
    size_t got = 0;
    int result;
    {
        std::lock_guard<std::mutex> io(m_ioLock);
        result = readReply(hid, packet[3], timeout, in, &got, status);
    }

    if (!quiet) {
        DebugOutput("返回");
        DebugOutput(HexLines(in));
    }
    if (reply && replyLength > 0) {
        const size_t n = std::min(replyLength, kPacketSize);
        std::memcpy(reply, in, n);
        if (bytesRead)
            *bytesRead = std::min(got, n);
    }
    --m_busy;
    return result;
}

int DeviceChannel::readReply(HidDevice& hid, uint8_t command, int timeout, uint8_t* in, size_t* got,
                             HidStatus& status) {
    const bool wireless = &hid == &m_interfaceB;
    int result = kResultNoReply;
    // The reply to a request that timed out earlier may still be queued: skip one reply
    // that carries another command id and take the next.
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::memset(in, 0, kPacketSize);
        *got = 0;
        status = hid.Read(in, kPacketSize, got, timeout);
        result = TransferResult(Transfer::Read, status);
        if (in[3] == command)
            break;
        if (wireless && in[3] == kCmdOnline) {
            // The receiver answers in place of a keyboard that is out of reach.
            result = kResultUnreachable;
            break;
        }
        if (attempt == 1 && result == kResultSuccess) {
            // Two replies of other requests in a row: this request's reply never
            // came, and the data in hand belongs to someone else.
            DebugOutputF("应答不匹配 %02x / %02x\n", command, in[3]);
            result = kResultNoReply;
        }
    }
    m_lastStatus.store(status);
    return result;
}

int DeviceChannel::TransferResult(Transfer transfer, HidStatus status) {
    // The exchange keeps its codes coarse: the caller learns that the request did not go
    // out (-1) or that no reply came (0); the transport's reason stays in LastStatus().
    if (status == HidStatus::Ok)
        return kResultSuccess;
    return transfer == Transfer::Write ? kResultWriteFailed : kResultNoReply;
}

int DeviceChannel::statusResult(int result, const uint8_t* reply) {
    if (result != kResultSuccess)
        return result;
    if (reply[7] == 0xFF)
        return kResultStatusFF;
    if (reply[7] == 0xFE)
        return kResultStatusFE;
    return kResultSuccess;
}

int DeviceChannel::exchange(uint8_t* packet, uint8_t* reply, bool quiet) {
    sealPacket(packet);
    std::memset(reply, 0, kPacketSize);
    const int result = quiet ? TransactQuiet(packet, kPacketSize, reply, kPacketSize, nullptr)
                             : Transact(packet, kPacketSize, reply, kPacketSize, nullptr);
    return statusResult(result, reply);
}

int DeviceChannel::writeChunked(uint8_t command, int baseOffset, const uint8_t* data, size_t n) {
    std::lock_guard<std::mutex> lock(m_commandLock);
    const size_t chunk = m_chunkSize.load();
    uint8_t packet[kPacketSize];
    uint8_t reply[kPacketSize];
    for (size_t position = 0; position < n; position += chunk) {
        const size_t length = std::min(chunk, n - position);
        startPacket(packet, command);
        setChunk(packet, length, baseOffset + static_cast<int>(position));
        std::memcpy(packet + kDataOffset, data + position, length);
        const int result = exchange(packet, reply, false);
        if (result != kResultSuccess)
            return result;
    }
    return kResultSuccess;
}

int DeviceChannel::readChunked(uint8_t command, int baseOffset, uint8_t* out, size_t n) {
    std::lock_guard<std::mutex> lock(m_commandLock);
    const size_t chunk = m_chunkSize.load();
    uint8_t packet[kPacketSize];
    uint8_t reply[kPacketSize];
    for (size_t position = 0; position < n; position += chunk) {
        const size_t length = std::min(chunk, n - position);
        startPacket(packet, command);
        setChunk(packet, length, baseOffset + static_cast<int>(position));
        const int result = exchange(packet, reply, false);
        if (result != kResultSuccess)
            return result;
        std::memcpy(out + position, reply + kDataOffset, length);
    }
    return kResultSuccess;
}

int DeviceChannel::Cmd01BeginBatch() {
    std::lock_guard<std::mutex> lock(m_commandLock);
    uint8_t packet[kPacketSize];
    uint8_t reply[kPacketSize];
    startPacket(packet, kCmdBegin);
    return exchange(packet, reply, false);
}

int DeviceChannel::Cmd02EndBatch(int settle) {
    if (settle)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::lock_guard<std::mutex> lock(m_commandLock);
    uint8_t packet[kPacketSize];
    uint8_t reply[kPacketSize];
    startPacket(packet, kCmdEnd);
    return exchange(packet, reply, false);
}

int DeviceChannel::Cmd1CLightControl() {
    std::lock_guard<std::mutex> lock(m_commandLock);
    uint8_t packet[kPacketSize];
    uint8_t reply[kPacketSize];
    startPacket(packet, kCmdLightControl);
    return exchange(packet, reply, false);
}

int DeviceChannel::Cmd03ReadInfo34(uint8_t* info34) {
    return readChunked(kCmdInfo, 0, info34, kInfoSize);
}

int DeviceChannel::Cmd03ReadInfo(uint8_t* info32, uint16_t* tail) {
    uint8_t info[kInfoSize] = {};
    const int result = Cmd03ReadInfo34(info);
    if (result != kResultSuccess)
        return result;
    if (info32)
        std::memcpy(info32, info, 32);
    if (tail)
        *tail = static_cast<uint16_t>(info[32] | (info[33] << 8));
    return result;
}

int DeviceChannel::Cmd09WriteBlock(int bank, const uint8_t* block) {
    if (bank != 0)
        return kResultBadBank;
    return writeChunked(kCmdWriteBlock, bank * kPageSize, block, m_blockSize.load());
}

int DeviceChannel::Cmd27WriteBlock(int bank, const uint8_t* block) {
    if (bank != 0)
        return kResultBadBank;
    return writeChunked(kCmd27, bank * kPageSize, block, m_blockSize.load());
}

int DeviceChannel::Cmd15Write(const uint8_t* data, size_t n) {
    return writeChunked(kCmdMacros, 0, data, n);
}

int DeviceChannel::Cmd17Write(const uint8_t* data, size_t n) {
    return writeChunked(kCmd17, 0, data, n);
}

int DeviceChannel::Cmd07ReadBlock(uint8_t* out) {
    return readChunked(kCmdReadBlock, 0, out, m_blockSize.load());
}

int DeviceChannel::Cmd1BReadThirdBlock(uint8_t* out) {
    return readChunked(kCmdReadThird, 0, out, m_blockSize.load() / 3);
}

int DeviceChannel::Cmd0AReadPage(int page, uint8_t* out, size_t n) {
    return readChunked(kCmdReadPage, page * kPageSize, out, n);
}

int DeviceChannel::Cmd0BWritePage(int page, const uint8_t* data, size_t n) {
    return writeChunked(kCmdWritePage, page * kPageSize, data, n);
}

int DeviceChannel::Cmd12WriteFrame(const uint8_t* data, size_t n) {
    std::lock_guard<std::mutex> lock(m_lightLock);
    PendingFrame frame;
    const int written = writeFrame(data, n, frame);
    const int result = collectFrameReplies(frame, true);
    // The first failure in the order of the wire: a reply before the write that failed.
    return result != kResultSuccess ? result : written;
}

int DeviceChannel::Cmd12BeginFrame(const uint8_t* data, size_t n) {
    if (m_pending.active)
        Cmd12FinishFrame();
    std::lock_guard<std::mutex> lock(m_lightLock);
    const int written = writeFrame(data, n, m_pending);
    // Through the receiver the frame ends now: holding the I/O lock for its 50 ms period
    // would keep every command waiting that long. So it does after a failed write, or when
    // every chunk was dropped.
    if (written == kResultSuccess && m_pending.outstanding > 0 && m_pending.timeout == kWiredTimeoutMs)
        return kResultSuccess;
    const int result = collectFrameReplies(m_pending, true);
    return result != kResultSuccess ? result : written;
}

int DeviceChannel::Cmd12FinishFrame() {
    return collectFrameReplies(m_pending, false);
}

int DeviceChannel::writeFrame(const uint8_t* data, size_t n, PendingFrame& frame) {
    // The frame's own transaction (ended by collectFrameReplies); any count above it is
    // someone else's.
    ++m_busy;
    frame.active = true;
    const auto othersBusy = [this] { return m_busy.load() > 1; };
    const size_t chunk = m_chunkSize.load();
    const bool wireless = m_wireless.load();
    frame.hid = wireless ? &m_interfaceB : &m_interfaceA;
    frame.timeout = wireless ? kQuietWirelessTimeoutMs : kWiredTimeoutMs;
    frame.outstanding = 0;

    // Every chunk is written before any reply is waited for, under one hold of the I/O
    // lock, so no other request can slip in between and take a reply of the frame. The
    // bytes and their order are those of one transaction per chunk; only the waits are
    // fewer. That is safe on a real device: a hidraw write of an output report returns
    // once the device has taken it (a device that is still busy with the last request
    // refuses the next until it is done, and the host tries again at the next poll), so
    // back-to-back writes reach the firmware one at a time and in order, and its replies
    // wait in the kernel's queue of input reports (64 per reader, more than the 16 chunks
    // of the longest frame) until they are read.
    frame.io = std::unique_lock<std::mutex>(m_ioLock, std::defer_lock);
    uint8_t packet[kPacketSize];
    int writeResult = kResultSuccess;
    for (size_t position = 0; position < n; position += chunk) {
        const size_t length = std::min(chunk, n - position);
        if (othersBusy()) {
            DebugOutput("放弃灯光数据");
            continue;
        }
        if (!m_open.load() || m_suspended.load()) {
            writeResult = kResultNoReply;
            break;
        }
        if (!frame.io.owns_lock()) {
            frame.io.lock();
            // A command that took the lock first may now wait for its reply.
            if (othersBusy()) {
                frame.io.unlock();
                DebugOutput("放弃灯光数据");
                continue;
            }
        }
        startPacket(packet, kCmdFrame);
        setChunk(packet, length, static_cast<int>(position));
        std::memcpy(packet + kDataOffset, data + position, length);
        sealPacket(packet);
        size_t count = 0;
        const HidStatus status = frame.hid->Write(packet, kPacketSize, &count, frame.timeout);
        m_lastStatus.store(status);
        writeResult = TransferResult(Transfer::Write, status);
        if (writeResult != kResultSuccess)
            break;
        ++frame.outstanding;
    }
    frame.written = std::chrono::steady_clock::now();
    return writeResult;
}

int DeviceChannel::collectFrameReplies(PendingFrame& frame, bool sleepFirst) {
    if (!frame.active)
        return kResultSuccess;
    const size_t outstanding = frame.outstanding;
    const int result = outstanding > 0 ? readFrameReplies(frame, sleepFirst) : kResultSuccess;
    frame.outstanding = 0;
    if (frame.io.owns_lock())
        frame.io.unlock();
    frame.active = false;
    --m_busy;
    return result;
}

int DeviceChannel::readFrameReplies(PendingFrame& frame, bool sleepFirst) {
    HidDevice& hid = *frame.hid;
    const size_t outstanding = frame.outstanding;
    const int timeout = frame.timeout;
    // The replies come one per poll of the device's IN endpoint. Rather than wake for each,
    // sleep once until the last is due, as the frames before have shown it, then take them
    // all. The guess stays just under the truth: a frame whose replies were all there
    // shrinks it a little, one that still had to wait for a reply raises it a little, but
    // never above what that frame showed, so a thread that was kept from running (which
    // makes a frame look slow) does not make the next frames sleep longer than they need.
    // A reply that was not there yet is waited for as before.
    // A frame finished a period later finds its replies there and does not sleep.
    using Clock = std::chrono::steady_clock;
    const auto written = frame.written;
    if (sleepFirst && outstanding > 1 && m_replyDue.count() > 0)
        std::this_thread::sleep_until(written + m_replyDue);
    int result = kResultSuccess;
    bool waited = false;
    Clock::time_point last = written;
    uint8_t in[kPacketSize];
    size_t got = 0;
    for (size_t i = 0; i < outstanding; ++i) {
        const auto before = Clock::now();
        HidStatus status;
        const int reply = statusResult(readReply(hid, kCmdFrame, timeout, in, &got, status), in);
        last = Clock::now();
        waited = waited || last - before > kReplyWaitedUs;
        if (result == kResultSuccess)
            result = reply;
        // A device that did not answer is not waited for again; one that answered with an
        // error still answers the chunks after it, and those replies must not be left for
        // the next request to find.
        if (status != HidStatus::Ok)
            break;
    }
    if (result != kResultSuccess || outstanding < 2 || !sleepFirst)
        return result;
    const auto shown = std::chrono::duration_cast<std::chrono::microseconds>(last - written);
    if (m_replyDue.count() == 0)
        m_replyDue = shown / 2; // a first guess from below: the rule above raises it
    else if (waited)
        m_replyDue = std::min(shown, m_replyDue + m_replyDue / 50 + kReplyStepUs);
    else
        m_replyDue -= m_replyDue / 200 + kReplyStepUs;
    m_replyDue = std::clamp(m_replyDue, std::chrono::microseconds(0), kReplyDueLimitUs);
    return result;
}

int DeviceChannel::Cmd06Write(int offset, const uint8_t* data, size_t n) {
    return writeChunked(kCmdWriteRecord, offset, data, n);
}

int DeviceChannel::Cmd05Read(int offset, uint8_t* out, size_t n) {
    return readChunked(kCmdReadRecord, offset, out, n);
}

int DeviceChannel::Cmd1AReadStatus(uint8_t* out, size_t n) {
    std::lock_guard<std::mutex> lock(m_commandLock);
    n = std::min<size_t>(n, m_chunkSize.load());
    uint8_t packet[kPacketSize];
    uint8_t reply[kPacketSize];
    startPacket(packet, kCmdStatus);
    setChunk(packet, n, 0);
    const int result = exchange(packet, reply, false);
    if (result == kResultSuccess && out)
        std::memcpy(out, reply + kDataOffset, n);
    return result;
}

bool DeviceChannel::CmdAAIsOnline() {
    if (!m_wireless.load())
        return true;
    std::lock_guard<std::mutex> lock(m_commandLock);
    uint8_t packet[kPacketSize];
    uint8_t reply[kPacketSize];
    startPacket(packet, kCmdOnline);
    const int result = exchange(packet, reply, false);
    return result == kResultSuccess && reply[kDataOffset] == 0xFF;
}

bool DeviceChannel::SetBlockSize(uint16_t size) {
    if (size > kMaxBlockSize)
        return false;
    m_blockSize.store(size);
    return true;
}

void DeviceChannel::SetConnectionMode(int mode) {
    if (mode == 2) {
        m_wireless.store(true);
        m_chunkSize.store(kWirelessChunk);
    } else {
        m_wireless.store(false);
        m_chunkSize.store(kWiredChunk);
    }
}

bool DeviceChannel::OpenInterface(bool wireless, const std::string& path) {
    std::lock_guard<std::mutex> io(m_ioLock);
    HidDevice& hid = wireless ? m_interfaceB : m_interfaceA;
    if (!hid.Open(path, true, true, true, false))
        return false;
    m_open.store(true);
    SetConnectionMode(wireless ? 2 : 1);
    return true;
}

bool DeviceChannel::SwitchInterface(bool wireless, const std::string& path) {
    // Closing first ends a transfer that still waits on the old form, so the I/O lock
    // below is free within one read.
    (wireless ? m_interfaceA : m_interfaceB).Close();
    if (OpenInterface(wireless, path))
        return true;
    // Neither form is open any more: say so, rather than let commands fail one by one.
    m_open.store(false);
    return false;
}

void DeviceChannel::CloseAll() {
    m_open.store(false);
    m_interfaceA.Close();
    m_interfaceB.Close();
}

} // namespace talyx
