// The least a capture of what the computer plays costs (not a test): a record stream on
// the default output's monitor in the recorder's format and fragment size, on libpulse's
// plain main loop, its data dropped: no analysis, no bus. audio_recorder_cpu --floor runs
// it in the recorder's place, so the recorder's figures can be read against it.
//
//   audio_capture_floor [--period-ms P]
// Prints "capturing" once the stream runs; ends on SIGTERM or SIGINT.
#include <pulse/pulseaudio.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "audio/program/PulseSource.h"

namespace {

const pa_sample_spec kSpec{PA_SAMPLE_FLOAT32LE, talyx::PulseSource::kRate, talyx::PulseSource::kChannels};
uint32_t g_periodUs = 10000;

void onRead(pa_stream* stream, size_t, void*) {
    const void* data = nullptr;
    size_t length = 0;
    while (pa_stream_readable_size(stream) > 0 && pa_stream_peek(stream, &data, &length) == 0 && length > 0)
        pa_stream_drop(stream);
}

void onStreamState(pa_stream* stream, void*) {
    if (pa_stream_get_state(stream) == PA_STREAM_READY) {
        std::printf("capturing\n");
        std::fflush(stdout);
    } else if (pa_stream_get_state(stream) == PA_STREAM_FAILED) {
        std::fprintf(stderr, "audio_capture_floor: the stream failed\n");
        std::exit(1);
    }
}

void onContextState(pa_context* context, void*) {
    const pa_context_state_t state = pa_context_get_state(context);
    if (state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED) {
        std::fprintf(stderr, "audio_capture_floor: no sound server\n");
        std::exit(1);
    }
    if (state != PA_CONTEXT_READY)
        return;
    pa_stream* stream = pa_stream_new(context, "capture floor", &kSpec, nullptr);
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<uint32_t>(-1);
    attr.fragsize = static_cast<uint32_t>(pa_usec_to_bytes(talyx::PulseSource::FragmentUs(g_periodUs), &kSpec));
    pa_stream_set_read_callback(stream, onRead, nullptr);
    pa_stream_set_state_callback(stream, onStreamState, nullptr);
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
    pa_stream_connect_record(stream, "@DEFAULT_MONITOR@", &attr, flags);
}

void onSignal(pa_mainloop_api* api, pa_signal_event*, int, void*) {
    api->quit(api, 0);
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--period-ms") == 0)
            g_periodUs = static_cast<uint32_t>(std::atoi(argv[i + 1])) * 1000;
    if (g_periodUs < 2000 || g_periodUs > 100000) {
        std::fprintf(stderr, "usage: audio_capture_floor [--period-ms 2..100]\n");
        return 2;
    }
    pa_mainloop* loop = pa_mainloop_new();
    pa_mainloop_api* api = pa_mainloop_get_api(loop);
    pa_signal_init(api);
    pa_signal_new(SIGTERM, onSignal, nullptr);
    pa_signal_new(SIGINT, onSignal, nullptr);
    pa_context* context = pa_context_new(api, "capture floor");
    pa_context_set_state_callback(context, onContextState, nullptr);
    if (pa_context_connect(context, nullptr, PA_CONTEXT_NOFLAGS, nullptr) < 0) {
        std::fprintf(stderr, "audio_capture_floor: no sound server\n");
        return 1;
    }
    int result = 0;
    pa_mainloop_run(loop, &result);
    pa_context_disconnect(context);
    pa_context_unref(context);
    pa_signal_done();
    pa_mainloop_free(loop);
    return result;
}
