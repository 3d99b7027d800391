#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

#include <json/value.h>

namespace talyx::vdev {

// Runs talyx-vdev for a test: starts it on a bus folder, waits until its sockets exist,
// talks to its control socket and stops it.
//
//   VdevProcess vdev;
//   ASSERT_TRUE(vdev.start(bus.path(), {"keyboard"})) << vdev.lastError();
//   vdev.request(R"({"cmd":"fault","kind":"no-reply"})");
//   Json::Value state = vdev.state();
//
// Every call blocks at most for its time-out. Not thread-safe.
class VdevProcess {
public:
    VdevProcess() = default;
    ~VdevProcess();
    VdevProcess(const VdevProcess&) = delete;
    VdevProcess& operator=(const VdevProcess&) = delete;

    // The program: $TALYX_VDEV when set, else talyx-vdev beside the running executable.
    static std::string ExecutablePath();

    // Starts the program serving `devices` on busFolder (created when missing), with a
    // control socket in the same folder's parent (or extraArgs' own --control), and waits up
    // to timeoutMs until the control socket answers. False, with lastError(), on failure.
    bool start(const std::string& busFolder, const std::vector<std::string>& devices,
               const std::vector<std::string>& extraArgs = {}, int timeoutMs = 5000);
    bool running() const { return m_pid > 0; }
    pid_t pid() const { return m_pid; }
    const std::string& controlPath() const { return m_controlPath; }
    const std::string& busFolder() const { return m_busFolder; }
    const std::string& lastError() const { return m_lastError; }

    // Sends one request and returns the reply; a null value when the program does not
    // answer within timeoutMs (lastError() tells why).
    Json::Value request(const Json::Value& request, int timeoutMs = 5000);
    // The same with the request as JSON text.
    Json::Value request(const std::string& json, int timeoutMs = 5000);
    Json::Value request(const char* json, int timeoutMs = 5000) { return request(std::string(json), timeoutMs); }
    // {"cmd":"state"}: the devices' state (the "devices" array of the reply), or null.
    Json::Value state(int timeoutMs = 5000);
    // The socket paths (in the bus folder) of one device's collections.
    std::vector<std::string> socketPaths(int device = 0);

    // Asks the program to quit, waits up to timeoutMs, then kills it. True when it ended
    // by itself with status 0.
    bool stop(int timeoutMs = 3000);

private:
    bool connectControl(int timeoutMs);
    void closeControl();

    pid_t m_pid = -1;
    int m_control = -1;
    std::string m_controlPath;
    std::string m_busFolder;
    std::string m_pending;
    std::string m_lastError;
};

} // namespace talyx::vdev
