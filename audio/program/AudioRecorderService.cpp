#include "audio/program/AudioRecorderService.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QMetaObject>
#include <cstdio>

#include "audio/AudioAnalyser.h"
#include "audio/AudioFrame.h"
#include "platform/Product.h"

namespace talyx {

AudioRecorderService::AudioRecorderService(std::unique_ptr<AudioSource> source, QString owner, QObject* parent)
    : QObject(parent), m_source(std::move(source)), m_owner(std::move(owner)) {
    // The source calls from its own thread; the frames are sent from this one.
    m_source->SetCallbacks(
        [this](AudioFrame& f) {
            QMetaObject::invokeMethod(
                this, [this, f] { sendFrame(f); }, Qt::QueuedConnection);
        },
        [this](const AudioStateReport& s) {
            QMetaObject::invokeMethod(
                this, [this, s] { sendState(s); }, Qt::QueuedConnection);
        });
}

AudioRecorderService::~AudioRecorderService() {
    // The source's thread ends before the callbacks' target goes.
    m_source.reset();
}

bool AudioRecorderService::Run() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()) {
        std::fprintf(stderr, "talyx-audio: no session bus\n");
        return false;
    }
    if (!bus.interface()->isServiceRegistered(m_owner)) {
        std::fprintf(stderr, "talyx-audio: %s is not on the bus\n", qPrintable(m_owner));
        return false;
    }
    // Watch before anything else, so a program that goes right now is not missed.
    m_watcher = new QDBusServiceWatcher(m_owner, bus, QDBusServiceWatcher::WatchForUnregistration, this);
    connect(m_watcher, &QDBusServiceWatcher::serviceUnregistered, this, [] { QCoreApplication::exit(0); });
    if (!bus.interface()->isServiceRegistered(m_owner))
        return false;
    if (!bus.registerObject(QString::fromLatin1(kAudioRecorderPath), this, QDBusConnection::ExportAllSlots)) {
        std::fprintf(stderr, "talyx-audio: the object cannot be exported\n");
        return false;
    }
    if (!bus.registerService(QString::fromLatin1(kAudioRecorderService))) {
        std::fprintf(stderr, "talyx-audio: another recorder owns %s\n", kAudioRecorderService);
        return false;
    }
    return m_source->Start();
}

bool AudioRecorderService::Command(uint code, qlonglong value) {
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
        // After this call's answer has gone out.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
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

bool AudioRecorderService::SetFramePeriod(uint micros) {
    if (micros < AudioAnalyser::kMinPeriodUs || micros > AudioAnalyser::kMaxPeriodUs)
        return false;
    m_source->SetFramePeriod(micros);
    return true;
}

void AudioRecorderService::sendFrame(AudioFrame frame) {
    frame.sequence = ++m_sequence;
    send(kAudioDataFrame, EncodeAudioFrame(frame));
}

void AudioRecorderService::sendState(AudioStateReport report) {
    report.sequence = ++m_sequence;
    m_lastState = report;
    send(kAudioDataState, EncodeAudioState(report));
}

void AudioRecorderService::send(uint32_t kind, const std::vector<uint8_t>& data) {
    QDBusMessage call = QDBusMessage::createMethodCall(m_owner, QString::fromLatin1(kBusPath),
                                                       QString::fromLatin1(kBusInterface), QStringLiteral("CopyData"));
    call.setAutoStartService(false);
    // wParam would be the sender's window handle; there is none, so 0.
    call << kind << static_cast<qulonglong>(0)
         << QByteArray(reinterpret_cast<const char*>(data.data()), static_cast<int>(data.size()));
    QDBusConnection::sessionBus().send(call);
}

} // namespace talyx
