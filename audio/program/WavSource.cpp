#include "audio/program/WavSource.h"

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <sys/timerfd.h>
#include <unistd.h>

namespace talyx {
namespace {

// A timer that has been held up (the machine was busy) catches up with at most this many
// periods at once; older sound is skipped, as the server would drop it.
constexpr uint64_t kMaxCatchUp = 10;

} // namespace

WavSource::WavSource(pa_mainloop_api* api, WavData data, std::string name, uint32_t periodUs, bool loop)
    : m_api(api), m_data(std::move(data)), m_name(std::move(name)), m_loop(loop),
      m_analyser(m_data.sampleRate, periodUs) {
    // A periodic timer on the monotonic clock: its expirations are counted by the kernel,
    // so the pace does not drift however late the loop gets to it.
    m_timer = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (m_timer >= 0)
        m_event = m_api->io_new(m_api, m_timer, PA_IO_EVENT_INPUT, &WavSource::onTimer, this);
}

WavSource::~WavSource() {
    if (m_event)
        m_api->io_free(m_event);
    if (m_timer >= 0)
        close(m_timer);
}

bool WavSource::Start() {
    if (!m_event)
        return false;
    if (m_data.Frames() == 0) {
        state({0, AudioRecorderState::Ended, m_data.sampleRate, m_name});
        return true;
    }
    if (!m_told) {
        state({0, AudioRecorderState::Capturing, m_data.sampleRate, m_name});
        m_told = true;
    }
    if (!m_running) {
        m_running = true;
        arm(true);
    }
    return true;
}

void WavSource::Pause() {
    m_running = false;
    arm(false);
}

void WavSource::Release() {
    Pause();
}

void WavSource::SetFramePeriod(uint32_t periodUs) {
    m_analyser.SetFramePeriod(periodUs);
    if (m_running)
        arm(true);
}

void WavSource::arm(bool on) {
    if (m_timer < 0)
        return;
    const uint32_t period = m_analyser.FramePeriodUs();
    itimerspec spec{};
    if (on) {
        spec.it_interval.tv_sec = period / 1000000u;
        spec.it_interval.tv_nsec = static_cast<long>(period % 1000000u) * 1000;
        spec.it_value = spec.it_interval;
    }
    timerfd_settime(m_timer, 0, &spec, nullptr);
}

void WavSource::onTimer(pa_mainloop_api*, pa_io_event*, int fd, pa_io_event_flags_t, void* self) {
    auto* w = static_cast<WavSource*>(self);
    uint64_t expirations = 0;
    if (read(fd, &expirations, sizeof expirations) != static_cast<ssize_t>(sizeof expirations))
        return;
    for (uint64_t i = 0; i < std::min(expirations, kMaxCatchUp) && w->m_running; ++i)
        w->feedPeriod();
}

void WavSource::feedPeriod() {
    const size_t frames = m_data.Frames();
    const uint32_t period = m_analyser.FramePeriodUs();
    const size_t chunk = std::max<size_t>(1, static_cast<size_t>(uint64_t(m_data.sampleRate) * period / 1000000u));
    const size_t n = std::min(chunk, frames - m_at);
    m_analyser.Feed(m_data.samples.data() + m_at * static_cast<size_t>(m_data.channels), n, m_data.channels,
                    [this](AudioFrame& f, uint64_t) {
                        f.timestampUs = MonotonicMicros();
                        frame(f);
                    });
    m_at += n;
    if (m_at < frames)
        return;
    m_at = 0;
    if (m_loop)
        return;
    Pause();
    m_told = false;
    state({0, AudioRecorderState::Ended, m_data.sampleRate, m_name});
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

} // namespace talyx
