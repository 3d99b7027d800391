#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "audio/AudioAnalyser.h"
#include "audio/WavFile.h"
#include "audio/program/AudioSource.h"

namespace talyx {

// A WAV file played into the analysis in real time, as if it came from the sound server:
// each frame is reported when its last sample would have been heard. At the end of the
// file it reports Ended, or starts again with `loop`.
class WavSource : public AudioSource {
public:
    WavSource(WavData data, std::string name, uint32_t periodUs, bool loop);
    ~WavSource() override;
    bool Start() override;
    void Pause() override;
    void Release() override;
    void SetFramePeriod(uint32_t periodUs) override;

    // The whole file through the analysis at once, without pacing; the frame time-stamps
    // are the file's own time in microseconds (the first sample at 0).
    static void AnalyseAll(const WavData& data, uint32_t periodUs, const FrameCallback& onFrame);

private:
    void run();

    WavData m_data;
    std::string m_name;
    bool m_loop;
    std::atomic<uint32_t> m_period;
    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_running = false;
    bool m_quit = false;
    std::thread m_thread;
};

} // namespace talyx
