#include "audio/program/AudioRecorderService.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "audio/AudioAnalyser.h"

namespace talyx {
namespace {

constexpr const char* kIntrospection =
    DBUS_INTROSPECT_1_0_XML_DOCTYPE_DECL_NODE "<node>\n"
                                              " <interface name=\"org.talyx.AudioRecorder\">\n"
                                              "  <method name=\"Command\">\n"
                                              "   <arg name=\"code\" type=\"u\" direction=\"in\"/>\n"
                                              "   <arg name=\"value\" type=\"x\" direction=\"in\"/>\n"
                                              "   <arg type=\"b\" direction=\"out\"/>\n"
                                              "  </method>\n"
                                              "  <method name=\"SetFramePeriod\">\n"
                                              "   <arg name=\"micros\" type=\"u\" direction=\"in\"/>\n"
                                              "   <arg type=\"b\" direction=\"out\"/>\n"
                                              "  </method>\n"
                                              " </interface>\n"
                                              " <interface name=\"" DBUS_INTERFACE_INTROSPECTABLE "\">\n"
                                              "  <method name=\"Introspect\">\n"
                                              "   <arg name=\"xml_data\" type=\"s\" direction=\"out\"/>\n"
                                              "  </method>\n"
                                              " </interface>\n"
                                              "</node>\n";

// A call to `member` of our interface; a call that names no interface counts too, as
// callers of the first recorder could rely on.
bool isOurCall(DBusMessage* m, const char* member) {
    if (dbus_message_get_type(m) != DBUS_MESSAGE_TYPE_METHOD_CALL || !dbus_message_has_member(m, member))
        return false;
    const char* interface = dbus_message_get_interface(m);
    return !interface || std::strcmp(interface, kAudioRecorderService) == 0;
}

} // namespace

AudioRecorderService::AudioRecorderService(pa_mainloop_api* api, std::unique_ptr<AudioSource> source, std::string owner)
    : m_api(api), m_bus(api), m_writer(api), m_source(std::move(source)), m_owner(std::move(owner)) {
    m_source->SetCallbacks([this](AudioFrame& f) { sendFrame(f); },
                           [this](const AudioStateReport& s) { sendState(s); });
}

AudioRecorderService::~AudioRecorderService() {
    // The source lets go of the sound server before the bus connection closes.
    m_source.reset();
}

bool AudioRecorderService::Run() {
    std::string error;
    if (!m_bus.Connect(error)) {
        std::fprintf(stderr, "talyx-audio: no session bus: %s\n", error.c_str());
        return false;
    }
    if (!m_bus.NameHasOwner(m_owner)) {
        std::fprintf(stderr, "talyx-audio: %s is not on the bus\n", m_owner.c_str());
        return false;
    }
    m_bus.SetDisconnected([this] { quit(); });
    // Watch before anything else, so a program that goes right now is not missed.
    if (!m_bus.WatchNameLoss(m_owner, [this] { quit(); }) || !m_bus.NameHasOwner(m_owner)) {
        std::fprintf(stderr, "talyx-audio: %s has left the bus\n", m_owner.c_str());
        return false;
    }
    if (!m_bus.ExportObject(kAudioRecorderPath, [this](DBusMessage* call) { return onCall(call); })) {
        std::fprintf(stderr, "talyx-audio: the object cannot be exported\n");
        return false;
    }
    if (!m_bus.RequestName(kAudioRecorderService)) {
        std::fprintf(stderr, "talyx-audio: another recorder owns %s\n", kAudioRecorderService);
        return false;
    }
    if (!m_writer.Connect(m_owner, error))
        std::fprintf(stderr, "talyx-audio: the data goes through the main bus connection: %s\n", error.c_str());
    return m_source->Start();
}

void AudioRecorderService::FlushData() {
    m_writer.Flush();
}

void AudioRecorderService::Finish() {
    m_writer.Flush();
    m_bus.Flush();
}

void AudioRecorderService::quit() {
    m_api->quit(m_api, 0);
}

bool AudioRecorderService::onCall(DBusMessage* call) {
    DBusMessage* reply = nullptr;
    if (isOurCall(call, "Command")) {
        dbus_uint32_t code = 0;
        dbus_int64_t value = 0;
        if (dbus_message_get_args(call, nullptr, DBUS_TYPE_UINT32, &code, DBUS_TYPE_INT64, &value, DBUS_TYPE_INVALID)) {
            const dbus_bool_t ok = Command(code, value);
            reply = dbus_message_new_method_return(call);
            if (reply)
                dbus_message_append_args(reply, DBUS_TYPE_BOOLEAN, &ok, DBUS_TYPE_INVALID);
        } else {
            reply = dbus_message_new_error(call, DBUS_ERROR_INVALID_ARGS, "Command takes (u code, x value)");
        }
    } else if (isOurCall(call, "SetFramePeriod")) {
        dbus_uint32_t micros = 0;
        if (dbus_message_get_args(call, nullptr, DBUS_TYPE_UINT32, &micros, DBUS_TYPE_INVALID)) {
            const dbus_bool_t ok = SetFramePeriod(micros);
            reply = dbus_message_new_method_return(call);
            if (reply)
                dbus_message_append_args(reply, DBUS_TYPE_BOOLEAN, &ok, DBUS_TYPE_INVALID);
        } else {
            reply = dbus_message_new_error(call, DBUS_ERROR_INVALID_ARGS, "SetFramePeriod takes (u micros)");
        }
    } else if (dbus_message_is_method_call(call, DBUS_INTERFACE_INTROSPECTABLE, "Introspect")) {
        reply = dbus_message_new_method_return(call);
        if (reply)
            dbus_message_append_args(reply, DBUS_TYPE_STRING, &kIntrospection, DBUS_TYPE_INVALID);
    } else {
        return false;
    }
    if (reply) {
        if (!dbus_message_get_no_reply(call))
            m_bus.Send(reply);
        dbus_message_unref(reply);
    }
    return true;
}

bool AudioRecorderService::Command(uint32_t code, int64_t value) {
    switch (code) {
    case kPause:
        m_source->Pause();
        sendState({0, AudioRecorderState::Paused, 0, {}});
        return true;
    case kStart:
        return m_source->Start();
    case kRelease:
        m_source->Release();
        sendState({0, AudioRecorderState::Paused, 0, {}});
        return true;
    case kQuit:
        // The loop ends after this pass, so the call's answer is still written (Finish).
        quit();
        return true;
    case kRed:
    case kGreen:
    case kBlue:
        if (value < 0 || value > 255)
            return false;
        // The colour sliders of the main window: kept, though this recorder draws
        // nothing with them (the program colours the lights itself).
        m_tint[code - kRed] = static_cast<uint8_t>(value);
        return true;
    default:
        return false;
    }
}

bool AudioRecorderService::SetFramePeriod(uint32_t micros) {
    if (micros < AudioAnalyser::kMinPeriodUs || micros > AudioAnalyser::kMaxPeriodUs)
        return false;
    m_source->SetFramePeriod(micros);
    return true;
}

void AudioRecorderService::sendFrame(AudioFrame& frame) {
    // A late frame is worth nothing to the lights: while the bus has not taken the
    // earlier ones, new ones are dropped rather than queued behind them.
    if (m_writer.Connected() ? m_writer.Queued() > CopyDataWriter::kMaxQueuedBytes
                             : m_bus.QueuedBytes() > kMaxQueuedBytes) {
        ++m_dropped;
        return;
    }
    frame.sequence = ++m_sequence;
    std::array<uint8_t, kAudioFrameBytes> bytes;
    EncodeAudioFrame(frame, bytes);
    // Through the data connection it waits until the loop has handled what this wake-up
    // brought (FlushData), so that the frames of one wake-up go in one write.
    if (!m_writer.Connected() || !m_writer.QueueFrame(bytes))
        send(kAudioDataFrame, bytes.data(), bytes.size());
}

void AudioRecorderService::sendState(AudioStateReport report) {
    report.sequence = ++m_sequence;
    const std::vector<uint8_t> bytes = EncodeAudioState(report);
    // A state goes out at once, after any frames before it.
    if (m_writer.Connected() && m_writer.QueueState(bytes))
        m_writer.Flush();
    else
        send(kAudioDataState, bytes.data(), bytes.size());
}

void AudioRecorderService::send(uint32_t kind, const uint8_t* data, size_t size) {
    if (DBusMessage* call = NewCopyDataCall(m_owner, kind, data, size)) {
        m_bus.Send(call);
        dbus_message_unref(call);
    }
}

} // namespace talyx
