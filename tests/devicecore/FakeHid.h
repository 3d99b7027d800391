#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device/transport/HidBackend.h"

namespace talyx::test {

using Packet = std::vector<uint8_t>;

inline std::string Hex(const Packet& p) {
    std::string out;
    char b[4];
    for (size_t i = 0; i < p.size(); ++i) {
        std::snprintf(b, sizeof b, "%02x", p[i]);
        out += (i ? " " : "");
        out += b;
    }
    return out;
}

// The vendor collection of the keyboard: report id 4, 64-byte input and output reports.
inline std::vector<uint8_t> VendorDescriptor() {
    return {0x06, 0x1C, 0xFF, 0x09, 0x92, 0xA1, 0x01, 0x06, 0x1C, 0xFF, 0x85, 0x04, 0x15, 0x00, 0x26,
            0xFF, 0x00, 0x75, 0x08, 0x95, 0x3F, 0x09, 0x01, 0x81, 0x02, 0x09, 0x02, 0x91, 0x02, 0xC0};
}

// A reply as the keyboard makes it.
inline Packet Reply(uint8_t command, uint8_t status = 0, const Packet& data = {}) {
    Packet r(64, 0);
    r[0] = 0x04;
    r[3] = command;
    r[7] = status;
    for (size_t i = 0; i < data.size() && 8 + i < 64; ++i)
        r[8 + i] = data[i];
    return r;
}

// What one open collection has seen and will answer, shared by the test and the fake.
// Replies come from the queue first, then from the responder (which sees each written
// packet); an empty queue is a time-out, returned at once so tests never wait.
struct FakeLink {
    std::mutex mutex;
    std::vector<Packet> written;
    std::deque<Packet> replies;
    std::function<std::vector<Packet>(const Packet&)> responder;
    std::vector<int> writeTimeouts;
    std::vector<int> readTimeouts;
    int reads = 0;
    bool failWrites = false;
    // A read waits while `hold` is set (a transaction that is still under way).
    bool hold = false;
    bool holding = false;
    std::condition_variable holdChanged;

    std::vector<Packet> writtenPackets() {
        std::lock_guard<std::mutex> lock(mutex);
        return written;
    }
    void release() {
        std::lock_guard<std::mutex> lock(mutex);
        hold = false;
        holdChanged.notify_all();
    }
    void waitUntilHolding() {
        std::unique_lock<std::mutex> lock(mutex);
        holdChanged.wait(lock, [this] { return holding; });
    }
};

class FakeConnection : public HidConnection {
public:
    explicit FakeConnection(std::shared_ptr<FakeLink> link) : m_link(std::move(link)) {}
    HidStatus read(uint8_t* buffer, size_t len, size_t& got, int timeoutMs) override {
        got = 0;
        std::unique_lock<std::mutex> lock(m_link->mutex);
        m_link->readTimeouts.push_back(timeoutMs);
        ++m_link->reads;
        if (m_link->hold) {
            m_link->holding = true;
            m_link->holdChanged.notify_all();
            m_link->holdChanged.wait(lock, [this] { return !m_link->hold; });
            m_link->holding = false;
        }
        if (m_link->replies.empty())
            return HidStatus::TimedOut;
        Packet p = m_link->replies.front();
        m_link->replies.pop_front();
        got = std::min(len, p.size());
        std::memcpy(buffer, p.data(), got);
        return HidStatus::Ok;
    }
    HidStatus write(const uint8_t* buffer, size_t len, size_t& written, int timeoutMs) override {
        std::lock_guard<std::mutex> lock(m_link->mutex);
        m_link->writeTimeouts.push_back(timeoutMs);
        written = 0;
        if (m_link->failWrites)
            return HidStatus::IoError;
        Packet p(buffer, buffer + len);
        m_link->written.push_back(p);
        if (m_link->responder) {
            for (Packet& r : m_link->responder(p))
                m_link->replies.push_back(std::move(r));
        }
        written = len;
        return HidStatus::Ok;
    }
    void cancel() override {}

private:
    std::shared_ptr<FakeLink> m_link;
};

// A backend with one link per path.
class FakeBackend : public HidBackend {
public:
    std::shared_ptr<FakeLink> link(const std::string& path) {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto& l = m_links[path];
        if (!l)
            l = std::make_shared<FakeLink>();
        return l;
    }
    bool enumerate(std::vector<std::string>& paths) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        paths.clear();
        for (const auto& [p, l] : m_links)
            paths.push_back(p);
        return true;
    }
    HidStatus open(const std::string& path, bool, bool, HidNodeInfo& info,
                   std::unique_ptr<HidConnection>& connection) override {
        if (path.empty())
            return HidStatus::Gone;
        auto l = link(path);
        info.attributes.vendorId = 0x320F;
        info.attributes.productId = 0x5078;
        info.reportDescriptor = VendorDescriptor();
        connection = std::make_unique<FakeConnection>(l);
        return HidStatus::Ok;
    }
    bool probe(const std::string&) override { return true; }

private:
    std::mutex m_mutex;
    std::map<std::string, std::shared_ptr<FakeLink>> m_links;
};

// A responder that answers every request with a success reply of the same command.
inline std::vector<Packet> EchoSuccess(const Packet& request) {
    return {Reply(request[3])};
}

} // namespace talyx::test
