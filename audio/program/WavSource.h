#pragma once

#include <string>

#include <pulse/mainloop-api.h>

#include "audio/AudioAnalyser.h"
#include "audio/WavFile.h"
#include "audio/program/AudioSource.h"

namespace talyx {

// A WAV file played into the analysis in real time, as if it came from the sound server:
// each period's samples go in when they would have been heard, paced by a timer on the
// recorder's main loop. At the end of the file it reports Ended, or starts again with
// `loop`.
class WavSource : public AudioSource {
public:
    WavSource(pa_mainloop_api* api, WavData data, std::string name, uint32_t periodUs, bool loop);
    ~WavSource() override;
    bool Start() override;
    void Pause() override;
    void Release() override;
    void SetFramePeriod(uint32_t periodUs) override;

    // The whole file through the analysis at once, without pacing; the frame time-stamps
    // are the file's own time in microseconds (the first sample at 0).
    static void AnalyseAll(const WavData& data, uint32_t periodUs, const FrameCallback& onFrame);

private:
    static void onTimer(pa_mainloop_api* api, pa_io_event* e, int fd, pa_io_event_flags_t events, void* self);
    void arm(bool on);
    void feedPeriod();

    pa_mainloop_api* m_api;
    WavData m_data;
    std::string m_name;
    bool m_loop;
    AudioAnalyser m_analyser;
    int m_timer = -1;
    pa_io_event* m_event = nullptr;
    size_t m_at = 0;
    bool m_running = false;
    bool m_told = false;
};

} // namespace talyx
