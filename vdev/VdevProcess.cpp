#include "vdev/VdevProcess.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <json/writer.h>

#include "platform/JsonFile.h"
#include "platform/Paths.h"

namespace talyx::vdev {
namespace {

using Clock = std::chrono::steady_clock;

int msLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

} // namespace

VdevProcess::~VdevProcess() {
    stop();
}

std::string VdevProcess::ExecutablePath() {
    const char* env = std::getenv("TALYX_VDEV");
    if (env && *env)
        return env;
    return JoinPath(ExecutableDir(), "talyx-vdev");
}

bool VdevProcess::start(const std::string& busFolder, const std::vector<std::string>& devices,
                        const std::vector<std::string>& extraArgs, int timeoutMs) {
    if (running())
        stop();
    m_lastError.clear();
    m_busFolder = busFolder;
    while (m_busFolder.size() > 1 && m_busFolder.back() == '/')
        m_busFolder.pop_back();
    if (!MakeDirs(m_busFolder)) {
        m_lastError = "cannot create " + m_busFolder;
        return false;
    }
    // Beside the bus folder, not in it: the bus holds device sockets only.
    m_controlPath = m_busFolder + ".ctl";
    std::vector<std::string> args = {ExecutablePath(), "--bus", m_busFolder};
    bool ownControl = false;
    for (size_t i = 0; i + 1 < extraArgs.size(); ++i) {
        if (extraArgs[i] == "--control") {
            m_controlPath = extraArgs[i + 1];
            ownControl = true;
        }
    }
    if (!ownControl) {
        args.push_back("--control");
        args.push_back(m_controlPath);
    }
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    args.insert(args.end(), devices.begin(), devices.end());

    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const char* debug = std::getenv("TALYX_DEBUG");
    const bool quiet = !(debug && std::strcmp(debug, "1") == 0);

    const pid_t pid = fork();
    if (pid < 0) {
        m_lastError = std::string("fork: ") + std::strerror(errno);
        return false;
    }
    if (pid == 0) {
        const int null = open("/dev/null", O_RDWR);
        if (null >= 0) {
            dup2(null, STDIN_FILENO);
            if (quiet)
                dup2(null, STDERR_FILENO);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    m_pid = pid;
    if (!connectControl(timeoutMs)) {
        const std::string why = m_lastError;
        stop(500);
        m_lastError = why;
        return false;
    }
    return true;
}

bool VdevProcess::connectControl(int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    sockaddr_un addr;
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (m_controlPath.size() >= sizeof addr.sun_path) {
        m_lastError = "control path too long: " + m_controlPath;
        return false;
    }
    std::memcpy(addr.sun_path, m_controlPath.c_str(), m_controlPath.size() + 1);
    for (;;) {
        int status = 0;
        if (m_pid > 0 && waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            m_lastError = "talyx-vdev (" + ExecutablePath() + ") exited with status " +
                          std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
            return false;
        }
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
            m_control = fd;
            m_pending.clear();
            return true;
        }
        if (fd >= 0)
            close(fd);
        if (msLeft(deadline) == 0) {
            m_lastError = "talyx-vdev did not open its control socket " + m_controlPath;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void VdevProcess::closeControl() {
    if (m_control >= 0)
        close(m_control);
    m_control = -1;
    m_pending.clear();
}

Json::Value VdevProcess::request(const Json::Value& request, int timeoutMs) {
    if (m_control < 0 && (!running() || !connectControl(timeoutMs)))
        return Json::Value();
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    const std::string line = Json::writeString(builder, request) + "\n";
    size_t sent = 0;
    while (sent < line.size()) {
        const ssize_t n = send(m_control, line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            m_lastError = std::string("control send: ") + std::strerror(errno);
            closeControl();
            return Json::Value();
        }
        sent += static_cast<size_t>(n);
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const size_t newline = m_pending.find('\n');
        if (newline != std::string::npos) {
            const std::string text = m_pending.substr(0, newline);
            m_pending.erase(0, newline + 1);
            bool ok = false;
            Json::Value reply = parseJson(text, &ok);
            if (!ok)
                m_lastError = "control reply is not JSON: " + text;
            return ok ? reply : Json::Value();
        }
        pollfd p{m_control, POLLIN, 0};
        const int ready = poll(&p, 1, msLeft(deadline));
        if (ready <= 0) {
            m_lastError = "talyx-vdev did not answer within " + std::to_string(timeoutMs) + " ms";
            closeControl();
            return Json::Value();
        }
        char buffer[65536];
        const ssize_t n = recv(m_control, buffer, sizeof buffer, 0);
        if (n <= 0) {
            m_lastError = "control connection closed";
            closeControl();
            return Json::Value();
        }
        m_pending.append(buffer, static_cast<size_t>(n));
    }
}

Json::Value VdevProcess::request(const std::string& json, int timeoutMs) {
    bool ok = false;
    const Json::Value value = parseJson(json, &ok);
    if (!ok) {
        m_lastError = "request is not JSON: " + json;
        return Json::Value();
    }
    return request(value, timeoutMs);
}

Json::Value VdevProcess::state(int timeoutMs) {
    Json::Value req(Json::objectValue);
    req["cmd"] = "state";
    const Json::Value reply = request(req, timeoutMs);
    if (!reply.isObject() || !reply["ok"].asBool())
        return Json::Value();
    return reply["devices"];
}

std::vector<std::string> VdevProcess::socketPaths(int device) {
    std::vector<std::string> paths;
    const Json::Value devices = state();
    if (!devices.isArray() || device < 0 || device >= static_cast<int>(devices.size()))
        return paths;
    for (const Json::Value& name : devices[device]["collections"])
        paths.push_back(JoinPath(m_busFolder, name.asString()));
    return paths;
}

bool VdevProcess::stop(int timeoutMs) {
    if (!running()) {
        closeControl();
        return false;
    }
    if (m_control >= 0) {
        Json::Value req(Json::objectValue);
        req["cmd"] = "quit";
        request(req, std::min(timeoutMs, 1000));
    } else {
        kill(m_pid, SIGTERM);
    }
    closeControl();
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(m_pid, &status, WNOHANG);
        if (done == m_pid) {
            m_pid = -1;
            return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        }
        if (done < 0 || msLeft(deadline) == 0)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    kill(m_pid, SIGKILL);
    waitpid(m_pid, &status, 0);
    m_pid = -1;
    m_lastError = "talyx-vdev did not stop within " + std::to_string(timeoutMs) + " ms";
    return false;
}

} // namespace talyx::vdev
