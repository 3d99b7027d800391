#pragma once

#include <cstdint>

namespace talyx {

using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;

// A window as worker threads see it: a queue of numbered messages handled on the
// window's own thread.
//  - postMessage queues the message and returns at once (false when the window is gone);
//  - sendMessage returns only after the window's thread has handled the message and
//    gives its result; called on the window's own thread it handles the message directly.
class MessageTarget {
public:
    virtual ~MessageTarget() = default;
    virtual bool postMessage(uint32_t msg, WPARAM wParam, LPARAM lParam) = 0;
    virtual LRESULT sendMessage(uint32_t msg, WPARAM wParam, LPARAM lParam) = 0;
};

} // namespace talyx
