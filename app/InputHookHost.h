#pragma once

#include <QPointer>
#include <memory>

#include "inputhook/CDeviceHook.h"
#include "platform/MessageTarget.h"

namespace talyx {

class CMacroControlUI;
class CMainWnd;
class KeyboardPage;
class WindowInputCapture;

// The main window's input hook and the routing of its messages: key capture for the key
// assignment page (message 1054) and recording for a macro page. It also ends a recording
// whenever the window can no longer stand behind it (closed, asleep, device gone).
// User-interface thread only.
class InputHookHost {
public:
    explicit InputHookHost(CMainWnd* window);
    ~InputHookHost();

    CDeviceHook& Hook() { return m_hook; }
    WindowInputCapture* WindowCapture() const { return m_windowCapture; }

    // Message 1054: wParam 1 installs key capture (mode 1), 0 removes it. A recording
    // that runs is left alone.
    void OnInputHookMessage(WPARAM wParam);
    // The hook's messages (delivery, end, and the registered key and mouse messages).
    // True when `msg` was one of them; `awake` false drops them.
    bool HandleMessage(uint32_t msg, WPARAM wParam, LPARAM lParam, bool awake);

    // For a macro page: installs the hook for recording in `mode`.
    bool StartRecording(CMacroControlUI* page, int mode, std::string& backend, std::string& why);
    void StopRecording(CMacroControlUI* page);
    // Ends a recording that runs (the page unlocks and saves). With `page`, only one of
    // that device page.
    void EndRecording(QObject* within = nullptr);
    CMacroControlUI* RecordingPage() const { return m_recording; }

private:
    CMainWnd* m_window;
    CDeviceHook m_hook;
    WindowInputCapture* m_windowCapture = nullptr;
    QPointer<CMacroControlUI> m_recording;
};

} // namespace talyx
