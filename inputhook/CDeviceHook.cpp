#include "inputhook/CDeviceHook.h"

#include <thread>

#include "keyboard/KeyTables.h"
#include "platform/MessageRegistry.h"
#include "platform/MessageTarget.h"

namespace talyx {

// What the backends' threads and the window's thread share: the queue of events of the
// current installation. A new installation starts a new generation, so an event of an
// earlier one that was on its way is dropped.
struct CDeviceHook::Shared {
    std::mutex lock;
    std::deque<HookEvent> queue;
    MessageTarget* target = nullptr;
    uint64_t generation = 0;
    bool posted = false;
};

namespace {

uint16_t virtualKeyOf(uint8_t scanCode, bool extended) {
    for (int row = 0; row < kPlainKeyRows; ++row)
        if (kPlainKeyScanCodes[row].code == scanCode && kPlainKeyScanCodes[row].extended == extended)
            return kKeyNameTable[row].virtualKey;
    return 0;
}

struct MouseMessages {
    uint32_t down;
    uint32_t up;
    uint32_t extra;
};
// By HookEvent button number, from 1.
constexpr MouseMessages kMouseMessages[] = {
    {kHookLeftDown, kHookLeftUp, 0},
    {kHookRightDown, kHookRightUp, 0},
    {kHookMiddleDown, kHookMiddleUp, 0},
    {kHookExtraDown, kHookExtraUp, kHookExtraBack},
    {kHookExtraDown, kHookExtraUp, kHookExtraForward},
};

} // namespace

CDeviceHook::CDeviceHook() : m_shared(std::make_shared<Shared>()) {
    RegisterHookMessages();
}

CDeviceHook::~CDeviceHook() {
    Uninstall();
}

void CDeviceHook::SetBackends(std::unique_ptr<InputHookBackend> global, std::unique_ptr<InputHookBackend> window) {
    Uninstall();
    m_global = std::move(global);
    m_window = std::move(window);
}

void CDeviceHook::SetGlobalBackend(std::unique_ptr<InputHookBackend> global) {
    Uninstall();
    m_global = std::move(global);
}

uint32_t CDeviceHook::DeliveryMessage() {
    static const uint32_t id = RegisterWindowMessage("TALYX_INPUT_HOOK_DELIVER");
    return id;
}

uint32_t CDeviceHook::EndedMessage() {
    static const uint32_t id = RegisterWindowMessage("TALYX_INPUT_HOOK_ENDED");
    return id;
}

std::string CDeviceHook::BackendName() const {
    if (m_active)
        return m_active->Name();
    return m_window ? m_window->Name() : std::string();
}

int CDeviceHook::Install(uintptr_t value, int mode, MessageTarget* window, bool ownHook, bool libraryHook) {
    Uninstall();
    if (!window)
        return 0;
    uint64_t generation = 0;
    {
        std::lock_guard<std::mutex> lock(m_shared->lock);
        generation = ++m_shared->generation;
        m_shared->target = window;
    }
    std::weak_ptr<Shared> weak = m_shared;
    const std::thread::id home = std::this_thread::get_id();
    auto sink = [this, weak, generation, home](const HookEvent& e) {
        auto shared = weak.lock();
        if (!shared)
            return;
        MessageTarget* target = nullptr;
        {
            std::lock_guard<std::mutex> lock(shared->lock);
            if (shared->generation != generation)
                return;
            shared->queue.push_back(e);
            if (std::this_thread::get_id() == home) {
                // A backend of the window's own thread: sent at once, as the event
                // happens, before anything else sees it.
                target = nullptr;
            } else if (shared->posted) {
                return;
            } else {
                shared->posted = true;
                target = shared->target;
            }
        }
        if (target)
            target->postMessage(DeliveryMessage(), 0, 0);
        else
            Deliver();
    };
    // Capturing one key needs only the window that waits for it; recording takes the
    // whole desktop's input where the system lets us.
    const bool recording = mode != kHookModeSingleKey;
    m_globalFailure.clear();
    InputHookBackend* started = nullptr;
    if (recording && m_global) {
        if (m_global->Start(sink, true))
            started = m_global.get();
        else
            m_globalFailure = "unavailable";
    }
    if (!started && m_window && m_window->Start(sink, recording))
        started = m_window.get();
    if (!started) {
        std::lock_guard<std::mutex> lock(m_shared->lock);
        ++m_shared->generation;
        m_shared->target = nullptr;
        return 0;
    }
    m_active = started;
    m_target = window;
    m_value = value;
    m_mode = mode;
    m_keys = ownHook;
    m_mouse = libraryHook;
    m_endReason.clear();
    return 1;
}

void CDeviceHook::Uninstall() {
    if (m_active)
        m_active->Stop();
    m_active = nullptr;
    std::lock_guard<std::mutex> lock(m_shared->lock);
    ++m_shared->generation;
    m_shared->queue.clear();
    m_shared->posted = false;
    m_shared->target = nullptr;
}

int CDeviceHook::Deliver() {
    int sent = 0;
    for (;;) {
        HookEvent e;
        {
            std::lock_guard<std::mutex> lock(m_shared->lock);
            if (m_shared->queue.empty()) {
                m_shared->posted = false;
                return sent;
            }
            e = std::move(m_shared->queue.front());
            m_shared->queue.pop_front();
        }
        if (e.kind == HookEvent::Kind::Ended) {
            m_endReason = e.reason;
            if (m_target)
                m_target->sendMessage(EndedMessage(), 0, 0);
            return sent;
        }
        if (!m_active)
            return sent;
        send(e);
        ++sent;
    }
}

void CDeviceHook::send(const HookEvent& e) {
    if (e.kind == HookEvent::Kind::Key && m_keys) {
        const uint32_t msg = KeyboardHookMessage(m_mode);
        if (!msg)
            return;
        KeyboardHookRecord record;
        record.virtualKey = virtualKeyOf(e.scanCode, e.extended);
        record.scanCode = e.scanCode;
        record.flags = e.extended ? kHookFlagExtended : 0;
        record.time = static_cast<uint32_t>(e.timeMs);
        const uint32_t what =
            e.down ? (e.system ? kHookSysKeyDown : kHookKeyDown) : (e.system ? kHookSysKeyUp : kHookKeyUp);
        m_target->sendMessage(msg, what, reinterpret_cast<LPARAM>(&record));
    } else if (e.kind == HookEvent::Kind::Mouse && m_mouse) {
        const uint32_t msg = MouseHookMessage(m_mode);
        if (!msg || e.button < 1 || e.button > 5)
            return;
        const MouseMessages& m = kMouseMessages[e.button - 1];
        MouseHookRecord record;
        record.x = e.x;
        record.y = e.y;
        if (!e.hasPosition && m_cursor)
            m_cursor(record.x, record.y);
        record.time = static_cast<uint32_t>(e.timeMs);
        record.buttonData = m.extra << 16;
        m_target->sendMessage(msg, e.down ? m.down : m.up, reinterpret_cast<LPARAM>(&record));
    }
}

} // namespace talyx
