#include "audio/program/PulseSource.h"

#include <algorithm>
#include <cstdio>

#include <pulse/pulseaudio.h>

#include "audio/program/LoopPacer.h"

namespace talyx {
namespace {

const pa_sample_spec kSpec{PA_SAMPLE_FLOAT32LE, PulseSource::kRate, PulseSource::kChannels};

} // namespace

PulseSource::PulseSource(pa_mainloop_api* api, uint32_t periodUs)
    : m_api(api), m_analyser(kRate, periodUs), m_periodUs(m_analyser.FramePeriodUs()),
      m_sink([this](AudioFrame& f, uint64_t) {
          f.timestampUs = MonotonicMicros();
          frame(f);
      }) {}

PulseSource::~PulseSource() {
    m_wanted = false;
    dropContext();
}

bool PulseSource::Start() {
    m_wanted = true;
    if (!m_context)
        connect();
    else if (pa_context_get_state(m_context) == PA_CONTEXT_READY && !m_stream)
        askServerInfo();
    return true;
}

void PulseSource::Pause() {
    m_wanted = false;
    dropStream();
}

void PulseSource::Release() {
    m_wanted = false;
    dropContext();
}

void PulseSource::askServerInfo() {
    pa_operation* op = pa_context_get_server_info(m_context, &PulseSource::onServerInfo, this);
    if (op)
        pa_operation_unref(op);
}

void PulseSource::SetFramePeriod(uint32_t periodUs) {
    m_analyser.SetFramePeriod(periodUs);
    m_periodUs = m_analyser.FramePeriodUs();
    if (m_stream && pa_stream_get_state(m_stream) == PA_STREAM_READY) {
        pa_buffer_attr attr{};
        attr.maxlength = static_cast<uint32_t>(-1);
        attr.fragsize = static_cast<uint32_t>(pa_usec_to_bytes(FragmentUs(m_periodUs), &kSpec));
        pa_operation* op = pa_stream_set_buffer_attr(m_stream, &attr, nullptr, nullptr);
        if (op)
            pa_operation_unref(op);
    }
}

void PulseSource::report(AudioRecorderState s, const std::string& source) {
    state({0, s, s == AudioRecorderState::Capturing ? kRate : 0, source});
}

void PulseSource::connect() {
    dropContext();
    pa_proplist* props = pa_proplist_new();
    pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, "talyx-audio");
    pa_proplist_sets(props, PA_PROP_APPLICATION_ID, "org.talyx.AudioRecorder");
    m_context = pa_context_new_with_proplist(m_api, "talyx-audio", props);
    pa_proplist_free(props);
    if (!m_context) {
        report(AudioRecorderState::NoServer);
        scheduleRetry();
        return;
    }
    pa_context_set_state_callback(m_context, &PulseSource::onContextState, this);
    // No autospawn: the recorder listens to the desktop's server, it never starts one.
    if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        dropContext();
        report(AudioRecorderState::NoServer);
        scheduleRetry();
    }
}

void PulseSource::dropStream() {
    if (m_stream) {
        pa_stream_set_state_callback(m_stream, nullptr, nullptr);
        pa_stream_set_read_callback(m_stream, nullptr, nullptr);
        pa_stream_disconnect(m_stream);
        pa_stream_unref(m_stream);
        m_stream = nullptr;
    }
    m_monitor.clear();
    m_sinkName.clear();
}

void PulseSource::dropContext() {
    dropStream();
    if (m_retry) {
        m_api->time_free(m_retry);
        m_retry = nullptr;
    }
    if (m_context) {
        pa_context_set_state_callback(m_context, nullptr, nullptr);
        pa_context_set_subscribe_callback(m_context, nullptr, nullptr);
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
        m_context = nullptr;
    }
}

void PulseSource::scheduleRetry() {
    if (m_retry || !m_wanted)
        return;
    timeval tv{};
    pa_gettimeofday(&tv);
    pa_timeval_add(&tv, static_cast<pa_usec_t>(kRetryMs) * 1000u);
    m_retry = m_api->time_new(m_api, &tv, &PulseSource::onRetry, this);
}

void PulseSource::onRetry(pa_mainloop_api* api, pa_time_event* e, const struct timeval*, void* self) {
    auto* p = static_cast<PulseSource*>(self);
    api->time_free(e);
    p->m_retry = nullptr;
    if (p->m_wanted)
        p->connect();
}

void PulseSource::onContextState(pa_context* c, void* self) {
    auto* p = static_cast<PulseSource*>(self);
    switch (pa_context_get_state(c)) {
    case PA_CONTEXT_READY: {
        pa_context_set_subscribe_callback(
            c,
            [](pa_context* ctx, pa_subscription_event_type_t t, uint32_t i, void* me) {
                onSubscribe(ctx, static_cast<int>(t), i, me);
            },
            p);
        pa_operation* op = pa_context_subscribe(c, PA_SUBSCRIPTION_MASK_SERVER, nullptr, nullptr);
        if (op)
            pa_operation_unref(op);
        p->askServerInfo();
        break;
    }
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
        // The server went (or was never there): drop everything and try again later.
        p->dropContext();
        p->report(AudioRecorderState::NoServer);
        p->scheduleRetry();
        break;
    default:
        break;
    }
}

void PulseSource::onSubscribe(pa_context*, int type, uint32_t, void* self) {
    auto* p = static_cast<PulseSource*>(self);
    const int facility = type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
    // A change of the server's defaults: the user may have picked another output.
    if (facility == PA_SUBSCRIPTION_EVENT_SERVER && p->m_wanted)
        p->askServerInfo();
}

void PulseSource::onServerInfo(pa_context* c, const pa_server_info* info, void* self) {
    auto* p = static_cast<PulseSource*>(self);
    if (!p->m_wanted)
        return;
    const std::string sink = info && info->default_sink_name ? info->default_sink_name : "";
    if (sink.empty()) {
        p->dropStream();
        p->report(AudioRecorderState::NoOutput);
        return;
    }
    if (sink == p->m_sinkName && p->m_stream)
        return;
    pa_operation* op = pa_context_get_sink_info_by_name(c, sink.c_str(), &PulseSource::onSinkInfo, p);
    if (op)
        pa_operation_unref(op);
}

void PulseSource::onSinkInfo(pa_context*, const pa_sink_info* info, int eol, void* self) {
    auto* p = static_cast<PulseSource*>(self);
    if (eol != 0 || !info) {
        // The default output named by the server is not there (yet): wait for the next
        // change of the server's defaults.
        if (eol < 0 && !p->m_stream)
            p->report(AudioRecorderState::NoOutput);
        return;
    }
    if (!p->m_wanted || !info->monitor_source_name)
        return;
    const std::string monitor = info->monitor_source_name;
    if (monitor == p->m_monitor && p->m_stream)
        return;
    p->dropStream();
    p->m_sinkName = info->name ? info->name : "";
    p->openStream(monitor);
}

void PulseSource::openStream(const std::string& monitor) {
    m_stream = pa_stream_new(m_context, "talyx-audio level", &kSpec, nullptr);
    if (!m_stream) {
        report(AudioRecorderState::NoOutput);
        return;
    }
    m_monitor = monitor;
    m_analyser.Reset();
    pa_stream_set_state_callback(m_stream, &PulseSource::onStreamState, this);
    pa_stream_set_read_callback(m_stream, &PulseSource::onRead, this);
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<uint32_t>(-1);
    attr.fragsize = static_cast<uint32_t>(pa_usec_to_bytes(FragmentUs(m_periodUs), &kSpec));
    // The capture stays on the monitor chosen here: when the default output changes, the
    // recorder moves itself (the server's own moving would follow other rules). No timing
    // updates are asked for: nothing here reads the stream's latency, and each would be
    // one more wake-up.
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
    if (pa_stream_connect_record(m_stream, monitor.c_str(), &attr, flags) < 0) {
        dropStream();
        report(AudioRecorderState::NoOutput);
    }
}

void PulseSource::onStreamState(pa_stream* s, void* self) {
    auto* p = static_cast<PulseSource*>(self);
    switch (pa_stream_get_state(s)) {
    case PA_STREAM_READY:
        p->report(AudioRecorderState::Capturing, p->m_monitor);
        break;
    case PA_STREAM_FAILED:
    case PA_STREAM_TERMINATED: {
        // The output was removed: ask the server which one is the default now.
        p->dropStream();
        if (p->m_context && pa_context_get_state(p->m_context) == PA_CONTEXT_READY && p->m_wanted)
            p->askServerInfo();
        break;
    }
    default:
        break;
    }
}

void PulseSource::onRead(pa_stream* s, size_t readable, void* self) {
    auto* p = static_cast<PulseSource*>(self);
    // `readable` is what the stream holds now: it is taken in as many pieces as the server
    // sent, with no further question to the stream (each call into it costs a system call).
    size_t piece = 0;
    while (readable > 0) {
        const void* data = nullptr;
        size_t bytes = 0;
        if (pa_stream_peek(s, &data, &bytes) < 0 || bytes == 0)
            break;
        // A hole (data lost by the server) carries no samples; it is dropped like data.
        if (data) {
            const size_t frames = bytes / (sizeof(float) * kChannels);
            p->m_analyser.Feed(static_cast<const float*>(data), frames, kChannels, p->m_sink);
        }
        pa_stream_drop(s);
        piece = bytes;
        readable -= std::min(readable, bytes);
    }
    if (p->m_pacer && piece > 0)
        p->pace(static_cast<uint32_t>(pa_bytes_to_usec(piece, &kSpec)));
}

void PulseSource::pace(uint32_t pieceUs) {
    // Pieces of about a fragment or longer: each wake-up brings frames, no hold.
    const uint32_t fragmentUs = FragmentUs(m_periodUs);
    if (4 * static_cast<uint64_t>(pieceUs) >= 3 * static_cast<uint64_t>(fragmentUs))
        return;
    // Short pieces: wake when the frames of one fragment are complete, counted from the
    // end of the frame in progress, and one piece later, so that the piece holding the
    // last sample has come too.
    const uint64_t toFrameEnd = m_analyser.SamplesToFrameEnd() * 1000000u / kRate;
    const uint64_t more = static_cast<uint64_t>(fragmentUs / m_periodUs - 1) * m_periodUs;
    m_pacer->HoldUntil(MonotonicMicros() + toFrameEnd + more + std::min(pieceUs, m_periodUs));
}

} // namespace talyx
