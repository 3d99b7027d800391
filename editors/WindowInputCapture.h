#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QWidget>
#include <mutex>

#include "inputhook/InputHookBackend.h"

class QKeyEvent;

namespace talyx {

// The input hook backend that is always there: key and mouse button events of the
// program's own windows while one of them has the focus. Key events are taken before any
// control sees them (typed keys reach no edit and fire no shortcut); auto-repeats are
// dropped. Mouse events are reported and still reach the controls, so the stop button
// can be clicked. With `exclusive` on X11 the keyboard is grabbed too, which keeps the
// desktop's shortcuts from firing, and given back on Stop. The focus leaving the program,
// or its active window being hidden or minimised, ends delivery (an Ended event). Runs on
// the user-interface thread.
class WindowInputCapture : public QObject, public InputHookBackend {
    Q_OBJECT
public:
    WindowInputCapture();
    ~WindowInputCapture() override;
    std::string Name() const override { return "window"; }
    bool Start(Sink sink, bool exclusive) override;
    void Stop() override;
    bool IsRunning() const { return m_running; }
    // While another backend records: keys typed into the program's windows are only
    // taken, so that no control of the window being recorded into receives them.
    void SwallowKeys(bool on);
    bool IsSwallowingKeys() const { return m_swallow; }
    // The window that holds the keyboard grab, if any.
    QWidget* GrabbingWindow() const { return m_grab; }

    // The set-1 code of a key event: from the native code on X11 and Wayland (the input
    // code + 8), else from the Qt key; false when the key has none.
    static bool ScanCodeOfKeyEvent(const QKeyEvent& event, uint8_t& scanCode, bool& extended);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void onFocusWindowChanged();
    void end(const char* reason);

    Sink m_sink;
    bool m_running = false;
    bool m_swallow = false;
    QPointer<QWidget> m_grab;
    QPointer<QWidget> m_window;
    // The last mouse event reported: a widget that ignores an event passes it to its
    // parent, and the window and the widget both see it.
    int m_lastMouseType = 0;
    int m_lastMouseButton = 0;
    quint64 m_lastMouseTime = 0;
    QPoint m_lastMousePos;
};

} // namespace talyx
