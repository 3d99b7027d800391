#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "device/transport/HidDevice.h"

namespace talyx {

class HidBackend;

// Result codes of every device command (and of the device operations built on them).
enum DeviceResult : int {
    kResultSuccess = 1,
    kResultNoReply = 0,        // channel not open or suspended, or the reply read failed or timed out
    kResultWriteFailed = -1,   // the output report could not be written
    kResultUnreachable = -101, // the wireless receiver answered that the keyboard is out of reach
    kResultStatusFF = -102,    // reply status 0xFF (the device refused the request)
    kResultStatusFE = -103,    // reply status 0xFE (the device could not carry it out)
    kResultBadBank = -201,     // a block command was given a bank other than 0
};

// The 64-byte command exchange of one device.
//
// Every request is one output report of 64 bytes:
//   byte 0      report id 0x04
//   bytes 1, 2  checksum: sum of bytes 3..63 as unsigned bytes, low 16 bits, little-endian
//   byte 3      command id
//   byte 4      data bytes in this packet
//   bytes 5, 6  data offset, little-endian
//   byte 7      0 (the reply puts its status here: 0xFF and 0xFE are errors)
//   bytes 8..   data, at most the chunk size (56 wired, 24 through the wireless receiver)
// and is answered by one 64-byte input report carrying the same command id in byte 3.
//
// Two HID interfaces hang off a channel: interface A is the wired keyboard's vendor
// collection, interface B the wireless receiver's. The wireless flag chooses which one
// talks. The channel does not open them by itself: the owner opens one (OpenInterface)
// and marks the channel open.
//
// Locks, outermost first:
//  - command lock: every command builder except 0x12 holds it around its whole
//    transaction, so a multi-chunk block write stays in order;
//  - light lock: command 0x12 (streamed light frames) holds it instead, so a frame can go
//    out between two chunks of a long block write;
//  - I/O lock: held around each write and, separately, around the reply reads; also held
//    while an interface is (re)opened. Because it is released between the write and the
//    reads, a reply may belong to another request: the byte-3 check and the second read
//    absorb that. A frame holds it from its first chunk's write to its last reply (on the
//    frame thread, until the next frame is due), so no request comes between them.
//  - second lock: free for the device classes' own use.
//
// All operations may be called from any thread. Every operation that talks to the device
// blocks its caller until the reply arrives or the time-out runs out (1000 ms wired,
// 5000 ms through the receiver, 500 ms for the quiet frame transaction over the receiver).
// A closed or suspended channel makes every command return kResultNoReply at once.
class DeviceChannel {
public:
    static constexpr size_t kPacketSize = 64;
    static constexpr uint8_t kReportId = 0x04;
    static constexpr size_t kDataOffset = 8;
    static constexpr uint8_t kWiredChunk = 56;
    static constexpr uint8_t kWirelessChunk = 24;
    static constexpr uint16_t kMaxBlockSize = 512;
    // Per-key colour pages sit 512 bytes apart in the keyboard's memory.
    static constexpr int kPageSize = 512;

    static constexpr int kWiredTimeoutMs = 1000;
    static constexpr int kWirelessTimeoutMs = 5000;
    static constexpr int kQuietWirelessTimeoutMs = 500;

    DeviceChannel();
    // Both interfaces use the given backend instead of the process default (tests).
    explicit DeviceChannel(std::shared_ptr<HidBackend> backend);
    DeviceChannel(const DeviceChannel&) = delete;
    DeviceChannel& operator=(const DeviceChannel&) = delete;

    // Pads the request to 64 bytes (at most 64 are taken) and stores the checksum of
    // bytes 3..63 in bytes 1 and 2. `packet` must hold 64 bytes.
    static void FramePacket(const uint8_t* request, size_t length, uint8_t* packet);
    static uint16_t Checksum(const uint8_t* packet);
    // "xx xx xx xx   xx ..." : the 64 bytes as two lines of 32, as the debug output shows them.
    static std::string HexLines(const uint8_t* packet);

    // One request and its reply. Copies at most replyLength bytes of the matching reply
    // into `reply` and the count into *bytesRead (either may be null). Writes "命令" and
    // the request, then "返回" and the reply, to the debug output.
    // A reply with another command id (the late answer to an earlier request) is skipped
    // and the next one read; when that one does not match either, the result is 0, so a
    // caller never takes another request's reply for its own.
    // Result: 1; 0 not open, suspended, no (matching) reply; -1 write failed; -101 the
    // receiver reports the keyboard out of reach (wireless only). Blocks.
    int Transact(const uint8_t* request, size_t requestLength, uint8_t* reply, size_t replyLength, size_t* bytesRead);
    // The same without debug output and with a 500 ms wireless time-out (light frames).
    int TransactQuiet(const uint8_t* request, size_t requestLength, uint8_t* reply, size_t replyLength,
                      size_t* bytesRead);

    // ---- Command builders. Each returns 1, or the first failing result code of the table
    // above (0, -1, -101, -102 for status 0xFF, -103 for status 0xFE, -201). All block.

    // 0x01: starts a batch of writes.
    int Cmd01BeginBatch();
    // 0x02: ends a batch. With a nonzero argument it first waits 10 ms so that the
    // keyboard has stored the last write before it is told to apply the batch (every
    // caller passes 1).
    int Cmd02EndBatch(int settle = 1);
    // 0x1C: tells the keyboard that the program takes over its lighting.
    int Cmd1CLightControl();
    // 0x03: reads the 34 bytes of device information: the first 32 into info32, the last
    // two (little-endian) into *tail. Either output may be null.
    int Cmd03ReadInfo(uint8_t* info32, uint16_t* tail);
    // 0x03, the whole 34 bytes into info34.
    int Cmd03ReadInfo34(uint8_t* info34);
    // 0x09: writes one block (block size bytes) of key assignments. Bank must be 0
    // (-201 otherwise); chunk offsets are bank × 512 + position in the block.
    int Cmd09WriteBlock(int bank, const uint8_t* block);
    // 0x27: the same shape as 0x09.
    int Cmd27WriteBlock(int bank, const uint8_t* block);
    // 0x15: writes n bytes (the macro image) from offset 0.
    int Cmd15Write(const uint8_t* data, size_t n);
    // 0x17: writes n bytes from offset 0.
    int Cmd17Write(const uint8_t* data, size_t n);
    // 0x07: reads one block (block size bytes; the factory key codes).
    int Cmd07ReadBlock(uint8_t* out);
    // 0x1B: reads block size ÷ 3 bytes (the LED positions, one per key).
    int Cmd1BReadThirdBlock(uint8_t* out);
    // 0x0A: reads n bytes of a per-key colour page (offsets page × 512 + position).
    int Cmd0AReadPage(int page, uint8_t* out, size_t n);
    // 0x0B: writes n bytes of a per-key colour page.
    int Cmd0BWritePage(int page, const uint8_t* data, size_t n);
    // 0x12: writes a live light frame quietly (no debug output, the 500 ms wireless
    // time-out) under the light lock. A chunk that finds another transaction running is
    // dropped ("放弃灯光数据") and counts as sent: a late frame is worth less than a smooth
    // block write. The chunks that go out are all written under one hold of the I/O lock
    // before their replies are read (so a frame costs the thread one or two waits, not one
    // per chunk); the result is the first failure in wire order: a reply's (0, -101, -102,
    // -103) before a write's (-1), or 0 when the channel is closed or suspended.
    int Cmd12WriteFrame(const uint8_t* data, size_t n);
    // The same in two halves, for a caller that sends a frame every period (the frame
    // thread): Begin writes the chunks and, on the cable, leaves their replies to Finish,
    // which the caller calls when the next frame is due (its replies are all in by then), so
    // a frame costs its thread one wake. The I/O lock stays held in between: a command waits
    // for the frame's end, at most one period. Through the receiver, and when a write
    // fails, Begin ends the frame at once. Begin's result is the write's (or the whole
    // frame's when it ended it), Finish's the replies' (1 when nothing is pending). Both
    // from one thread, and only that thread may have a frame begun; Begin finishes a frame
    // still pending first.
    int Cmd12BeginFrame(const uint8_t* data, size_t n);
    int Cmd12FinishFrame();
    bool FramePending() const { return m_pending.active; }
    // 0x06: writes n bytes from the given offset (light and settings records).
    int Cmd06Write(int offset, const uint8_t* data, size_t n);
    // 0x05: reads n bytes from the given offset.
    int Cmd05Read(int offset, uint8_t* out, size_t n);
    // 0x1A: one packet asking for n (at most the chunk size) bytes at offset 0; copies
    // the reply's first n data bytes (the status).
    int Cmd1AReadStatus(uint8_t* out, size_t n);
    // 0xAA, receiver only: true when the receiver reports the keyboard online (the
    // transaction succeeds, the status is neither 0xFF nor 0xFE and reply byte 8 is 0xFF).
    // On the wired interface the keyboard is always there: true without any I/O.
    bool CmdAAIsOnline();

    // ---- The transport's vocabulary and the exchange's codes.
    enum class Transfer { Write, Read };
    // The one place where a transfer's HidStatus becomes a result code: Ok is 1; any
    // failed write is -1 (kResultWriteFailed), any failed read 0 (kResultNoReply).
    static int TransferResult(Transfer transfer, HidStatus status);
    // The status of the last transfer on this channel (Ok, TimedOut, Cancelled, Gone,
    // NoAccess, IoError), so that a caller holding a 0 or -1 can tell a device that is
    // gone from one that did not answer in time. Ok before any transfer.
    HidStatus LastStatus() const { return m_lastStatus.load(); }

    // ---- Settings.
    // Refuses (false, size unchanged) a block size above 512.
    bool SetBlockSize(uint16_t size);
    uint16_t BlockSize() const { return m_blockSize.load(); }
    // Mode 2: wireless (interface B, 24-byte chunks); any other mode (1 is used): wired.
    void SetConnectionMode(int mode);
    bool IsWireless() const { return m_wireless.load(); }
    uint8_t ChunkSize() const { return m_chunkSize.load(); }

    bool IsOpen() const { return m_open.load(); }
    void SetOpen(bool open) { m_open.store(open); }
    bool IsSuspended() const { return m_suspended.load(); }
    void SetSuspended(bool suspended) { m_suspended.store(suspended); }
    bool IsSynchronised() const { return m_synchronised.load(); }
    void SetSynchronised(bool synchronised) { m_synchronised.store(synchronised); }
    // True while any transaction runs on the channel.
    bool IsBusy() const { return m_busy.load() > 0; }

    // ---- Interfaces and their switching.
    HidDevice& InterfaceA() { return m_interfaceA; }
    HidDevice& InterfaceB() { return m_interfaceB; }
    // Opens interface B (wireless) or A (wired) with read and write access, overlapped and
    // shared, under the I/O lock; on success marks the channel open and sets connection
    // mode 2 or 1. The other interface is left as it is. False (channel unchanged) when
    // the open fails. Blocks while another transaction holds the I/O lock.
    bool OpenInterface(bool wireless, const std::string& path);
    // Switches between the wired and the wireless form of the same keyboard: closes the
    // other interface, then opens the new one as OpenInterface does. When that fails the
    // channel is marked closed (neither interface is open then).
    bool SwitchInterface(bool wireless, const std::string& path);
    // Marks the channel closed and closes both interfaces; a transfer waiting on one of
    // them ends at once.
    void CloseAll();

    std::mutex& SecondLock() { return m_secondLock; }
    std::mutex& CommandLock() { return m_commandLock; }
    std::mutex& LightLock() { return m_lightLock; }

private:
    int transact(const uint8_t* request, size_t requestLength, uint8_t* reply, size_t replyLength, size_t* bytesRead,
                 bool quiet);
    // One packet under the command lock (or, for frames, already under the light lock):
    // builds, transacts and maps the status byte.
    int exchange(uint8_t* packet, uint8_t* reply, bool quiet);
    static int statusResult(int result, const uint8_t* reply);
    // Reads the reply to `command` into `in` (64 bytes) under the caller's I/O lock,
    // skipping one reply of another request; the exchange's code, the transfer's status.
    int readReply(HidDevice& hid, uint8_t command, int timeout, uint8_t* in, size_t* got, HidStatus& status);
    // A frame whose chunks were written back to back and whose replies are still to read.
    struct PendingFrame {
        bool active = false; // its transaction counts in m_busy
        std::unique_lock<std::mutex> io;
        HidDevice* hid = nullptr;
        size_t outstanding = 0;
        int timeout = 0;
        std::chrono::steady_clock::time_point written;
    };
    // Writes the chunks that may go out; the first write failure, or 0 when closed.
    int writeFrame(const uint8_t* data, size_t n, PendingFrame& frame);
    // Reads the frame's replies (after the learned sleep when asked), ends its transaction
    // and releases the I/O lock; the first failing code of the replies.
    int collectFrameReplies(PendingFrame& frame, bool sleepFirst);
    int readFrameReplies(PendingFrame& frame, bool sleepFirst);
    int writeChunked(uint8_t command, int baseOffset, const uint8_t* data, size_t n);
    int readChunked(uint8_t command, int baseOffset, uint8_t* out, size_t n);

    std::atomic<uint16_t> m_blockSize{kMaxBlockSize};
    std::atomic<int> m_busy{0};
    std::atomic<bool> m_suspended{false};
    std::atomic<bool> m_open{false};
    std::atomic<bool> m_synchronised{false};
    HidDevice m_interfaceA;
    HidDevice m_interfaceB;
    std::mutex m_ioLock;
    std::mutex m_secondLock;
    std::mutex m_commandLock;
    std::mutex m_lightLock;
    std::atomic<bool> m_wireless{false};
    std::atomic<uint8_t> m_chunkSize{kWiredChunk};
    std::atomic<HidStatus> m_lastStatus{HidStatus::Ok};
    // How long after its last chunk is written a frame's replies are all in, as the last
    // frames showed it (guarded by the light lock).
    static constexpr std::chrono::microseconds kReplyWaitedUs{150};
    static constexpr std::chrono::microseconds kReplyStepUs{5};
    static constexpr std::chrono::microseconds kReplyDueLimitUs{40000};
    std::chrono::microseconds m_replyDue{0};
    PendingFrame m_pending; // the frame thread's (Cmd12BeginFrame)
};

} // namespace talyx
