#include "app/InputHookHost.h"

#include <QCursor>

#include "app/CDevicePageUI.h"
#include "app/CMainWnd.h"
#include "app/KeyboardPage.h"
#include "editors/CKeySetControlUI.h"
#include "editors/CMacroControlUI.h"
#include "editors/WindowInputCapture.h"
#include "inputhook/EvdevInputBackend.h"
#include "platform/Debug.h"
#include "platform/MessageRegistry.h"

namespace talyx {

InputHookHost::InputHookHost(CMainWnd* window) : m_window(window) {
    auto capture = std::make_unique<WindowInputCapture>();
    m_windowCapture = capture.get();
    m_hook.SetBackends(MakeEvdevInputBackend(), std::move(capture));
    // The global backend reports buttons without a position; the pointer is where the
    // window system has it.
    m_hook.SetCursorSource([](int32_t& x, int32_t& y) {
        const QPoint at = QCursor::pos();
        x = at.x();
        y = at.y();
        return true;
    });
}

InputHookHost::~InputHookHost() {
    EndRecording();
    m_hook.Uninstall();
}

void InputHookHost::OnInputHookMessage(WPARAM wParam) {
    if (m_recording)
        return;
    if (wParam == 1)
        m_hook.Install(0, kHookModeSingleKey, m_window, true, true);
    else if (m_hook.Mode() == kHookModeSingleKey)
        m_hook.Uninstall();
}

bool InputHookHost::StartRecording(CMacroControlUI* page, int mode, std::string& backend, std::string& why) {
    if (m_recording && m_recording != page)
        m_recording->StopRecording();
    if (!m_hook.Install(reinterpret_cast<uintptr_t>(page), mode, m_window, true, true))
        return false;
    m_recording = page;
    backend = m_hook.BackendName();
    why = m_hook.GlobalFailure();
    // The global backend may not take the keyboard (no uinput); the keys then still reach
    // the window, where they must not land in a control.
    m_windowCapture->SwallowKeys(backend != m_windowCapture->Name());
    return true;
}

void InputHookHost::StopRecording(CMacroControlUI* page) {
    if (m_recording != page)
        return;
    m_recording = nullptr;
    m_hook.Uninstall();
    m_windowCapture->SwallowKeys(false);
}

void InputHookHost::EndRecording(QObject* within) {
    if (m_hook.Mode() == kHookModeSingleKey)
        m_hook.Uninstall();
    CMacroControlUI* page = m_recording;
    if (!page)
        return;
    if (within) {
        bool inside = false;
        for (QObject* o = page; o && !inside; o = o->parent())
            inside = o == within;
        if (!inside)
            return;
    }
    page->StopRecording();
    // A page that could not tell its host still loses the hook.
    StopRecording(page);
}

bool InputHookHost::HandleMessage(uint32_t msg, WPARAM wParam, LPARAM lParam, bool awake) {
    if (msg < kFirstRegisteredMessage)
        return false;
    if (msg == CDeviceHook::DeliveryMessage()) {
        m_hook.Deliver();
        return true;
    }
    if (msg == CDeviceHook::EndedMessage()) {
        DebugOutput("input hook ended: " + m_hook.EndReason());
        EndRecording();
        return true;
    }
    bool mouse = false;
    const int mode = HookModeOfMessage(msg, mouse);
    if (!mode)
        return false;
    if (!awake || !lParam)
        return true;
    if (mode == kHookModeSingleKey && !mouse) {
        const auto& record = *reinterpret_cast<const KeyboardHookRecord*>(lParam);
        if (wParam != kHookKeyDown && wParam != kHookSysKeyDown)
            return true;
        for (CDevicePageUI* page : m_window->Pages(DeviceTypeKeyboard))
            if (page->isVisible() && page->Keyboard() && page->Keyboard()->KeySet())
                page->Keyboard()->KeySet()->CaptureKey(static_cast<uint8_t>(record.scanCode),
                                                       (record.flags & kHookFlagExtended) != 0);
        return true;
    }
    if (!m_recording)
        return true;
    if (mouse) {
        if (mode == kHookModeAppend)
            DebugOutput("WM_HOOK_KEY_MSMACRO");
        m_recording->RecordMouse(mode, static_cast<uint32_t>(wParam),
                                 *reinterpret_cast<const MouseHookRecord*>(lParam));
    } else {
        m_recording->RecordKey(mode, static_cast<uint32_t>(wParam),
                               *reinterpret_cast<const KeyboardHookRecord*>(lParam));
    }
    return true;
}

} // namespace talyx
