#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "audio/AudioFrame.h"
#include "audio/program/AudioSource.h"
#include "audio/program/CopyDataWriter.h"
#include "audio/program/SessionBus.h"

namespace talyx {

// The recorder on the session bus: owns org.talyx.AudioRecorder, takes the program's
// commands and sends it the audio data (docs/dbus.md). It serves one program, named by
// its bus name, and ends the main loop when that name leaves the bus or the bus goes.
//
// Everything runs on the main loop: a frame is encoded where it was computed, and the
// frames of one wake-up go to the bus in one write (FlushData, before the loop waits), on a data connection of
// their own (CopyDataWriter); the main connection owns the name and takes the commands.
// When the data connection cannot be had, the data goes through the main one.
class AudioRecorderService {
public:
    // The recorder's commands (the value travels in the second argument).
    static constexpr uint32_t kPause = 2;
    static constexpr uint32_t kStart = 3;
    static constexpr uint32_t kRelease = 4;
    static constexpr uint32_t kQuit = 5;
    static constexpr uint32_t kRed = 6;
    static constexpr uint32_t kGreen = 7;
    static constexpr uint32_t kBlue = 8;
    // Frames are dropped while this much is still waiting for the bus to take it: a bus
    // that has stopped reading must not make the recorder grow. States are always queued.
    static constexpr long kMaxQueuedBytes = 64 * 1024;

    AudioRecorderService(pa_mainloop_api* api, std::unique_ptr<AudioSource> source, std::string owner);
    ~AudioRecorderService();
    AudioRecorderService(const AudioRecorderService&) = delete;
    AudioRecorderService& operator=(const AudioRecorderService&) = delete;

    // Connects, watches the owner, exports the object, takes the name and starts the
    // capture. False (with the reason on standard error) when the bus, the name or the
    // owner is not there.
    bool Run();
    // Writes the frames queued on the data connection; the loop calls it before it waits.
    void FlushData();
    // Writes out what is still queued (the loop has ended).
    void Finish();

    // A recorder command; false for an unknown code or a value out of range.
    bool Command(uint32_t code, int64_t value);
    // The frame period of the lighting, in microseconds (2000 to 100000).
    bool SetFramePeriod(uint32_t micros);

    uint64_t DroppedFrames() const { return m_dropped; }

private:
    bool onCall(DBusMessage* call);
    void quit();
    void sendFrame(AudioFrame& frame);
    void sendState(AudioStateReport report);
    void send(uint32_t kind, const uint8_t* data, size_t size);

    pa_mainloop_api* m_api;
    SessionBus m_bus;
    CopyDataWriter m_writer;
    std::unique_ptr<AudioSource> m_source;
    std::string m_owner;
    uint32_t m_sequence = 0;
    uint64_t m_dropped = 0;
    std::array<uint8_t, 3> m_tint{};
};

} // namespace talyx
