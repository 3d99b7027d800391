#pragma once

#include <cstddef>
#include <cstdint>

namespace talyx {

// The event records an input hook hands to its window with each message. The window's
// handler reads them while the message is being sent; they live no longer than that.

// A key event: the virtual-key code (0 when the key has none), the set-1 make code, the
// flags (bit 0: the key carries the 0xE0 prefix) and the time in milliseconds of the
// program's clock.
struct KeyboardHookRecord {
    uint32_t virtualKey = 0;
    uint32_t scanCode = 0;
    uint32_t flags = 0;
    uint32_t time = 0;
    uintptr_t extraInfo = 0;
};
inline constexpr uint32_t kHookFlagExtended = 0x01;

// A mouse button event: the pointer's position in screen coordinates, the time, and for
// the extra buttons their number (1 back, 2 forward) in the high 16 bits of buttonData.
struct MouseHookRecord {
    int32_t x = 0;
    int32_t y = 0;
    uint32_t flags = 0;
    uint32_t time = 0;
    uint32_t reserved = 0;
    uint32_t buttonData = 0;
};
static_assert(offsetof(MouseHookRecord, x) == 0 && offsetof(MouseHookRecord, y) == 4 &&
                  offsetof(MouseHookRecord, buttonData) == 20,
              "peers read the mouse record by these offsets");

// wParam of a keyboard hook message.
inline constexpr uint32_t kHookKeyDown = 256;
inline constexpr uint32_t kHookKeyUp = 257;
inline constexpr uint32_t kHookSysKeyDown = 260;
inline constexpr uint32_t kHookSysKeyUp = 261;
// wParam of a mouse hook message.
inline constexpr uint32_t kHookLeftDown = 513;
inline constexpr uint32_t kHookLeftUp = 514;
inline constexpr uint32_t kHookRightDown = 516;
inline constexpr uint32_t kHookRightUp = 517;
inline constexpr uint32_t kHookMiddleDown = 519;
inline constexpr uint32_t kHookMiddleUp = 520;
inline constexpr uint32_t kHookExtraDown = 523;
inline constexpr uint32_t kHookExtraUp = 524;
inline constexpr uint32_t kHookExtraBack = 1;
inline constexpr uint32_t kHookExtraForward = 2;

// Hook modes: what the window does with the events it gets.
inline constexpr int kHookModeSingleKey = 1; // capture one key for the key assignment page
inline constexpr int kHookModeHitKey = 2;    // not acted on
inline constexpr int kHookModeAppend = 4;    // record: append actions
inline constexpr int kHookModePrevious = 8;  // record: insert before the selected action
inline constexpr int kHookModeLater = 16;    // record: insert after the selected action
inline constexpr int kHookModeSingle = 32;   // replace the key of the selected action
inline constexpr int kHookModeMouseSingle = 256;
inline constexpr int kHookModeMouseHit = 512;
inline constexpr int kHookModeMouseMacro = 1024;

// The registered message a keyboard event is sent with in a mode, or 0 for a mode that
// sends none. Registers the hook's names on first use.
uint32_t KeyboardHookMessage(int mode);
// The registered message a mouse button event is sent with in a recording mode (append,
// previous, later, single), or 0.
uint32_t MouseHookMessage(int mode);
// The mode whose keyboard or mouse message this is, or 0.
int HookModeOfMessage(uint32_t msg, bool& mouse);
// Registers all twenty names the hook and its peers use, so that each has its id from
// the start. Thread-safe; the same ids every time.
void RegisterHookMessages();

} // namespace talyx
