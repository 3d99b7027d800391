#pragma once

#include <cstdint>
#include <functional>

#include "audio/AudioFrame.h"

namespace talyx {

// Where the recorder's sound comes from: the sound server's capture of what the computer
// plays, or a file. A source runs on the recorder's main loop (the only thread), analyses
// what it gets and reports frames and state changes through the callbacks from that loop;
// the callbacks must not block.
class AudioSource {
public:
    // The frame has level and bands; its time-stamp is when its last sample arrived
    // (MonotonicMicros). The sequence number is the receiver's to set.
    using FrameCallback = std::function<void(AudioFrame&)>;
    using StateCallback = std::function<void(const AudioStateReport&)>;

    virtual ~AudioSource() = default;
    void SetCallbacks(FrameCallback onFrame, StateCallback onState) {
        m_onFrame = std::move(onFrame);
        m_onState = std::move(onState);
    }
    // Starts or resumes capture; never blocks on the sound server (the connection is made
    // by the loop, and a failure is reported as a state). False only when the source cannot
    // run at all.
    virtual bool Start() = 0;
    // Stops sending frames but keeps what is needed to resume at once.
    virtual void Pause() = 0;
    // Stops and lets go of the sound server (or the file).
    virtual void Release() = 0;
    // Frame period in microseconds; clamped by the analyser.
    virtual void SetFramePeriod(uint32_t periodUs) = 0;

protected:
    void frame(AudioFrame& f) {
        if (m_onFrame)
            m_onFrame(f);
    }
    void state(const AudioStateReport& s) {
        if (m_onState)
            m_onState(s);
    }

private:
    FrameCallback m_onFrame;
    StateCallback m_onState;
};

} // namespace talyx
