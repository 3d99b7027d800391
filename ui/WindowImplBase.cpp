#include "ui/WindowImplBase.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QEnterEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QWindow>
#include <QWindowStateChangeEvent>

#include "platform/Event.h"
#include "ui/CControlUI.h"
#include "ui/CDialogBuilder.h"
#include "ui/UIAttributes.h"
#include "ui/WindowMessages.h"

namespace talyx {
namespace {

bool onWayland() {
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

const QEvent::Type kPostedMessage = static_cast<QEvent::Type>(QEvent::registerEventType());
const QEvent::Type kSentMessage = static_cast<QEvent::Type>(QEvent::registerEventType());

struct PostedMessageEvent : QEvent {
    PostedMessageEvent(uint32_t m, WPARAM w, LPARAM l) : QEvent(kPostedMessage), msg(m), wParam(w), lParam(l) {}
    uint32_t msg;
    WPARAM wParam;
    LPARAM lParam;
};

} // namespace

struct WindowImplBase::PendingSend {
    uint32_t msg = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    LRESULT result = 0;
    Event done{true};
};

namespace {
struct SentMessageEvent : QEvent {
    explicit SentMessageEvent(std::shared_ptr<void> p) : QEvent(kSentMessage), pending(std::move(p)) {}
    std::shared_ptr<void> pending;
};
} // namespace

WindowImplBase::WindowImplBase(QWidget* parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), m_pm(this) {
    setAttribute(Qt::WA_TranslucentBackground, false);
    m_pm.AddNotifier(this);
}

WindowImplBase::~WindowImplBase() {
    {
        std::lock_guard<std::mutex> lock(m_sendMutex);
        m_closing = true;
        for (auto& p : m_pending)
            p->done.set();
        m_pending.clear();
    }
    m_pm.RemoveNotifier(this);
    // Controls go before the paint manager they point at.
    delete m_pm.GetRoot();
    m_pm.AttachDialog(nullptr);
}

bool WindowImplBase::Create(QWidget* parent, const QString& caption, const QRect& rect) {
    if (parent && parent != parentWidget())
        setParent(parent, windowFlags());
    setWindowTitle(caption);
    setObjectName(GetWindowClassName());
    CDialogBuilder builder;
    CControlUI* root = builder.Create(GetSkinFile(), this, &m_pm);
    if (!root)
        return false;
    root->setParent(this);
    m_pm.AttachDialog(root);
    m_caption = ParseMargins(builder.GetWindowAttribute(QStringLiteral("caption")));
    m_layoutSize = builder.GetWindowSize();
    QSize size = rect.isEmpty() ? m_layoutSize : rect.size();
    if (size.isEmpty())
        size = QSize(800, 600);
    m_normalLogicalSize = size;
    resize(m_pm.Scale(size.width()), m_pm.Scale(size.height()));
    if (!rect.isEmpty())
        move(rect.topLeft());
    root->setGeometry(0, 0, width(), height());
    root->show();
    InitWindow();
    m_pm.SendNotify(root, notify::kWindowInit, 0, 0, true);
    return true;
}

void WindowImplBase::Notify(TNotifyUI&) {}

CControlUI* WindowImplBase::CreateControl(const QString&) {
    return nullptr;
}

LRESULT WindowImplBase::HandleMessage(uint32_t msg, WPARAM wParam, LPARAM) {
    switch (msg) {
    case WM_SYSCOMMAND:
        if (wParam == SC_MINIMIZE) {
            showMinimized();
        } else if (wParam == SC_MAXIMIZE) {
            Maximise();
        } else if (wParam == SC_RESTORE) {
            // From the taskbar a minimised window comes back as it was; from the title
            // bar a maximised one goes back to its size.
            // A maximised window, ours or the window manager's, comes back maximised.
            if (isMinimized() || !isVisible()) {
                setWindowState(windowState() & ~Qt::WindowMinimized);
                show();
            } else
                Restore();
            raise();
            activateWindow();
        }
        return 0;
    case WM_CLOSE:
        Close();
        return 0;
    default:
        return 0;
    }
}

LRESULT WindowImplBase::dispatch(uint32_t msg, WPARAM wParam, LPARAM lParam) {
    if (m_destroyed && msg != WM_DESTROY)
        return 0;
    return HandleMessage(msg, wParam, lParam);
}

bool WindowImplBase::postMessage(uint32_t msg, WPARAM wParam, LPARAM lParam) {
    {
        std::lock_guard<std::mutex> lock(m_sendMutex);
        if (m_closing)
            return false;
    }
    QCoreApplication::postEvent(this, new PostedMessageEvent(msg, wParam, lParam));
    return true;
}

LRESULT WindowImplBase::sendMessage(uint32_t msg, WPARAM wParam, LPARAM lParam) {
    if (QThread::currentThread() == thread())
        return dispatch(msg, wParam, lParam);
    auto pending = std::make_shared<PendingSend>();
    pending->msg = msg;
    pending->wParam = wParam;
    pending->lParam = lParam;
    {
        std::lock_guard<std::mutex> lock(m_sendMutex);
        if (m_closing)
            return 0;
        m_pending.push_back(pending);
    }
    QCoreApplication::postEvent(this, new SentMessageEvent(pending));
    pending->done.wait(-1);
    return pending->result;
}

void WindowImplBase::customEvent(QEvent* event) {
    if (event->type() == kPostedMessage) {
        auto* e = static_cast<PostedMessageEvent*>(event);
        dispatch(e->msg, e->wParam, e->lParam);
    } else if (event->type() == kSentMessage) {
        auto pending = std::static_pointer_cast<PendingSend>(static_cast<SentMessageEvent*>(event)->pending);
        {
            std::lock_guard<std::mutex> lock(m_sendMutex);
            // Released already by the shutdown: the sender has gone on.
            if (pending->done.isSet())
                return;
        }
        pending->result = dispatch(pending->msg, pending->wParam, pending->lParam);
        std::lock_guard<std::mutex> lock(m_sendMutex);
        for (auto it = m_pending.begin(); it != m_pending.end(); ++it)
            if (*it == pending) {
                m_pending.erase(it);
                break;
            }
        pending->done.set();
    }
}

void WindowImplBase::SetWindowTimer(int id, int ms) {
    QTimer* t = m_windowTimers.value(id);
    if (!t) {
        t = new QTimer(this);
        t->setTimerType(ms < 100 ? Qt::PreciseTimer : Qt::CoarseTimer);
        connect(t, &QTimer::timeout, this, [this, id] { dispatch(WM_TIMER, static_cast<WPARAM>(id), 0); });
        m_windowTimers.insert(id, t);
    }
    t->start(ms);
}

void WindowImplBase::KillWindowTimer(int id) {
    if (QTimer* t = m_windowTimers.take(id)) {
        t->stop();
        t->deleteLater();
    }
}

bool WindowImplBase::HasWindowTimer(int id) const {
    QTimer* t = m_windowTimers.value(id);
    return t && t->isActive();
}

void WindowImplBase::ShowWindow(bool show, bool takeFocus) {
    if (!show) {
        hide();
        return;
    }
    if (takeFocus) {
        show ? QWidget::show() : void();
        raise();
        activateWindow();
    } else {
        setAttribute(Qt::WA_ShowWithoutActivating, true);
        QWidget::show();
        setAttribute(Qt::WA_ShowWithoutActivating, false);
    }
}

void WindowImplBase::CenterWindow() {
    QScreen* screen = nullptr;
    if (parentWidget() && parentWidget()->isVisible())
        screen = parentWidget()->screen();
    if (!screen)
        screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area =
        parentWidget() && parentWidget()->isVisible() ? parentWidget()->frameGeometry() : screen->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
}

int WindowImplBase::ShowModal() {
    setWindowModality(Qt::ApplicationModal);
    ShowWindow(true, true);
    QEventLoop loop;
    m_modalLoop = &loop;
    if (!m_destroyed)
        loop.exec();
    m_modalLoop = nullptr;
    return m_modalResult;
}

void WindowImplBase::Close(int code) {
    m_modalResult = code;
    destroyWindow();
}

void WindowImplBase::destroyWindow() {
    if (m_destroyed)
        return;
    {
        std::lock_guard<std::mutex> lock(m_sendMutex);
        m_closing = true;
        for (auto& p : m_pending)
            p->done.set();
        m_pending.clear();
    }
    for (QTimer* t : m_windowTimers)
        t->stop();
    dispatch(WM_DESTROY, 0, 0);
    m_destroyed = true;
    hide();
    if (m_modalLoop)
        m_modalLoop->quit();
    OnFinalMessage();
}

void WindowImplBase::ApplyDPI(int dpi) {
    const int old = m_pm.GetDPI();
    if (dpi <= 0 || dpi == old)
        return;
    m_pm.SetDPI(dpi);
    resize(qRound(width() * double(dpi) / old), qRound(height() * double(dpi) / old));
}

void WindowImplBase::Maximise() {
    if (!CanMaximise() || m_maximised)
        return;
    QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    if (isMinimized())
        showNormal();
    m_normalGeometry = geometry();
    m_normalDpi = m_pm.GetDPI();
    const int dpi = maximisedDpi(size(), area);
    m_maximised = true;
    if (dpi != m_normalDpi)
        m_pm.SetDPI(dpi);
    // A Wayland compositor places windows itself and is asked for the state instead.
    if (onWayland())
        showMaximized();
    else
        setGeometry(area);
    OnMaximisedChanged(true);
    update();
}

void WindowImplBase::Restore() {
    if (!m_maximised)
        return;
    m_maximised = false;
    if (m_pm.GetDPI() != m_normalDpi)
        m_pm.SetDPI(m_normalDpi);
    if (onWayland()) {
        showNormal();
        resize(m_normalGeometry.size());
    } else {
        // Maximised by the window manager, which gives the normal place back itself.
        if (m_maximisedByManager || (windowState() & Qt::WindowMaximized))
            showNormal();
        else
            setGeometry(m_normalGeometry);
    }
    m_maximisedByManager = false;
    OnMaximisedChanged(false);
    update();
}

int WindowImplBase::maximisedDpi(const QSize& normal, const QRect& area) const {
    const double grow =
        qMin(double(area.width()) / qMax(1, normal.width()), double(area.height()) / qMax(1, normal.height()));
    return qMax(m_normalDpi, int(m_normalDpi * grow));
}

void WindowImplBase::followSystemState(Qt::WindowStates old) {
    const Qt::WindowStates now = windowState();
    if (now & Qt::WindowMinimized)
        return;
    if ((now & Qt::WindowMaximized) && !m_maximised) {
        // The window manager has maximised the window and sized it: the layout grows to
        // fill it as after the title bar's button.
        if (!CanMaximise())
            return;
        // The window already has the manager's size here; the normal one is the window's
        // own at the present scale, and the manager keeps the normal place itself.
        m_normalDpi = m_pm.GetDPI();
        m_normalGeometry =
            QRect(pos(), QSize(m_pm.Scale(m_normalLogicalSize.width()), m_pm.Scale(m_normalLogicalSize.height())));
        QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
        const int dpi = screen ? maximisedDpi(m_normalGeometry.size(), screen->availableGeometry()) : m_normalDpi;
        m_maximised = true;
        m_maximisedByManager = true;
        if (dpi != m_normalDpi)
            m_pm.SetDPI(dpi);
        OnMaximisedChanged(true);
        update();
    } else if (!(now & Qt::WindowMaximized) && (old & Qt::WindowMaximized) && m_maximised) {
        // It has restored the window: the scale comes back; the size is the manager's.
        m_maximised = false;
        m_maximisedByManager = false;
        if (m_pm.GetDPI() != m_normalDpi)
            m_pm.SetDPI(m_normalDpi);
        OnMaximisedChanged(false);
        update();
    }
}

void WindowImplBase::ShowStatus(const QString&, const QStringList&, StatusKind) {}

void WindowImplBase::ShowStatusFor(QWidget* widget, const QString& textId, const QStringList& args, StatusKind kind) {
    for (QWidget* w = widget; w; w = w->parentWidget())
        if (auto* wnd = qobject_cast<WindowImplBase*>(w)) {
            wnd->ShowStatus(textId, args, kind);
            return;
        }
}

void WindowImplBase::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange)
        dispatch(WM_ACTIVATE, isActiveWindow() ? 1 : 0, 0);
    else if (event->type() == QEvent::WindowStateChange)
        followSystemState(static_cast<QWindowStateChangeEvent*>(event)->oldState());
    QWidget::changeEvent(event);
}

void WindowImplBase::closeEvent(QCloseEvent* event) {
    // The window manager's close button asks like WM_CLOSE; the window decides.
    event->ignore();
    if (!m_destroyed)
        dispatch(WM_CLOSE, 0, 0);
}

void WindowImplBase::enterEvent(QEnterEvent* event) {
    dispatch(WM_MOUSEHOVER, 0, 0);
    QWidget::enterEvent(event);
}

void WindowImplBase::leaveEvent(QEvent* event) {
    dispatch(WM_MOUSELEAVE, 0, 0);
    QWidget::leaveEvent(event);
}

void WindowImplBase::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && parentWidget() && !m_destroyed) {
        event->accept();
        dispatch(WM_CLOSE, 0, 0);
        return;
    }
    QWidget::keyPressEvent(event);
}

bool WindowImplBase::inCaption(const QPoint& pos) const {
    const QRect caption(QPoint(m_pm.Scale(m_caption.left()), m_pm.Scale(m_caption.top())),
                        QPoint(width() - m_pm.Scale(m_caption.right()) - 1, m_pm.Scale(m_caption.bottom()) - 1));
    return caption.contains(pos);
}

void WindowImplBase::mousePressEvent(QMouseEvent* event) {
    // Presses that no control took move the window when they are in the caption; a
    // maximised window stays where it is.
    if (event->button() == Qt::LeftButton && inCaption(event->position().toPoint()) && windowHandle() && !m_maximised)
        windowHandle()->startSystemMove();
    QWidget::mousePressEvent(event);
}

void WindowImplBase::mouseDoubleClickEvent(QMouseEvent* event) {
    // A double click on the caption maximises and restores, as on any desktop.
    if (event->button() == Qt::LeftButton && CanMaximise() && inCaption(event->position().toPoint()))
        m_maximised ? Restore() : Maximise();
    QWidget::mouseDoubleClickEvent(event);
}

void WindowImplBase::resizeEvent(QResizeEvent* event) {
    if (CControlUI* root = m_pm.GetRoot())
        root->setGeometry(0, 0, width(), height());
    QWidget::resizeEvent(event);
}

} // namespace talyx
