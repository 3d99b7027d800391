#pragma once

#include <QByteArray>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>

#include "device/AudioGain.h"

class QProcess;
class QTimer;

namespace talyx {

// The program's side of the audio recorder (talyx-audio): runs it while some device shows
// an audio mode and never otherwise, takes its data and checks it, and restarts it a few
// times when it dies.
//
// Data is taken only from the recorder this client started: the bus connection that sends
// it must belong to that process (asked of the bus once per sender). A block of the wrong
// length or layout, a sequence number that does not move on, or a time-stamp in the future
// or older than kStaleUs is dropped and counted.
//
// Stopping never waits on the recorder: commands 2, 4 and 5 go out without waiting for an
// answer, and a recorder that is still there after kStopGraceMs is terminated, then killed.
// At the program's end (Shutdown) the wait is bounded by kShutdownWaitMs in all.
class AudioRecorderClient : public QObject {
    Q_OBJECT
public:
    enum class State {
        Off,         // not wanted
        Starting,    // started, no word from it yet
        Capturing,   // frames are coming
        NoServer,    // it runs, but there is no sound server
        NoOutput,    // it runs, but the server has no output to listen to
        Unavailable, // it died kMaxRestarts times, or cannot be started
    };
    static constexpr int kMaxRestarts = 3;
    static constexpr int kRestartDelayMs = 1000;
    static constexpr int kStopGraceMs = 1000;
    static constexpr int kShutdownWaitMs = 500;
    static constexpr uint64_t kStaleUs = 1000000;
    static constexpr uint64_t kFutureUs = 100000;

    using FrameSink = std::function<void(const AudioInput&, uint64_t timestampUs)>;
    using StateSink = std::function<void(State)>;

    explicit AudioRecorderClient(QObject* parent = nullptr);
    ~AudioRecorderClient() override;

    void SetSinks(FrameSink frames, StateSink states);
    // The recorder's executable: TALYX_AUDIO_PROGRAM, else talyx-audio beside ours.
    static QString ProgramPath();
    // Arguments added to the recorder's command line (a test's file input).
    void SetExtraArguments(const QStringList& args) { m_extraArgs = args; }

    // Starts the recorder when wanted and not running, stops it when running and not
    // wanted; a new period goes to a running recorder. Being wanted again after a stop
    // gives a recorder that was unavailable a fresh set of restarts.
    void SetWanted(bool wanted, uint32_t periodUs);
    bool Wanted() const { return m_wanted; }
    // A CopyData call that reached the program, with the sender's unique bus name.
    void OnCopyData(const QString& sender, uint32_t kind, const QByteArray& data);
    // The program ends: stop the recorder within a bounded time.
    void Shutdown();

    State CurrentState() const { return m_state; }
    bool Running() const;
    qint64 ProcessId() const;
    uint64_t AcceptedFrames() const { return m_accepted; }
    uint64_t RefusedBlocks() const { return m_refused; }

private:
    void start();
    void stop();
    // Commands 2, 4 and 5, sent without waiting for the answers.
    void askToLeave();
    void onFinished();
    void setState(State s);
    bool senderIsOurs(const QString& sender);
    void command(uint code, qlonglong value);

    QProcess* m_process = nullptr;
    QTimer* m_restartTimer = nullptr;
    FrameSink m_frames;
    StateSink m_states;
    QStringList m_extraArgs;
    bool m_wanted = false;
    bool m_stopping = false;
    int m_restarts = 0;
    uint32_t m_periodUs = 10000;
    State m_state = State::Off;
    QString m_peer;
    QSet<QString> m_strangers;
    bool m_haveSequence = false;
    uint32_t m_lastSequence = 0;
    uint64_t m_accepted = 0;
    uint64_t m_refused = 0;
};

} // namespace talyx
