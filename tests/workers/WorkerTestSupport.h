#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "platform/MessageTarget.h"

namespace talyx::test {

using SteadyClock = std::chrono::steady_clock;

inline double MsSince(SteadyClock::time_point start) {
    return std::chrono::duration<double, std::milli>(SteadyClock::now() - start).count();
}

// A main window as the workers see it: records every message with the time it came.
// sendMessage runs `onSend` on the caller's thread first, as the window would handle the
// message before the sender goes on.
class RecordingWindow : public MessageTarget {
public:
    struct Message {
        bool sent; // sendMessage rather than postMessage
        uint32_t msg;
        WPARAM wParam;
        LPARAM lParam;
        SteadyClock::time_point at;
    };

    std::function<void(uint32_t msg, WPARAM wParam)> onSend;

    bool postMessage(uint32_t msg, WPARAM wParam, LPARAM lParam) override {
        record({false, msg, wParam, lParam, SteadyClock::now()});
        return true;
    }
    LRESULT sendMessage(uint32_t msg, WPARAM wParam, LPARAM lParam) override {
        if (onSend)
            onSend(msg, wParam);
        record({true, msg, wParam, lParam, SteadyClock::now()});
        return 0;
    }

    std::vector<Message> messages() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_messages;
    }
    // The wParams of the messages with this id, in order.
    std::vector<WPARAM> params(uint32_t msg) const {
        std::vector<WPARAM> out;
        for (const Message& m : messages())
            if (m.msg == msg)
                out.push_back(m.wParam);
        return out;
    }
    // Waits until `count` messages with this id have come; false after timeoutMs.
    bool waitFor(uint32_t msg, size_t count, int timeoutMs) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
            size_t n = 0;
            for (const Message& m : m_messages)
                n += m.msg == msg;
            return n >= count;
        });
    }

private:
    void record(const Message& m) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_messages.push_back(m);
        m_changed.notify_all();
    }

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Message> m_messages;
};

} // namespace talyx::test
