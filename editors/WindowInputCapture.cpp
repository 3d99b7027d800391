#include "editors/WindowInputCapture.h"

#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

#include "inputhook/ScanCodes.h"
#include "keyboard/KeyTables.h"
#include "platform/Clock.h"

namespace talyx {
namespace {

// Virtual-key codes of the keys Qt names, for platforms that give no native scan code.
struct QtVirtualKey {
    int qtKey;
    uint16_t virtualKey;
};
constexpr QtVirtualKey kQtVirtualKeys[] = {
    {Qt::Key_Return, 0x0D},     {Qt::Key_Enter, 0x0D},       {Qt::Key_Escape, 0x1B},       {Qt::Key_Backspace, 0x08},
    {Qt::Key_Tab, 0x09},        {Qt::Key_Backtab, 0x09},     {Qt::Key_Space, 0x20},        {Qt::Key_Minus, 0xBD},
    {Qt::Key_Equal, 0xBB},      {Qt::Key_BracketLeft, 0xDB}, {Qt::Key_BracketRight, 0xDD}, {Qt::Key_Backslash, 0xDC},
    {Qt::Key_Semicolon, 0xBA},  {Qt::Key_Apostrophe, 0xDE},  {Qt::Key_QuoteLeft, 0xC0},    {Qt::Key_Comma, 0xBC},
    {Qt::Key_Period, 0xBE},     {Qt::Key_Slash, 0xBF},       {Qt::Key_CapsLock, 0x14},     {Qt::Key_Print, 0x2C},
    {Qt::Key_ScrollLock, 0x91}, {Qt::Key_Pause, 0x13},       {Qt::Key_Insert, 0x2D},       {Qt::Key_Home, 0x24},
    {Qt::Key_PageUp, 0x21},     {Qt::Key_Delete, 0x2E},      {Qt::Key_End, 0x23},          {Qt::Key_PageDown, 0x22},
    {Qt::Key_Right, 0x27},      {Qt::Key_Left, 0x25},        {Qt::Key_Down, 0x28},         {Qt::Key_Up, 0x26},
    {Qt::Key_NumLock, 0x90},    {Qt::Key_Menu, 0x5D},        {Qt::Key_Control, 0xA2},      {Qt::Key_Shift, 0xA0},
    {Qt::Key_Alt, 0xA4},        {Qt::Key_AltGr, 0xA5},       {Qt::Key_Meta, 0x5B},         {Qt::Key_Super_L, 0x5B},
    {Qt::Key_Super_R, 0x5C},
};
constexpr QtVirtualKey kQtKeypadKeys[] = {
    {Qt::Key_Slash, 0x6F}, {Qt::Key_Asterisk, 0x6A}, {Qt::Key_Minus, 0x6D},
    {Qt::Key_Plus, 0x6B},  {Qt::Key_Enter, 0x101},   {Qt::Key_Period, 0x6E},
};

uint16_t virtualKeyOf(const QKeyEvent& e) {
    const int key = e.key();
    if (e.modifiers() & Qt::KeypadModifier) {
        if (key >= Qt::Key_0 && key <= Qt::Key_9)
            return static_cast<uint16_t>(0x60 + (key - Qt::Key_0));
        for (const QtVirtualKey& k : kQtKeypadKeys)
            if (k.qtKey == key)
                return k.virtualKey;
    }
    if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9))
        return static_cast<uint16_t>(key); // the same codes
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12)
        return static_cast<uint16_t>(0x70 + (key - Qt::Key_F1));
    for (const QtVirtualKey& k : kQtVirtualKeys)
        if (k.qtKey == key)
            return k.virtualKey;
    return 0;
}

int hookButton(Qt::MouseButton b) {
    switch (b) {
    case Qt::LeftButton:
        return kHookButtonLeft;
    case Qt::RightButton:
        return kHookButtonRight;
    case Qt::MiddleButton:
        return kHookButtonMiddle;
    case Qt::BackButton:
        return kHookButtonBack;
    case Qt::ForwardButton:
        return kHookButtonForward;
    default:
        return 0;
    }
}

} // namespace

bool WindowInputCapture::ScanCodeOfKeyEvent(const QKeyEvent& e, uint8_t& scanCode, bool& extended) {
    // X11 and Wayland give the key's evdev code + 8; elsewhere the key is found by its
    // virtual key, which tells no right modifier from the left one.
    const int native = static_cast<int>(e.nativeScanCode());
    if (native > 8)
        return Set1OfEvdevKey(native - 8, scanCode, extended);
    const int row = FindPlainKeyByVirtualKey(virtualKeyOf(e));
    if (row < 0)
        return false;
    scanCode = kPlainKeyScanCodes[row].code;
    extended = kPlainKeyScanCodes[row].extended;
    return true;
}

WindowInputCapture::WindowInputCapture() = default;

WindowInputCapture::~WindowInputCapture() {
    Stop();
}

bool WindowInputCapture::Start(Sink sink, bool exclusive) {
    Stop();
    if (!qApp || !sink)
        return false;
    m_sink = std::move(sink);
    m_running = true;
    m_lastMouseType = 0;
    qApp->installEventFilter(this);
    connect(qApp, &QGuiApplication::focusWindowChanged, this, &WindowInputCapture::onFocusWindowChanged);
    // On X11 a window may hold the keyboard, so the desktop's own shortcuts (switching
    // windows, launchers) do not fire while a macro is recorded.
    m_window = QApplication::activeWindow();
    if (!m_window)
        if (QWindow* focus = QGuiApplication::focusWindow())
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w->windowHandle() == focus)
                    m_window = w;
    if (exclusive && m_window && QGuiApplication::platformName() == QLatin1String("xcb")) {
        m_window->grabKeyboard();
        m_grab = m_window;
    }
    return true;
}

void WindowInputCapture::SwallowKeys(bool on) {
    if (on == m_swallow || !qApp)
        return;
    m_swallow = on;
    if (m_running)
        return; // the filter is in already
    if (on)
        qApp->installEventFilter(this);
    else
        qApp->removeEventFilter(this);
}

void WindowInputCapture::Stop() {
    if (!m_running)
        return;
    m_running = false;
    if (m_grab)
        m_grab->releaseKeyboard();
    m_grab = nullptr;
    m_window = nullptr;
    if (qApp) {
        if (!m_swallow)
            qApp->removeEventFilter(this);
        disconnect(qApp, &QGuiApplication::focusWindowChanged, this, &WindowInputCapture::onFocusWindowChanged);
    }
    m_sink = nullptr;
}

void WindowInputCapture::onFocusWindowChanged() {
    // Another program took the focus: this backend sees nothing more, so the hook ends
    // rather than appearing to record.
    if (m_running && !QGuiApplication::focusWindow())
        end("focus");
}

void WindowInputCapture::end(const char* reason) {
    HookEvent e;
    e.kind = HookEvent::Kind::Ended;
    e.reason = reason;
    e.timeMs = GetTickCount();
    Sink sink = m_sink;
    Stop();
    sink(e);
}

bool WindowInputCapture::eventFilter(QObject* watched, QEvent* event) {
    if (!m_running) {
        const QEvent::Type t = event->type();
        if (m_swallow && (t == QEvent::KeyPress || t == QEvent::KeyRelease || t == QEvent::ShortcutOverride))
            return true;
        return QObject::eventFilter(watched, event);
    }
    switch (event->type()) {
    case QEvent::Hide:
    case QEvent::WindowStateChange:
        // The window that had the focus went away or was minimised: no key reaches it now.
        if (watched == m_window && (event->type() == QEvent::Hide || m_window->isMinimized())) {
            end("hidden");
            return false;
        }
        break;
    case QEvent::ShortcutOverride:
        // No shortcut of the program fires on a key that is being recorded.
        event->accept();
        return true;
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        const auto* key = static_cast<QKeyEvent*>(event);
        HookEvent e;
        if (!key->isAutoRepeat() && ScanCodeOfKeyEvent(*key, e.scanCode, e.extended)) {
            e.kind = HookEvent::Kind::Key;
            e.down = event->type() == QEvent::KeyPress;
            e.system = (key->modifiers() & Qt::AltModifier) && key->key() != Qt::Key_Alt;
            e.timeMs = GetTickCount();
            m_sink(e);
        }
        return true; // taken: no control sees the key
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseButtonRelease: {
        if (!event->spontaneous())
            break;
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const int button = hookButton(mouse->button());
        const QPoint at = mouse->globalPosition().toPoint();
        const int type = event->type() == QEvent::MouseButtonRelease ? 2 : 1;
        if (!button || (type == m_lastMouseType && button == m_lastMouseButton &&
                        mouse->timestamp() == m_lastMouseTime && at == m_lastMousePos))
            break;
        m_lastMouseType = type;
        m_lastMouseButton = button;
        m_lastMouseTime = mouse->timestamp();
        m_lastMousePos = at;
        HookEvent e;
        e.kind = HookEvent::Kind::Mouse;
        e.down = type == 1;
        e.button = button;
        e.x = at.x();
        e.y = at.y();
        e.timeMs = GetTickCount();
        m_sink(e);
        break;
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace talyx
