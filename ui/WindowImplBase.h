#pragma once

#include <QHash>
#include <QMargins>
#include <QRect>
#include <QStringList>
#include <QWidget>
#include <deque>
#include <memory>
#include <mutex>

#include "platform/MessageTarget.h"
#include "ui/CPaintManagerUI.h"
#include "ui/UIDefs.h"

class QEventLoop;
class QTimer;

namespace talyx {

class CControlUI;

// A skinned top-level window: it builds its layout from the skin, receives its
// controls' notifications in Notify, and handles numbered messages in HandleMessage on
// its own thread. Other threads reach it through postMessage and sendMessage; a
// sendMessage that is waiting when the window is destroyed returns 0 instead of
// blocking the caller for ever.
class WindowImplBase : public QWidget,
                       public MessageTarget,
                       public INotifyUI,
                       public IDialogBuilderCallback,
                       public IQueryControlText {
    Q_OBJECT
public:
    explicit WindowImplBase(QWidget* parent = nullptr);
    ~WindowImplBase() override;

    // Builds the layout and prepares the window: caption, size from the layout (or the
    // given size when it is not empty), then InitWindow(); "windowinit" follows from
    // the message loop. False when the layout cannot be built.
    bool Create(QWidget* parent, const QString& caption, const QRect& rect = QRect());

    virtual QString GetSkinFile() const = 0;
    virtual QString GetWindowClassName() const = 0;
    virtual void InitWindow() {}
    void Notify(TNotifyUI& msg) override;
    CControlUI* CreateControl(const QString& className) override;
    QString QueryControlText(const QString&, const QString&) override { return QString(); }

    // Handles a numbered message; the default does the window's system commands
    // (minimise, maximise, restore) and WM_CLOSE.
    virtual LRESULT HandleMessage(uint32_t msg, WPARAM wParam, LPARAM lParam);

    bool postMessage(uint32_t msg, WPARAM wParam, LPARAM lParam) override;
    LRESULT sendMessage(uint32_t msg, WPARAM wParam, LPARAM lParam) override;

    // Window timers: HandleMessage(WM_TIMER, id, 0) after `ms` and then every `ms`.
    void SetWindowTimer(int id, int ms);
    void KillWindowTimer(int id);
    bool HasWindowTimer(int id) const;

    void ShowWindow(bool show = true, bool takeFocus = true);
    void CenterWindow();
    // Shows the window and runs a local loop until Close(); returns the close code.
    int ShowModal();
    // Destroys the window (WM_DESTROY, then OnFinalMessage).
    void Close(int code = IDOK_CODE);
    bool IsDestroyed() const { return m_destroyed; }
    CPaintManagerUI& PaintManager() { return m_pm; }
    CControlUI* FindControl(const QString& name) const { return m_pm.FindControl(name); }
    // Applies a DPI to the window's controls and scales the window with it.
    void ApplyDPI(int dpi);

    // Maximise and restore, done by the window itself: a frameless window gets no help
    // from a window manager, and there may be none. Maximise remembers the size, position
    // and DPI, fills the available area of the window's screen and raises the DPI by the
    // factor the window grew (never lowers it), so the whole layout grows with it; Restore
    // gives all three back. Only windows that offer it (CanMaximise) do either. A window
    // manager that maximises or restores the window itself (a shortcut, a drag to the top of
    // the screen) is followed the same way: the layout's scale and the title bar's buttons
    // go with its state.
    void Maximise();
    void Restore();
    bool IsMaximised() const { return m_maximised; }
    virtual bool CanMaximise() const { return false; }

    // Status feedback: a short translated text in the window's status line, which returns
    // to its resting text after a while. `textId` is a language id; its text may hold %1,
    // %2... filled from `args` in order. kError texts stay longer and stand out. Windows
    // without a status line ignore it. User-interface thread only.
    enum class StatusKind { Info, Success, Error };
    virtual void ShowStatus(const QString& textId, const QStringList& args = {}, StatusKind kind = StatusKind::Info);
    // The same on the skinned window that holds `widget` (any control of a page): pages
    // and editors call this instead of knowing the main window.
    static void ShowStatusFor(QWidget* widget, const QString& textId, const QStringList& args = {},
                              StatusKind kind = StatusKind::Info);
    // The window's size in logical units as the layout gave it.
    QSize LayoutSize() const { return m_layoutSize; }

    static constexpr int IDOK_CODE = 1;

protected:
    // Called once after WM_DESTROY; windows that delete themselves do it here.
    virtual void OnFinalMessage() {}
    // After Maximise or Restore (title-bar buttons follow the state here).
    virtual void OnMaximisedChanged(bool maximised) { (void)maximised; }

    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void customEvent(QEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    // Esc asks a secondary window to close as its close button would.
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

    CPaintManagerUI m_pm;
    // Caption as the layout writes it: left inset, top, right inset, bottom edge.
    QMargins m_caption;

private:
    struct PendingSend;
    void destroyWindow();
    bool inCaption(const QPoint& pos) const;
    LRESULT dispatch(uint32_t msg, WPARAM wParam, LPARAM lParam);
    // The DPI at which a window of the normal size fills `area`.
    int maximisedDpi(const QSize& normal, const QRect& area) const;
    void followSystemState(Qt::WindowStates old);

    std::mutex m_sendMutex;
    std::deque<std::shared_ptr<PendingSend>> m_pending;
    bool m_closing = false;
    bool m_destroyed = false;
    QHash<int, QTimer*> m_windowTimers;
    QEventLoop* m_modalLoop = nullptr;
    int m_modalResult = 0;
    QSize m_layoutSize;
    bool m_maximised = false;
    bool m_maximisedByManager = false;
    QSize m_normalLogicalSize; // the window's size at 96 DPI, as it was made
    QRect m_normalGeometry;
    int m_normalDpi = 96;
};

} // namespace talyx
