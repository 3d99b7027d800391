#pragma once

#include <algorithm>
#include <memory>
#include <string>

#include "audio/AudioAnalyser.h"
#include "audio/program/AudioSource.h"

struct pa_mainloop_api;
struct pa_context;
struct pa_stream;
struct pa_server_info;
struct pa_sink_info;
struct pa_time_event;

namespace talyx {

class LoopPacer;

// Captures what the computer plays: the monitor of the sound server's default output,
// through libpulse (PulseAudio, or PipeWire's PulseAudio server). When the user picks
// another default output the capture moves to that output's monitor. Without a server,
// or when it goes away, it reports NoServer and tries again every kRetryMs; without a
// default output it reports NoOutput and waits for one.
//
// It runs on the recorder's main loop, the one thread that also serves the bus: no call
// waits for the server. The frames come from the read callback, one per frame period: the
// server is asked for fragments of one period, so no frame waits for a larger buffer to
// fill, and the recorder wakes once per fragment.
class PulseSource : public AudioSource {
public:
    static constexpr int kRetryMs = 2000;
    static constexpr uint32_t kRate = 24000;
    static constexpr int kChannels = 1;
    // The server is asked for pieces of about this length, a whole number of frame
    // periods (one period when it is longer): the light lags the sound by at most this
    // length plus the server's delivery. 20000 halves the wake-ups at 10 ms frames (two
    // frames a wake-up) but adds about 8 ms to the median lag, more than sound-driven
    // light can spare.
    static constexpr uint32_t kFragmentUs = 10000;
    static constexpr uint32_t FragmentUs(uint32_t periodUs) {
        return periodUs * std::max<uint32_t>(1, kFragmentUs / periodUs);
    }

    PulseSource(pa_mainloop_api* api, uint32_t periodUs);
    ~PulseSource() override;
    bool Start() override;
    void Pause() override;
    void Release() override;
    void SetFramePeriod(uint32_t periodUs) override;
    // The loop's pacer: while the server delivers in pieces much shorter than a fragment,
    // the loop is held until the next fragment's frames are due.
    void SetPacer(LoopPacer* pacer) { m_pacer = pacer; }

private:
    static void onContextState(pa_context* c, void* self);
    static void onSubscribe(pa_context* c, int type, uint32_t index, void* self);
    static void onServerInfo(pa_context* c, const pa_server_info* info, void* self);
    static void onSinkInfo(pa_context* c, const pa_sink_info* info, int eol, void* self);
    static void onStreamState(pa_stream* s, void* self);
    static void onRead(pa_stream* s, size_t bytes, void* self);
    static void onRetry(pa_mainloop_api* api, pa_time_event* e, const struct timeval* tv, void* self);

    void connect();
    void dropContext();
    void dropStream();
    void openStream(const std::string& monitor);
    void scheduleRetry();
    void askServerInfo();
    void pace(uint32_t pieceUs);
    void report(AudioRecorderState s, const std::string& source = {});

    pa_mainloop_api* m_api;
    pa_context* m_context = nullptr;
    pa_stream* m_stream = nullptr;
    pa_time_event* m_retry = nullptr;
    std::string m_monitor;  // the source being captured (or being opened)
    std::string m_sinkName; // the default output it belongs to
    bool m_wanted = false;
    AudioAnalyser m_analyser;
    uint32_t m_periodUs;
    AudioAnalyser::FrameSink m_sink; // made once, not per fragment
    LoopPacer* m_pacer = nullptr;
};

} // namespace talyx
