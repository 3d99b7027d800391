#include "audio/program/WavSource.h"

#include <algorithm>
#include <chrono>

namespace talyx {

WavSource::WavSource(WavData data, std::string name, uint32_t periodUs, bool loop)
    : m_data(std::move(data)), m_name(std::move(name)), m_loop(loop), m_period(periodUs) {}

WavSource::~WavSource() {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_quit = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

bool WavSource::Start() {
    std::lock_guard<std::mutex> lock(m_lock);
    m_running = true;
    if (!m_thread.joinable())
        m_thread = std::thread(&WavSource::run, this);
    m_wake.notify_all();
    return true;
}

void WavSource::Pause() {
    std::lock_guard<std::mutex> lock(m_lock);
    m_running = false;
    m_wake.notify_all();
}

void WavSource::Release() {
    Pause();
}

void WavSource::SetFramePeriod(uint32_t periodUs) {
    m_period = periodUs;
}

void WavSource::AnalyseAll(const WavData& data, uint32_t periodUs, const FrameCallback& onFrame) {
    AudioAnalyser analyser(data.sampleRate, periodUs);
    const uint32_t rate = analyser.SampleRate();
    analyser.Feed(data.samples.data(), data.Frames(), data.channels, [&](AudioFrame& f, uint64_t end) {
        f.timestampUs = end * 1000000u / rate;
        if (onFrame)
            onFrame(f);
    });
}

void WavSource::run() {
    using Clock = std::chrono::steady_clock;
    AudioAnalyser analyser(m_data.sampleRate, m_period);
    const size_t frames = m_data.Frames();
    size_t at = 0;
    bool told = false;
    // Each period's samples go in at once, then the source sleeps until they would have
    // been heard; deadlines are counted from the start, so the pace does not drift.
    auto deadline = Clock::now();
    for (;;) {
        std::unique_lock<std::mutex> lock(m_lock);
        if (!m_running) {
            m_wake.wait(lock, [this] { return m_quit || m_running; });
            deadline = Clock::now();
        }
        if (m_quit)
            return;
        lock.unlock();
        if (!told) {
            state({0, AudioRecorderState::Capturing, m_data.sampleRate, m_name});
            told = true;
        }
        analyser.SetFramePeriod(m_period);
        const uint32_t period = analyser.FramePeriodUs();
        const size_t chunk = std::max<size_t>(1, static_cast<size_t>(uint64_t(m_data.sampleRate) * period / 1000000u));
        const size_t n = std::min(chunk, frames - at);
        analyser.Feed(m_data.samples.data() + at * static_cast<size_t>(m_data.channels), n, m_data.channels,
                      [this](AudioFrame& f, uint64_t) {
                          f.timestampUs = MonotonicMicros();
                          frame(f);
                      });
        at += n;
        bool ended = false;
        if (at >= frames) {
            at = 0;
            ended = !m_loop;
        }
        lock.lock();
        if (ended) {
            m_running = false;
            told = false;
            lock.unlock();
            state({0, AudioRecorderState::Ended, m_data.sampleRate, m_name});
            continue;
        }
        deadline += std::chrono::microseconds(period);
        m_wake.wait_until(lock, deadline, [this] { return m_quit || !m_running; });
        if (m_quit)
            return;
    }
}

} // namespace talyx
