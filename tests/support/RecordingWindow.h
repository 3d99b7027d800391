#pragma once

// A window for tests: records every message posted or sent to it, in order.

#include <vector>

#include "platform/MessageTarget.h"

namespace talyx::test {

class RecordingWindow : public MessageTarget {
public:
    struct Message {
        uint32_t msg;
        WPARAM wParam;
        LPARAM lParam;
    };
    bool postMessage(uint32_t msg, WPARAM w, LPARAM l) override {
        messages.push_back({msg, w, l});
        return true;
    }
    LRESULT sendMessage(uint32_t msg, WPARAM w, LPARAM l) override {
        messages.push_back({msg, w, l});
        return 0;
    }
    std::vector<Message> messages;
};

} // namespace talyx::test
