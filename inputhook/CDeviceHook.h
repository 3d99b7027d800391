#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "inputhook/HookRecords.h"
#include "inputhook/InputHookBackend.h"

namespace talyx {

class MessageTarget;

// The input hook the main window owns. Installed in a mode, it sends each key event to
// the window as the mode's registered message (wParam: key down or up, lParam: the
// address of a KeyboardHookRecord) and each mouse button event as the mode's mouse
// message (wParam: the button message, lParam: a MouseHookRecord). The records are valid
// while the message is handled.
//
// Events come from a backend: the global one (evdev) when it can start, else the one of
// the program's own windows. Backends may deliver on their own threads; the events are
// queued and the window is asked, by the delivery message, to call Deliver on its thread,
// where the messages are sent. All other calls are for the window's thread.
class CDeviceHook {
public:
    CDeviceHook();
    ~CDeviceHook();
    CDeviceHook(const CDeviceHook&) = delete;
    CDeviceHook& operator=(const CDeviceHook&) = delete;

    // The backends, either may be null. The global one is tried first for recording; key
    // capture for the key assignment page uses the window's own.
    void SetBackends(std::unique_ptr<InputHookBackend> global, std::unique_ptr<InputHookBackend> window);
    InputHookBackend* GlobalBackend() const { return m_global.get(); }
    // Replaces the global backend only (null: none).
    void SetGlobalBackend(std::unique_ptr<InputHookBackend> global);
    // Where the pointer is on the screen, for backends that report buttons only.
    void SetCursorSource(std::function<bool(int32_t& x, int32_t& y)> source) { m_cursor = std::move(source); }

    // Removes a hook that is set, then starts delivery for `mode` to `window`: keyboard
    // events when `ownHook` is set, mouse button events when `libraryHook` is. Returns 1,
    // or 0 when no backend could start (nothing is then stored).
    int Install(uintptr_t value, int mode, MessageTarget* window, bool ownHook, bool libraryHook);
    // Stops delivery; waiting events are dropped. Safe when not installed.
    void Uninstall();
    bool IsInstalled() const { return m_active != nullptr; }
    int Mode() const { return m_mode; }
    uintptr_t Value() const { return m_value; }
    // The name of the backend that delivers now, or of the one that would record.
    std::string BackendName() const;
    // Why the global backend could not be used at the last install, or empty.
    const std::string& GlobalFailure() const { return m_globalFailure; }

    // The private message that asks the window to call Deliver, and the one that tells it
    // that the backend stopped on its own (wParam 0; the reason is EndReason()).
    static uint32_t DeliveryMessage();
    static uint32_t EndedMessage();
    // Sends every queued event to the window. Returns how many were sent.
    int Deliver();
    const std::string& EndReason() const { return m_endReason; }

private:
    struct Shared;
    void onEvent(const HookEvent& e);
    void send(const HookEvent& e);

    std::unique_ptr<InputHookBackend> m_global;
    std::unique_ptr<InputHookBackend> m_window;
    InputHookBackend* m_active = nullptr;
    std::shared_ptr<Shared> m_shared;
    MessageTarget* m_target = nullptr;
    uintptr_t m_value = 0;
    int m_mode = 0;
    bool m_keys = false;
    bool m_mouse = false;
    std::string m_globalFailure;
    std::string m_endReason;
    std::function<bool(int32_t&, int32_t&)> m_cursor;
};

} // namespace talyx
