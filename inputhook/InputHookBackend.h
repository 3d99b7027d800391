#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace talyx {

// One key or mouse button event as a backend sees it, already in the hook's terms.
struct HookEvent {
    enum class Kind { Key, Mouse, Ended };
    Kind kind = Kind::Key;
    bool down = false;
    // Keys: set-1 make code, 0xE0 prefix, and Alt held (a "system" key).
    uint8_t scanCode = 0;
    bool extended = false;
    bool system = false;
    // Mouse: 1 left, 2 right, 3 middle, 4 back, 5 forward; screen position.
    int button = 0;
    int32_t x = 0;
    int32_t y = 0;
    // False when the backend does not know where the pointer is (the hook asks the
    // window's system for it).
    bool hasPosition = true;
    // Milliseconds of the program's clock (only differences matter).
    uint64_t timeMs = 0;
    // Ended: why the backend stopped on its own (focus lost, reader failed).
    std::string reason;
};
inline constexpr int kHookButtonLeft = 1;
inline constexpr int kHookButtonRight = 2;
inline constexpr int kHookButtonMiddle = 3;
inline constexpr int kHookButtonBack = 4;
inline constexpr int kHookButtonForward = 5;

// Where key and mouse events come from while a hook is installed.
//  - Start begins delivery to `sink`, which may be called on any thread, never after
//    Stop has returned. `exclusive` asks that other programs see no key while it runs
//    (recording); a backend gives what it can. False when the backend cannot deliver at
//    all; nothing is then held.
//  - Stop ends delivery and gives back everything Start took (grabs, devices). It may be
//    called when not started.
//  - A backend that stops on its own delivers one event of kind Ended.
class InputHookBackend {
public:
    using Sink = std::function<void(const HookEvent&)>;
    virtual ~InputHookBackend() = default;
    // A short name for the window ("evdev", "window").
    virtual std::string Name() const = 0;
    virtual bool Start(Sink sink, bool exclusive) = 0;
    virtual void Stop() = 0;
};

} // namespace talyx
