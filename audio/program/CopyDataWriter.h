#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include <dbus/dbus.h>
#include <pulse/mainloop-api.h>

#include "audio/AudioFrame.h"

namespace talyx {

// A CopyData call of the recorder's to `owner`, asking for no answer (nullptr when out of
// memory); the caller unrefs it.
DBusMessage* NewCopyDataCall(const std::string& owner, uint32_t kind, const uint8_t* data, size_t size);

// The recorder's data to the program, over a bus connection of its own that does nothing
// else: CopyData calls that ask for no answer, made ready once and sent as bytes.
//
// A frame is 100 times a second's worth of the same call with other numbers in it, so
// the call is laid out once by the bus library (at Connect) and each frame only puts its
// serial number and its 32 bytes into a copy. The frames of one delivery of sound go out
// in one write, which also wakes the bus daemon once for them. The connection reads
// nothing it needs (the greeting's answers, which it drops) and asks for nothing.
//
// Connect is blocking (connecting and authenticating, at the start); everything after it
// never blocks: what the socket does not take waits, and frames are dropped while more
// than kMaxQueuedBytes wait.
class CopyDataWriter {
public:
    static constexpr size_t kMaxQueuedBytes = 64 * 1024;

    explicit CopyDataWriter(pa_mainloop_api* api);
    ~CopyDataWriter();
    CopyDataWriter(const CopyDataWriter&) = delete;
    CopyDataWriter& operator=(const CopyDataWriter&) = delete;

    // Connects to the session bus at DBUS_SESSION_BUS_ADDRESS, or $XDG_RUNTIME_DIR/bus
    // without one (a Unix socket, by path or abstract name), authenticates and says hello;
    // calls will go to `owner`. False, with
    // the reason, when that cannot be done: the caller then sends through its own bus
    // connection.
    bool Connect(const std::string& owner, std::string& error);
    bool Connected() const { return m_fd >= 0; }

    // Queues a frame (false: dropped, the bus is not taking what waits) or a state block.
    bool QueueFrame(const std::array<uint8_t, kAudioFrameBytes>& frame);
    bool QueueState(const std::vector<uint8_t>& state);
    // Writes what is queued, as far as the socket takes it.
    void Flush();
    // Bytes queued and not yet written.
    size_t Queued() const { return m_out.size() - m_written; }

    // The call for a frame as laid out at Connect (tests compare it with the bus library's).
    const std::vector<uint8_t>& FrameCall() const { return m_frameCall; }

private:
    static void onIo(pa_mainloop_api* api, pa_io_event* e, int fd, pa_io_event_flags_t events, void* self);
    void queueMessage(uint32_t kind, const uint8_t* data, size_t size);
    uint32_t nextSerial();
    void drop();

    pa_mainloop_api* m_api;
    int m_fd = -1;
    pa_io_event* m_event = nullptr;
    std::string m_owner;
    std::vector<uint8_t> m_frameCall; // the whole call of a frame, serial and bytes to fill in
    std::vector<uint8_t> m_out;       // queued, not yet written
    size_t m_written = 0;             // of m_out
    uint32_t m_serial = 1;
};

} // namespace talyx
