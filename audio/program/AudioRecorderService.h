#pragma once

#include <QObject>
#include <QString>
#include <array>
#include <memory>

#include "audio/AudioFrame.h"
#include "audio/program/AudioSource.h"

class QDBusServiceWatcher;

namespace talyx {

// The recorder on the session bus: owns org.talyx.AudioRecorder, takes the program's
// commands and sends it the audio data (docs/dbus.md). It serves one program, named by
// its bus name, and quits when that name leaves the bus.
class AudioRecorderService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.talyx.AudioRecorder")
public:
    // The recorder's commands (the value travels in the second argument).
    static constexpr uint kPause = 2;
    static constexpr uint kStart = 3;
    static constexpr uint kRelease = 4;
    static constexpr uint kQuit = 5;
    static constexpr uint kRed = 6;
    static constexpr uint kGreen = 7;
    static constexpr uint kBlue = 8;

    AudioRecorderService(std::unique_ptr<AudioSource> source, QString owner, QObject* parent = nullptr);
    ~AudioRecorderService() override;
    // Takes the bus name, exports the object, watches the owner and starts the capture.
    // False (with the reason on standard error) when the bus, the name or the owner is
    // not there.
    bool Run();

public slots:
    // A recorder command; false for an unknown code or a value out of range.
    bool Command(uint code, qlonglong value);
    // The frame period of the lighting, in microseconds (2000 to 100000).
    bool SetFramePeriod(uint micros);

private:
    void sendFrame(AudioFrame frame);
    void sendState(AudioStateReport report);
    void send(uint32_t kind, const std::vector<uint8_t>& data);

    std::unique_ptr<AudioSource> m_source;
    QString m_owner;
    QDBusServiceWatcher* m_watcher = nullptr;
    uint32_t m_sequence = 0;
    AudioStateReport m_lastState;
    std::array<uint8_t, 3> m_tint{};
};

} // namespace talyx
