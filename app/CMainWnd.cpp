#include "app/CMainWnd.h"

#include <QGuiApplication>
#include <QScreen>
#include <QThread>
#include <cstring>

#include "app/AppBus.h"
#include "app/AppMessages.h"
#include "app/BuilderCallback.h"
#include "device/DeviceIdentification.h"
#include "platform/Debug.h"
#include "platform/Product.h"
#include "ui/CButtonUI.h"
#include "ui/CContainerUI.h"
#include "ui/CMenuWnd.h"
#include "ui/CResourceManager.h"
#include "ui/WindowMessages.h"

namespace talyx {
namespace {

CMainWnd* g_mainWindow = nullptr;

constexpr const char* kTitleButtons[9] = {"closebtn", "maxbtn",   "restorebtn",   "minbtn", "skinbtn",
                                          "gamemodebtn", "cloudbtn", "smarteyesbtn", "setbtn"};

// Window timers.
constexpr int kTimerFitScreen = 1011;
constexpr int kTimerKeepAlive = 1031;
constexpr int kTimerTrayMenu = 1032;

// The stop wait of the main window's workers.
constexpr int kWorkerJoinMs = 1000;

const char* kLightOn = "控制灯光";
const char* kLightOff = "不控制灯光";

} // namespace

CMainWnd::CMainWnd(AppBus* bus) : m_bus(bus), m_callback(&m_pm) { g_mainWindow = this; }

CMainWnd::~CMainWnd() {
    stopWorkers();
    if (g_mainWindow == this)
        g_mainWindow = nullptr;
}

CMainWnd* CMainWnd::Instance() { return g_mainWindow; }

void CMainWnd::InitWindow() {
    DebugOutput("InitWindow");
    CResourceManager& resources = CResourceManager::GetInstance();
    resources.SetTextQueryInterface(this);
    resources.LoadLanguage(QStringLiteral("lan_cn.xml"));
    for (size_t i = 0; i < m_titleButtons.size(); ++i)
        m_titleButtons[i] = FindControl(QString::fromLatin1(kTitleButtons[i]));
    setWindowIcon(QIcon(ResolveSkinPath(QStringLiteral("common/icon107.svg"))));
    m_tray.CreateTrayIcon(this, QStringLiteral("common/icon107.svg"), QString::fromUtf8(kProductTitle), kMsgTray);
}

CControlUI* CMainWnd::CreateControl(const QString& className) { return m_callback.CreateControl(className); }

void CMainWnd::Notify(TNotifyUI& msg) {
    if (msg.sType != notify::kTimer) {
        const QString sender = msg.pSender ? msg.pSender->GetName() : QString();
        DebugOutput((msg.sType + QLatin1Char(' ') + sender).toStdString());
    }
    if (msg.sType == notify::kWindowInit) {
        onWindowInit();
    } else if (msg.sType == notify::kClick) {
        onClick(msg.pSender);
    }
    WindowImplBase::Notify(msg);
}

void CMainWnd::onWindowInit() {
    if (m_initialised)
        return;
    m_initialised = true;
    if (m_bus)
        m_bus->BroadcastLightClaim(1, 1);
    ApplyLanguage(ReadLanguageIndex());
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        m_screenWidth = screen->geometry().width();
        m_screenHeight = screen->geometry().height();
    }
    RefreshNoDeviceNotice();
    hide();
    SetWindowTimer(kTimerFitScreen, 100);
    // Until a device scan reports its first pass, the window brings itself forward once.
    postMessage(WM_APP_INSTANCE, 0, 0);
}

void CMainWnd::onClick(CControlUI* sender) {
    if (!sender)
        return;
    const QString name = sender->GetName();
    if (name == QLatin1String("closebtn"))
        hideToTray();
    else if (name == QLatin1String("minbtn"))
        HandleMessage(WM_SYSCOMMAND, SC_MINIMIZE, 0);
    else if (name == QLatin1String("maxbtn"))
        HandleMessage(WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    else if (name == QLatin1String("restorebtn"))
        HandleMessage(WM_SYSCOMMAND, SC_RESTORE, 0);
    else if (name == QLatin1String("nodevice_ok_btn"))
        hide();
    else if (name == QLatin1String("control_light_status"))
        setLightControl(m_lightControl ? 0 : 1, true);
}

void CMainWnd::hideToTray() {
    // Without a tray the window could not be found again once hidden.
    if (!m_tray.IsCreated()) {
        showMinimized();
        return;
    }
    hide();
}

void CMainWnd::setLightControl(int state, bool broadcast) {
    m_lightControl = state;
    if (broadcast && m_bus)
        m_bus->BroadcastLightClaim(1, state);
    if (CControlUI* c = FindControl(QStringLiteral("control_light_status")))
        c->SetText(QString::fromUtf8(state ? kLightOn : kLightOff));
}

void CMainWnd::ApplyLanguage(int index) {
    if (!m_language.Apply(index, m_pm))
        return;
    update();
    // Secondary windows redraw their texts on 3089 (0, 0).
    for (QWidget* w : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (auto* wnd = qobject_cast<WindowImplBase*>(w); wnd && wnd->isWindow() && !wnd->IsDestroyed())
            wnd->sendMessage(kMsgSelectLanguage, 0, 0);
    }
}

void CMainWnd::RefreshNoDeviceNotice() {
    int visible = 0;
    if (auto* selectors = qobject_cast<CContainerUI*>(FindControl(QStringLiteral("device_select_layout")))) {
        for (int i = 0; i < selectors->GetCount(); ++i)
            visible += selectors->GetItemAt(i)->IsVisible() ? 1 : 0;
    }
    if (CControlUI* notice = FindControl(QStringLiteral("No_device_Link")))
        notice->SetVisible(visible == 0);
    if (visible == 0) {
        for (const char* name : {"device_switch", "device_power_switch"})
            if (auto* tab = qobject_cast<CTabLayoutUI*>(FindControl(QString::fromLatin1(name))))
                tab->SelectItem(0);
    }
}

void CMainWnd::FitToScreen() {
    const bool wasShown = isVisible() && !isMinimized();
    if (!wasShown)
        showNormal();
    QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    const QRect work = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    const int dpi = work.width() > 1500 && work.height() > 960 ? 144 : 96;
    m_pm.SetDPI(96);
    setGeometry(0, 0, 1000, 640);
    ApplyDPI(dpi);
    CenterWindow();
    if (!wasShown)
        hide();
    update();
}

void CMainWnd::BringToFront() {
    showNormal();
    raise();
    activateWindow();
}

void CMainWnd::ToggleFromTray() {
    const bool shown = isVisible() && !isMinimized();
    if (shown) {
        hide();
        return;
    }
    FitToScreen();
    BringToFront();
    update();
}

QByteArray CMainWnd::WorkToolBlock() {
    QByteArray block(1024, '\0');
    auto put = [&block](int index, uint32_t value) {
        const uint8_t bytes[4] = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
        std::memcpy(block.data() + index * 4, bytes, 4);
    };
    int i = 0;
    for (uint32_t v : {2u, 3u, 0u, 2u})
        put(i++, v);
    put(i++, kDeviceTypeCount);
    for (const DeviceTypeInfo& family : kDeviceTypeInfo) {
        put(i++, family.vendorId);
        put(i++, family.productId);
        put(i++, family.productCode);
    }
    return block;
}

LRESULT CMainWnd::HandleMessage(uint32_t msg, WPARAM wParam, LPARAM lParam) {
    // Registered messages and the window's life come first; they are handled even
    // while the computer is going to sleep.
    if (msg == WM_APP_INSTANCE && msg) {
        DebugOutputF("软件标示 %d，%xd%xd", static_cast<int>(msg), static_cast<unsigned>(wParam),
                     static_cast<unsigned>(lParam));
        RefreshNoDeviceNotice();
        BringToFront();
        return 0;
    }
    if (msg == WM_APP_UPDATE_STATE && msg)
        return 0;
    if (msg == WM_APP_LIGHT_CONTROL && msg) {
        if (wParam == 1)
            setLightControl(lParam ? 1 : 0, false);
        return 0;
    }
    if (msg == WM_APP_WORKTOOL_QUERY && msg) {
        AppBus::SendToWorkTool(5, reinterpret_cast<uintptr_t>(this), WorkToolBlock());
        return 0;
    }
    switch (msg) {
    case WM_ACTIVATE:
        m_active = wParam != 0;
        return 0;
    case WM_MOUSEHOVER:
        DebugOutput("鼠标移入");
        return 0;
    case WM_MOUSELEAVE:
        DebugOutput("鼠标移出");
        return 0;
    case WM_DESTROY:
        DebugOutput("退出测试");
        hide();
        stopWorkers();
        m_tray.DeleteTrayIcon();
        QCoreApplication::exit(0);
        return 0;
    case WM_CLOSE:
        // With a tray the window goes there; without one, closing it ends the program.
        if (m_tray.IsCreated())
            hideToTray();
        else
            Close();
        return 0;
    case WM_POWERBROADCAST:
        if (wParam == PBT_APMRESUMEAUTOMATIC)
            m_awake = true;
        else if (wParam == PBT_APMSUSPEND)
            m_awake = false;
        return 0;
    default:
        break;
    }
    if (!m_awake)
        return 0;
    switch (msg) {
    case WM_TIMER:
        if (wParam == kTimerFitScreen) {
            KillWindowTimer(kTimerFitScreen);
            FitToScreen();
        } else if (wParam == kTimerKeepAlive) {
            SetWindowTimer(kTimerKeepAlive, 5000);
        } else if (wParam == kTimerTrayMenu) {
            KillWindowTimer(kTimerTrayMenu);
            CMenuWnd::CreateMenu(this, QStringLiteral("menu.xml"), QCursor::pos());
        }
        return 0;
    case WM_DPICHANGED:
        m_pm.SetDPI(static_cast<int>(wParam & 0xFFFF));
        m_pm.ResetDPIAssets();
        CenterWindow();
        update();
        DebugOutput("界面 DPI 发生变化");
        return 0;
    case kMsgDpi1:
        DebugOutput("界面 DPI 1发生变化");
        return 0;
    case WM_DISPLAYCHANGE:
        DebugOutput("显示器分辨率发生变化");
        FitToScreen();
        return 0;
    case kMsgTray:
        if (lParam == WM_LBUTTONUP)
            ToggleFromTray();
        else if (lParam == WM_RBUTTONUP)
            SetWindowTimer(kTimerTrayMenu, 10);
        return 0;
    case kMsgMenuChoice: {
        const auto* name = reinterpret_cast<const QString*>(wParam);
        if (name && *name == QLatin1String("exit"))
            Close();
        return 0;
    }
    case kMsgShowProgress:
        if (CControlUI* c = FindControl(QStringLiteral("setting_progress")))
            c->SetVisible(true);
        return 0;
    case kMsgSelectLanguage:
        ApplyLanguage(static_cast<int>(wParam));
        return 0;
    case kMsgClearSetButton:
        if (m_titleButtons[8])
            m_titleButtons[8]->SetForeImage(QString());
        return 0;
    case kMsgDeviceStatus:
    case kMsgDeviceStatus2:
        return 0;
    default:
        return WindowImplBase::HandleMessage(msg, wParam, lParam);
    }
}

void CMainWnd::stopWorkers() {
    if (m_workersStopped)
        return;
    m_workersStopped = true;
    for (int slot = 0; slot < kWorkerSlots; ++slot) {
        switch (m_workers[static_cast<size_t>(slot)].stop(kWorkerJoinMs)) {
        case WorkerThread::JoinResult::Signalled:
            DebugOutput("所有对象处于激发状态\n");
            break;
        case WorkerThread::JoinResult::TimedOut:
            DebugOutput("所有对象处于非激发状态，超时\n");
            break;
        case WorkerThread::JoinResult::NotRunning:
            DebugOutputF("错误\n%d", slot);
            break;
        }
    }
}

void CMainWnd::OnFinalMessage() {}

} // namespace talyx
