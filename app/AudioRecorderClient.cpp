#include "app/AudioRecorderClient.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDir>
#include <QProcess>
#include <QTimer>

#include "audio/AudioFrame.h"
#include "platform/Debug.h"

namespace talyx {
namespace {

static_assert(kAudioBands == kAudioInputBands, "the recorder's bands are the devices' bands");

} // namespace

AudioRecorderClient::AudioRecorderClient(QObject* parent) : QObject(parent) {
    m_restartTimer = new QTimer(this);
    m_restartTimer->setSingleShot(true);
    connect(m_restartTimer, &QTimer::timeout, this, [this] {
        if (m_wanted && !Running())
            start();
    });
}

AudioRecorderClient::~AudioRecorderClient() {
    Shutdown();
}

void AudioRecorderClient::SetSinks(FrameSink frames, StateSink states) {
    m_frames = std::move(frames);
    m_states = std::move(states);
}

QString AudioRecorderClient::ProgramPath() {
    const QString env = qEnvironmentVariable("TALYX_AUDIO_PROGRAM");
    if (!env.isEmpty())
        return env;
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("talyx-audio"));
}

bool AudioRecorderClient::Running() const {
    return m_process && m_process->state() != QProcess::NotRunning;
}

qint64 AudioRecorderClient::ProcessId() const {
    return m_process ? m_process->processId() : 0;
}

void AudioRecorderClient::setState(State s) {
    if (s == m_state)
        return;
    m_state = s;
    if (m_states)
        m_states(s);
}

void AudioRecorderClient::SetWanted(bool wanted, uint32_t periodUs) {
    const bool periodChanged = periodUs != m_periodUs;
    m_periodUs = periodUs;
    if (wanted == m_wanted) {
        if (wanted && periodChanged && Running())
            QDBusConnection::sessionBus().send(QDBusMessage::createMethodCall(kAudioRecorderService, kAudioRecorderPath,
                                                                              kAudioRecorderService,
                                                                              QStringLiteral("SetFramePeriod"))
                                               << static_cast<uint>(periodUs));
        return;
    }
    m_wanted = wanted;
    if (wanted) {
        m_restarts = 0;
        start();
    } else {
        m_restartTimer->stop();
        stop();
        setState(State::Off);
    }
}

void AudioRecorderClient::start() {
    // A recorder still leaving is waited for: its end starts the new one.
    if (Running())
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        setState(State::Unavailable);
        return;
    }
    delete m_process;
    m_process = new QProcess(this);
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process->setStandardOutputFile(QProcess::nullDevice());
    connect(m_process, &QProcess::finished, this, [this] { onFinished(); });
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart)
            onFinished();
    });
    m_peer.clear();
    m_strangers.clear();
    m_haveSequence = false;
    m_stopping = false;
    QStringList args = {QStringLiteral("--owner"), bus.baseService(), QStringLiteral("--period-ms"),
                        QString::number(std::max<uint32_t>(2, m_periodUs / 1000))};
    args += m_extraArgs;
    setState(State::Starting);
    m_process->start(ProgramPath(), args);
}

void AudioRecorderClient::command(uint code, qlonglong value) {
    QDBusMessage call = QDBusMessage::createMethodCall(kAudioRecorderService, kAudioRecorderPath, kAudioRecorderService,
                                                       QStringLiteral("Command"));
    call.setAutoStartService(false);
    call << code << value;
    // Sent without waiting: a recorder that hangs must not hold the program.
    QDBusConnection::sessionBus().send(call);
}

void AudioRecorderClient::askToLeave() {
    m_stopping = true;
    command(2, 0); // pause
    command(4, 0); // let go of the sound server
    command(5, 0); // quit
}

void AudioRecorderClient::stop() {
    if (!Running())
        return;
    askToLeave();
    QProcess* p = m_process;
    QTimer::singleShot(kStopGraceMs, p, [p] {
        if (p->state() != QProcess::NotRunning)
            p->terminate();
    });
    QTimer::singleShot(2 * kStopGraceMs, p, [p] {
        if (p->state() != QProcess::NotRunning)
            p->kill();
    });
}

void AudioRecorderClient::Shutdown() {
    m_wanted = false;
    m_restartTimer->stop();
    if (!Running())
        return;
    askToLeave();
    if (!m_process->waitForFinished(kShutdownWaitMs)) {
        m_process->kill();
        m_process->waitForFinished(100);
    }
}

void AudioRecorderClient::onFinished() {
    if (m_stopping) {
        m_stopping = false;
        // Wanted again while the old one was still leaving: now it has gone, start anew.
        if (m_wanted)
            start();
        return;
    }
    if (!m_wanted)
        return;
    // It died while wanted: try again a few times, then give up and say so.
    if (m_restarts < kMaxRestarts) {
        ++m_restarts;
        DebugOutputF("audio recorder ended; restart %d of %d", m_restarts, kMaxRestarts);
        m_restartTimer->start(kRestartDelayMs);
        return;
    }
    setState(State::Unavailable);
}

bool AudioRecorderClient::senderIsOurs(const QString& sender) {
    if (!m_peer.isEmpty())
        return sender == m_peer;
    if (m_strangers.contains(sender) || !Running())
        return false;
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    const QDBusReply<uint> pid = bus ? bus->servicePid(sender) : QDBusReply<uint>();
    if (pid.isValid() && static_cast<qint64>(pid.value()) == m_process->processId()) {
        m_peer = sender;
        return true;
    }
    m_strangers.insert(sender);
    DebugOutputF("audio data from %s refused: not our recorder", qPrintable(sender));
    return false;
}

void AudioRecorderClient::OnCopyData(const QString& sender, uint32_t kind, const QByteArray& data) {
    if (!senderIsOurs(sender)) {
        ++m_refused;
        return;
    }
    const auto* bytes = reinterpret_cast<const uint8_t*>(data.constData());
    const size_t size = static_cast<size_t>(data.size());
    uint32_t sequence = 0;
    AudioFrame frame;
    AudioStateReport report;
    if (kind == kAudioDataFrame && DecodeAudioFrame(bytes, size, frame)) {
        sequence = frame.sequence;
    } else if (kind == kAudioDataState && DecodeAudioState(bytes, size, report)) {
        sequence = report.sequence;
    } else {
        ++m_refused;
        return;
    }
    // Blocks that do not move the sequence on are repeats or replays.
    if (m_haveSequence && static_cast<int32_t>(sequence - m_lastSequence) <= 0) {
        ++m_refused;
        return;
    }
    if (kind == kAudioDataFrame) {
        const uint64_t now = MonotonicMicros();
        if (frame.timestampUs > now + kFutureUs || frame.timestampUs + kStaleUs < now) {
            ++m_refused;
            return;
        }
    }
    m_haveSequence = true;
    m_lastSequence = sequence;
    if (kind == kAudioDataState) {
        switch (report.state) {
        case AudioRecorderState::Capturing:
            setState(State::Capturing);
            break;
        case AudioRecorderState::NoServer:
            setState(State::NoServer);
            break;
        case AudioRecorderState::NoOutput:
            setState(State::NoOutput);
            break;
        default:
            break;
        }
        return;
    }
    ++m_accepted;
    setState(State::Capturing);
    AudioInput input;
    input.level = frame.level;
    input.bands = frame.bands;
    if (m_frames)
        m_frames(input, frame.timestampUs);
}

} // namespace talyx
