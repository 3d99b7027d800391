#pragma once

// A stand-in for the system's input devices: a folder of event nodes (empty files the
// backend finds and watches), each backed by a pipe into which a test writes input_event
// records; grabs, held keys and the lock-key sink are recorded for the test to read.

#include <fcntl.h>
#include <linux/input.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "inputhook/EvdevSystem.h"
#include "tests/support/TestSupport.h"

namespace talyx::test {

class FakeInputTree : public EvdevSystem {
public:
    struct Shared {
        std::mutex lock;
        std::map<std::string, int> writeEnd; // by node name
        std::map<std::string, int> readEnd;
        std::map<std::string, Kind> kinds;
        std::map<std::string, bool> keyDown;
        std::map<int, std::string> open; // descriptor the backend holds -> node
        std::vector<std::string> grabs;  // "+event0" grabbed, "-event0" given back
        std::map<std::string, bool> grabbed;
        std::vector<std::string> injected; // "58 1": lock key passed on
        bool uinput = true;
        bool lockKeysOpen = false;
    };

    explicit FakeInputTree(std::shared_ptr<Shared> shared, std::string root)
        : m_shared(std::move(shared)), m_root(std::move(root)) {}

    std::string Root() const override { return m_root; }
    int Open(const std::string& path) override {
        std::lock_guard<std::mutex> lock(m_shared->lock);
        const std::string name = path.substr(path.rfind('/') + 1);
        auto it = m_shared->readEnd.find(name);
        if (it == m_shared->readEnd.end()) {
            errno = ENOENT;
            return -1;
        }
        const int fd = dup(it->second);
        fcntl(fd, F_SETFL, O_NONBLOCK);
        m_shared->open[fd] = name;
        return fd;
    }
    void Close(int fd) override {
        std::lock_guard<std::mutex> lock(m_shared->lock);
        m_shared->open.erase(fd);
        close(fd);
    }
    Kind Classify(int fd) override {
        std::lock_guard<std::mutex> lock(m_shared->lock);
        return m_shared->kinds[m_shared->open[fd]];
    }
    bool AnyKeyDown(int fd) override {
        std::lock_guard<std::mutex> lock(m_shared->lock);
        return m_shared->keyDown[m_shared->open[fd]];
    }
    bool Grab(int fd, bool on) override {
        std::lock_guard<std::mutex> lock(m_shared->lock);
        const std::string name = m_shared->open[fd];
        m_shared->grabs.push_back((on ? "+" : "-") + name);
        m_shared->grabbed[name] = on;
        return true;
    }
    bool OpenLockKeys() override {
        std::lock_guard<std::mutex> lock(m_shared->lock);
        m_shared->lockKeysOpen = m_shared->uinput;
        return m_shared->uinput;
    }
    void EmitLockKey(int code, bool down) override {
        std::lock_guard<std::mutex> lock(m_shared->lock);
        m_shared->injected.push_back(std::to_string(code) + (down ? " 1" : " 0"));
    }
    void CloseLockKeys() override {
        std::lock_guard<std::mutex> lock(m_shared->lock);
        m_shared->lockKeysOpen = false;
    }

private:
    std::shared_ptr<Shared> m_shared;
    std::string m_root;
};

// The test's side of the tree.
class InputTree {
public:
    InputTree() : shared(std::make_shared<FakeInputTree::Shared>()) {}
    ~InputTree() {
        for (auto& [name, fd] : shared->writeEnd)
            close(fd);
        for (auto& [name, fd] : shared->readEnd)
            close(fd);
    }
    std::unique_ptr<EvdevSystem> system() { return std::make_unique<FakeInputTree>(shared, dir.path()); }

    void add(const std::string& name, EvdevSystem::Kind kind) {
        int fds[2];
        ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
        {
            std::lock_guard<std::mutex> lock(shared->lock);
            shared->readEnd[name] = fds[0];
            shared->writeEnd[name] = fds[1];
            shared->kinds[name] = kind;
        }
        std::ofstream(dir.path() + "/" + name).flush();
    }
    // The device goes: its pipe closes and its node disappears.
    void unplug(const std::string& name) {
        std::lock_guard<std::mutex> lock(shared->lock);
        close(shared->writeEnd[name]);
        shared->writeEnd.erase(name);
        unlink((dir.path() + "/" + name).c_str());
    }
    void write(const std::string& name, int type, int code, int value, uint64_t ms) {
        input_event e{};
        e.input_event_sec = static_cast<decltype(e.input_event_sec)>(ms / 1000);
        e.input_event_usec = static_cast<decltype(e.input_event_usec)>((ms % 1000) * 1000);
        e.type = static_cast<uint16_t>(type);
        e.code = static_cast<uint16_t>(code);
        e.value = value;
        int fd;
        {
            std::lock_guard<std::mutex> lock(shared->lock);
            fd = shared->writeEnd[name];
        }
        ASSERT_EQ(::write(fd, &e, sizeof e), static_cast<ssize_t>(sizeof e));
    }
    // A key or button change and its report.
    void key(const std::string& name, int code, int value, uint64_t ms) {
        write(name, EV_KEY, code, value, ms);
        write(name, EV_SYN, SYN_REPORT, 0, ms);
    }
    void setKeyDown(const std::string& name, bool down) {
        std::lock_guard<std::mutex> lock(shared->lock);
        shared->keyDown[name] = down;
    }
    std::vector<std::string> grabs() {
        std::lock_guard<std::mutex> lock(shared->lock);
        return shared->grabs;
    }
    bool grabbed(const std::string& name) {
        std::lock_guard<std::mutex> lock(shared->lock);
        return shared->grabbed[name];
    }
    std::vector<std::string> injected() {
        std::lock_guard<std::mutex> lock(shared->lock);
        return shared->injected;
    }
    size_t openCount() {
        std::lock_guard<std::mutex> lock(shared->lock);
        return shared->open.size();
    }

    ScratchDir dir;
    std::shared_ptr<FakeInputTree::Shared> shared;
};

// Polls a condition that another thread makes true, for up to `timeoutMs`.
template <class F> bool eventually(F condition, int timeoutMs = 5000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

} // namespace talyx::test
