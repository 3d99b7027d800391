#pragma once

// A sound server of a test's own: PulseAudio on a socket in the test's runtime folder, with
// two null outputs, "one" (the default) and "two".

#include <QFile>
#include <QProcess>
#include <vector>

#include "tests/support/QtTestSupport.h"

namespace talyx::test {

// PulseAudio on a socket in the test's runtime folder, with outputs "one" and "two".
class SoundServer {
public:
    explicit SoundServer(const QString& runtime) {
        m_env = QProcessEnvironment::systemEnvironment();
        m_env.insert("XDG_RUNTIME_DIR", runtime);
        m_env.insert("HOME", runtime);
        m_env.remove("PULSE_SERVER");
        m_socket = runtime + "/pulse/native";
    }
    ~SoundServer() {
        for (QProcess* p : m_players) {
            p->kill();
            p->waitForFinished(2000);
            delete p;
        }
        m_server.kill();
        m_server.waitForFinished(3000);
    }
    bool start() {
        m_server.setProcessEnvironment(m_env);
        m_server.setProcessChannelMode(QProcess::MergedChannels);
        m_server.start("pulseaudio", {"-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=false", "-L",
                                      "module-null-sink sink_name=one", "-L", "module-null-sink sink_name=two", "-L",
                                      "module-native-protocol-unix"});
        if (!m_server.waitForStarted(5000))
            return false;
        return waitUntil([this] { return QFile::exists(m_socket) && run("pactl", {"info"}) == 0; }, 8000) &&
               run("pactl", {"set-default-sink", "one"}) == 0;
    }
    QString output() { return QString::fromUtf8(m_server.readAll()); }
    const QProcessEnvironment& environment() const { return m_env; }
    int run(const QString& program, const QStringList& args) {
        QProcess p;
        p.setProcessEnvironment(m_env);
        p.start(program, args);
        if (!p.waitForFinished(5000)) {
            p.kill();
            p.waitForFinished(1000);
            return -1;
        }
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }
    // Plays a file on the default output, without waiting for its end.
    void play(const QString& file) {
        auto* p = new QProcess;
        p->setProcessEnvironment(m_env);
        p->start("paplay", {file});
        m_players.push_back(p);
    }

private:
    QProcessEnvironment m_env;
    QString m_socket;
    QProcess m_server;
    std::vector<QProcess*> m_players;
};

} // namespace talyx::test
