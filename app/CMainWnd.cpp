#include "app/CMainWnd.h"

#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <cstring>

#include "app/AppBus.h"
#include "app/AppLinkSwitcher.h"
#include "app/AppMessages.h"
#include "app/AudioRecorderClient.h"
#include "app/BuilderCallback.h"
#include "app/CDeviceOptionUI.h"
#include "app/CDevicePageUI.h"
#include "app/CSkinFrame.h"
#include "app/InputHookHost.h"
#include "app/KeyboardPage.h"
#include "app/SystemEvents.h"
#include "device/CKestravaUSBDevice.h"
#include "device/DeviceScanThread.h"
#include "device/LightSyncEffect.h"
#include "device/LightSyncThread.h"
#include "device/WorkerStop.h"
#include "device/transport/DeviceIdentification.h"
#include "keyboard/CKestravaKeyboardDevice.h"
#include "online/CSetWnd.h"
#include "online/UpdateTable.h"
#include "platform/Debug.h"
#include "platform/Product.h"
#include "profile/ProfileFiles.h"
#include "ui/CButtonUI.h"
#include "ui/CContainerUI.h"
#include "ui/CDialogBuilder.h"
#include "ui/CMenuWnd.h"
#include "ui/CMpDevicePowerUI.h"
#include "ui/CMsgWnd.h"
#include "ui/CResourceManager.h"
#include "ui/WindowMessages.h"

namespace talyx {
namespace {

CMainWnd* g_mainWindow = nullptr;

constexpr const char* kTitleButtons[9] = {"closebtn",    "maxbtn",   "restorebtn",   "minbtn", "skinbtn",
                                          "gamemodebtn", "cloudbtn", "smarteyesbtn", "setbtn"};

// Window timers.
constexpr int kTimerFitScreen = 1011;
constexpr int kTimerKeepAlive = 1031;
constexpr int kTimerTrayMenu = 1032;
// The title bar follows state that changes on the device's side too (the keyboard's own
// Windows-key lock, a tray that comes or goes).
constexpr int kTimerTitleBar = 1033;
constexpr int kAudioRefreshMs = 250;
constexpr int kTitleBarRefreshMs = 1000;
constexpr int kTrayCheckTicks = 5;

// How long a status stays before "Ready" comes back.
constexpr int kStatusShowMs = 4000;
constexpr int kStatusErrorShowMs = 9000;
constexpr uint32_t kStatusColours[] = {0xFF8A93A6, 0xFF3DDC97, 0xFFFF5C7A}; // info, success, error

// Fills %1, %2... in one pass, so an argument that itself holds "%2" stays as it is.
QString fillArguments(const QString& text, const QStringList& args) {
    QString out;
    out.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        const int n = i + 1 < text.size() ? text[i + 1].digitValue() : -1;
        if (text[i] == QLatin1Char('%') && n >= 1 && n <= args.size()) {
            out += args[n - 1];
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

// The skin window's reset picture, and the veil laid over any other picture.
constexpr const char* kDefaultBackground = "common/background.png";
constexpr uint32_t kPictureVeil = 0xC00E1015;

const char* kLightOn = "控制灯光";
const char* kLightOff = "不控制灯光";

// The family's name as the device selector shows it.
QString deviceName(int family) {
    if (family < 0 || family >= kDeviceTypeCount)
        return QString();
    return CResourceManager::GetInstance().GetText(QStringLiteral("device_name_") +
                                                   QString::fromLatin1(kDeviceTypeInfo[family].familyName));
}

} // namespace

CMainWnd::CMainWnd(AppBus* bus) : m_bus(bus), m_callback(&m_pm), m_hooks(std::make_unique<InputHookHost>(this)) {
    g_mainWindow = this;
    if (m_bus)
        m_bus->SetUpdateReportFilter([this](uint32_t pid) { return AcceptsUpdateReport(pid); });
}

CMainWnd::~CMainWnd() {
    SetProfileWriteObserver(nullptr);
    m_follower.reset();
    if (m_bus)
        m_bus->SetCopyDataHandler({});
    m_audio.reset();
    m_hooks.reset();
    stopWorkers();
    if (g_mainWindow == this)
        g_mainWindow = nullptr;
}

CMainWnd* CMainWnd::Instance() {
    return g_mainWindow;
}

void CMainWnd::InitWindow() {
    DebugOutput("InitWindow");
    CResourceManager& resources = CResourceManager::GetInstance();
    resources.SetTextQueryInterface(this);
    resources.LoadLanguage(QStringLiteral("lan_cn.xml"));
    // A table that lacks a text (a new one, not yet translated) shows it in English
    // rather than by its id.
    resources.SetFallbackLanguage(QStringLiteral("lan_en.xml"));
    for (size_t i = 0; i < m_titleButtons.size(); ++i)
        m_titleButtons[i] = FindControl(QString::fromLatin1(kTitleButtons[i]));
    setWindowIcon(QIcon(ResolveSkinPath(QStringLiteral("common/icon107.svg"))));
    m_tray.CreateTrayIcon(this, QStringLiteral("common/icon107.svg"), QString::fromUtf8(kProductTitle), kMsgTray);
    CSkinFrame::AddObserver(this, [this](const SkinChange& change) { applySkin(change); });
    m_statusTimer = new QTimer(this);
    m_statusTimer->setSingleShot(true);
    connect(m_statusTimer, &QTimer::timeout, this, [this] {
        m_status = Status();
        showStatusText();
    });
    // Profile writes come from the pages; a failure is told here, once the operation
    // that wrote has finished.
    QPointer<CMainWnd> self(this);
    SetProfileWriteObserver([self](const std::string& path, bool written) {
        QMetaObject::invokeMethod(
            qApp,
            [self, path, written] {
                if (self)
                    self->onProfileWrite(path, written);
            },
            Qt::QueuedConnection);
    });
    new SystemEvents(this, this);
    // The last background image chosen in the skin window comes back at start.
    const QString stored = CSkinFrame::StoredImage();
    if (!stored.isEmpty())
        applySkin({0, stored});
}

void CMainWnd::applySkin(const SkinChange& change) {
    CControlUI* root = FindControl(QStringLiteral("root"));
    if (!root)
        return;
    if (change.color) {
        root->SetBkColor(change.color);
        root->SetBkColor2(0);
        root->SetBkImage(QString());
    } else {
        root->SetBkImage(change.image);
    }
    // A picture of the user's own may be bright anywhere: the pages lie on a dark veil over
    // it, so their labels stay readable while the picture still shows through.
    const bool picture = !change.color && !change.image.isEmpty() && change.image != QLatin1String(kDefaultBackground);
    if (CControlUI* pages = FindControl(QStringLiteral("device_switch")))
        pages->SetBkColor(picture ? kPictureVeil : 0);
}

CControlUI* CMainWnd::CreateControl(const QString& className) {
    return m_callback.CreateControl(className);
}

void CMainWnd::Notify(TNotifyUI& msg) {
    if (msg.sType != notify::kTimer) {
        const QString sender = msg.pSender ? msg.pSender->GetName() : QString();
        DebugOutput((msg.sType + QLatin1Char(' ') + sender).toStdString());
    }
    static const QStringList kIgnored = {notify::kClickWpRemove, notify::kClickWpAdd, notify::kClickWpEdit,
                                         notify::kClickWpSelect};
    if (msg.sType == notify::kWindowInit) {
        onWindowInit();
    } else if (kIgnored.contains(msg.sType)) {
        // The wallpaper list's own events; nothing here uses them.
    } else if (CDevicePageUI* page = owningPage(msg.pSender); page && page->HandleNotify(msg)) {
        // The device page or its editor took it.
    } else if (msg.sType == notify::kClick) {
        onClick(msg.pSender);
    } else if (msg.sType == notify::kSelectChanged) {
        if (auto* item = qobject_cast<CDeviceOptionUI*>(msg.pSender); item && item->IsSelected())
            ShowSelectorItem(item, true, true);
    }
    if (msg.sType != notify::kTimer && m_initialised)
        refreshTitleBar();
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
    refreshTitleBar();
    hide();
    SetWindowTimer(kTimerFitScreen, 100);
    SetWindowTimer(kTimerTitleBar, kTitleBarRefreshMs);
    // The scan's first pass posts the instance message, which brings the window forward.
    m_scan = std::make_unique<DeviceScanThread>(m_table, *this, WM_APP_INSTANCE);
    m_scan->Start(m_workers[kScanSlot]);
    m_lightSync = std::make_unique<LightSyncThread>(m_pageLists);
    m_lightSync->Start(m_workers[kLightSyncSlot]);
    m_follower = std::make_unique<AppLinkSwitcher>(this);
    m_follower->Start(FocusSession::FromEnvironment());
    connect(m_follower.get(), &AppLinkSwitcher::Focused, this, [this] { showFocusStatus(); });
    startAudioClient();
    // A measuring aid (scripts/bench): minimise the window this long after start.
    if (const int ms = qEnvironmentVariableIntValue("TALYX_MINIMISE_AFTER_MS"); ms > 0)
        QTimer::singleShot(ms, this, [this] { showMinimized(); });
    // Another (scripts/bench): synchronise every device to the first keyboard's lighting.
    if (const int ms = qEnvironmentVariableIntValue("TALYX_SYNCHRONISE_AFTER_MS"); ms > 0)
        QTimer::singleShot(ms, this, [this] {
            const std::vector<CDevicePageUI*> keyboards = Pages(DeviceTypeKeyboard);
            if (!keyboards.empty())
                SynchroniseLighting(keyboards.front());
        });
}

void CMainWnd::startAudioClient() {
    if (!m_bus)
        return;
    m_audio = std::make_unique<AudioRecorderClient>();
    // A demo or a test may give the recorder its input (TALYX_AUDIO_ARGS="--wav song.wav --loop").
    m_audio->SetExtraArguments(QProcess::splitCommand(qEnvironmentVariable("TALYX_AUDIO_ARGS")));
    m_audio->SetSinks(
        [this](const AudioInput& input, uint64_t) {
            forLightingPages([&input](CDevicePageUI* page) {
                if (page->Device()->ShowsAudioMode())
                    page->Device()->OnAudioFrame(input);
            });
        },
        [this](AudioRecorderClient::State state) {
            using State = AudioRecorderClient::State;
            const char* text = state == State::Unavailable ? "status_audio_unavailable"
                               : state == State::NoServer  ? "status_audio_no_server"
                               : state == State::NoOutput  ? "status_audio_no_output"
                                                           : nullptr;
            if (text)
                ShowStatus(QString::fromLatin1(text), {}, StatusKind::Error);
            // Without sound the lights rest at the background colour.
            if (state != State::Capturing && state != State::Starting)
                forLightingPages([](CDevicePageUI* page) { page->Device()->OnAudioStopped(); });
        });
    m_bus->SetCopyDataHandler([this](const QString& sender, uint32_t kind, const QByteArray& data) {
        if (m_audio)
            m_audio->OnCopyData(sender, kind, data);
    });
    // The modes change from many places (the page, a profile, the keyboard's own keys), so
    // the wish is looked at a few times a second rather than at each of them; only while
    // some device is connected (RefreshNoDeviceNotice), so that without one nothing wakes.
    m_audioTimer = new QTimer(this);
    m_audioTimer->setInterval(kAudioRefreshMs);
    connect(m_audioTimer, &QTimer::timeout, this, &CMainWnd::RefreshAudioRecorder);
    RefreshNoDeviceNotice();
}

void CMainWnd::RefreshAudioRecorder() {
    if (!m_audio)
        return;
    bool wanted = false;
    uint32_t periodUs = 50000;
    if (m_lightControl && m_awake && !m_workersStopped) {
        forLightingPages([&wanted, &periodUs](CDevicePageUI* page) {
            CKestravaUSBDevice* device = page->Device();
            if (!device->Channel().IsOpen() || !device->ShowsAudioMode())
                return;
            wanted = true;
            periodUs = std::min<uint32_t>(periodUs, device->Channel().IsWireless() ? 50000 : 10000);
        });
    }
    m_audio->SetWanted(wanted, periodUs);
}

void CMainWnd::onClick(CControlUI* sender) {
    if (!sender)
        return;
    const QString name = sender->GetName();
    if (name == QLatin1String("closebtn")) {
        CloseOrHideToTray();
    } else if (name == QLatin1String("minbtn"))
        HandleMessage(WM_SYSCOMMAND, SC_MINIMIZE, 0);
    else if (name == QLatin1String("maxbtn"))
        HandleMessage(WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    else if (name == QLatin1String("restorebtn"))
        HandleMessage(WM_SYSCOMMAND, SC_RESTORE, 0);
    else if (name == QLatin1String("skinbtn")) {
        auto* frame = new CSkinFrame;
        if (frame->Create(this, QString::fromUtf8(kProductTitle))) {
            frame->CenterWindow();
            frame->ShowWindow(true);
        } else {
            delete frame;
        }
    } else if (name == QLatin1String("setbtn")) {
        OpenSettings(CSetWnd::kPageUpdate);
    } else if (name == QLatin1String("nodevice_ok_btn")) {
        // The window waits in the tray and comes back when a device arrives. Without a
        // tray the button is not shown: the window would vanish until then.
        if (ensureTray())
            hide();
    } else if (name == QLatin1String("control_light_status")) {
        setLightControl(m_lightControl ? 0 : 1, true);
        ShowStatus(QString::fromLatin1(m_lightControl ? "status_light_control_on" : "status_light_control_off"));
    } else if (name == QLatin1String("gamemodebtn")) {
        toggleGameMode();
    }
}

bool CMainWnd::ensureTray() {
    // The tray can come (a panel started later) and go (a panel that ended).
    if (m_tray.IsCreated() && !CTrayIcon::IsAvailable())
        m_tray.DeleteTrayIcon();
    if (!m_tray.IsCreated() && CTrayIcon::IsAvailable())
        m_tray.CreateTrayIcon(this, QStringLiteral("common/icon107.svg"), QString::fromUtf8(kProductTitle), kMsgTray);
    return m_tray.IsCreated();
}

void CMainWnd::CloseOrHideToTray() {
    m_hooks->EndRecording();
    if (ensureTray()) {
        hide();
        setWindowHiddenFlag(true);
        return;
    }
    Close();
}

CKestravaKeyboardDevice* CMainWnd::shownKeyboard() const {
    for (CDevicePageUI* page : Pages(DeviceTypeKeyboard)) {
        CDeviceOptionUI* item = page->Selector();
        if (item && item->IsVisible() && item->IsSelected() && page->IsStarted() && page->Device() &&
            page->Device()->Channel().IsOpen())
            return static_cast<CKestravaKeyboardDevice*>(page->Device());
    }
    return nullptr;
}

void CMainWnd::toggleGameMode() {
    CKestravaKeyboardDevice* keyboard = shownKeyboard();
    if (!keyboard)
        return;
    const int lock = keyboard->CurrentSettings().winFlag ? 0 : 1;
    QPointer<CMainWnd> self(this);
    keyboard->ChangeSetting(SettingControl::WinLock, lock, [self, lock](int result) {
        if (!self)
            return;
        if (result == kResultSuccess)
            self->ShowStatus(QString::fromLatin1(lock ? "status_gamemode_on" : "status_gamemode_off"), {},
                             StatusKind::Success);
        else
            self->ShowStatus(QStringLiteral("status_write_failed"), {}, StatusKind::Error);
        self->refreshTitleBar();
    });
    // The settings tab shows the same switch.
    for (CDevicePageUI* page : Pages(DeviceTypeKeyboard))
        if (page->Device() == keyboard && page->Keyboard())
            page->Keyboard()->Refresh();
    refreshTitleBar();
}

void CMainWnd::refreshTitleBar() {
    // Whether there is a tray is asked of the desktop only every few seconds and on the
    // clicks that need to know: each question is a round trip to the desktop.
    const bool tray = m_tray.IsCreated();
    if (CControlUI* close = FindControl(QStringLiteral("closebtn"))) {
        close->SetToolTipId(QString::fromLatin1(tray ? "tip_close" : "tip_close_quit"));
        close->setAccessibleName(close->toolTip());
    }
    if (CControlUI* ok = FindControl(QStringLiteral("nodevice_ok_btn")))
        ok->SetVisible(tray);
    if (auto* bulb = qobject_cast<CButtonUI*>(FindControl(QStringLiteral("control_light_status")))) {
        const bool on = m_lightControl != 0;
        const QString image = QStringLiteral("file='common/%1.svg' dest='8,8,28,28'")
                                  .arg(QLatin1String(on ? "btn_light" : "btn_light_off"));
        if (bulb->GetNormalImage() != image) {
            bulb->SetNormalImage(image);
            bulb->SetBkColor(on ? 0xFF112A35 : 0);
        }
        bulb->SetToolTipId(QString::fromLatin1(on ? "tip_light_control_on" : "tip_light_control_off"));
        bulb->setAccessibleName(bulb->toolTip());
    }
    if (auto* game = qobject_cast<CButtonUI*>(FindControl(QStringLiteral("gamemodebtn")))) {
        CKestravaKeyboardDevice* keyboard = shownKeyboard();
        game->SetVisible(keyboard != nullptr);
        const bool on = keyboard && keyboard->CurrentSettings().winFlag != 0;
        const QString image = QStringLiteral("file='common/%1.svg' dest='8,8,28,28'")
                                  .arg(QLatin1String(on ? "btn_gamemode_on" : "btn_gamemode"));
        if (game->GetNormalImage() != image) {
            game->SetNormalImage(image);
            game->SetBkColor(on ? 0xFF112A35 : 0);
        }
        game->SetToolTipId(QString::fromLatin1(on ? "tip_gamemode_on" : "tip_gamemode_off"));
        game->setAccessibleName(game->toolTip());
    }
    for (const char* name : {"minbtn", "maxbtn", "restorebtn", "skinbtn", "setbtn"})
        if (CControlUI* c = FindControl(QString::fromLatin1(name)))
            c->setAccessibleName(c->toolTip());
}

void CMainWnd::OnMaximisedChanged(bool maximised) {
    if (m_titleButtons[1])
        m_titleButtons[1]->SetVisible(!maximised);
    if (m_titleButtons[2])
        m_titleButtons[2]->SetVisible(maximised);
}

void CMainWnd::ShowStatus(const QString& textId, const QStringList& args, StatusKind kind) {
    m_status = {textId, args, kind};
    showStatusText();
    if (m_statusTimer)
        m_statusTimer->start(kind == StatusKind::Error ? kStatusErrorShowMs : kStatusShowMs);
}

void CMainWnd::showStatusText() {
    CControlUI* label = FindControl(QStringLiteral("status_text"));
    if (!label)
        return;
    const QString text = fillArguments(CResourceManager::GetInstance().GetText(m_status.textId), m_status.args);
    label->SetText(text);
    label->SetTextColor(kStatusColours[static_cast<int>(m_status.kind)]);
    label->setAccessibleName(text);
    label->setToolTip(text);
}

void CMainWnd::onProfileWrite(const std::string& path, bool written) {
    if (written) {
        m_saveFailureTold = false;
        return;
    }
    const size_t slash = path.find_last_of('/');
    const QString folder = QString::fromStdString(slash == std::string::npos ? path : path.substr(0, slash));
    ShowStatus(QStringLiteral("status_save_failed"), {folder}, StatusKind::Error);
    // The message window once per run of failures: a slider dragged over a full disk
    // fails on every step.
    if (!m_saveFailureTold) {
        m_saveFailureTold = true;
        CMsgWnd::MessageBoxFormatted(this, QStringLiteral("message_save_failed"), folder);
    }
}

void CMainWnd::setLightControl(int state, bool broadcast) {
    m_lightControl = state;
    if (broadcast && m_bus)
        m_bus->BroadcastLightClaim(1, state);
    if (CControlUI* c = FindControl(QStringLiteral("control_light_status")))
        c->SetText(QString::fromUtf8(state ? kLightOn : kLightOff));
    forLightingPages([state](CDevicePageUI* page) { page->Device()->SetLightingControl(state); });
    if (m_initialised)
        refreshTitleBar();
}

void CMainWnd::forLightingPages(const std::function<void(CDevicePageUI*)>& fn) const {
    for (int family : {int(DeviceTypeKeyboard), int(DeviceTypeMouse), int(DeviceTypeMousePad)})
        for (CDevicePageUI* page : Pages(family))
            if (page->Device())
                fn(page);
}

void CMainWnd::setWindowHiddenFlag(bool hidden) {
    for (int family : {int(DeviceTypeKeyboard), int(DeviceTypeMouse)})
        for (CDevicePageUI* page : Pages(family))
            if (page->Device())
                page->Device()->SetWindowHidden(hidden);
}

std::vector<CDevicePageUI*> CMainWnd::Pages(int family) const {
    std::lock_guard<std::mutex> lock(m_pagesLock);
    if (family < 0 || family >= kDeviceTypeCount)
        return {};
    return m_pages[static_cast<size_t>(family)];
}

CDevicePageUI* CMainWnd::owningPage(CControlUI* control) const {
    for (QWidget* w = control; w; w = w->parentWidget())
        if (auto* page = qobject_cast<CDevicePageUI*>(w))
            return page;
    return nullptr;
}

CDevicePageUI* CMainWnd::PageForRow(int row) const {
    const int identity = m_table.PageIdentity(static_cast<size_t>(row));
    auto it = m_pageByIdentity.find(identity);
    return it == m_pageByIdentity.end() ? nullptr : it->second;
}

int CMainWnd::VisibleSelectorCount() const {
    int visible = 0;
    if (auto* selectors = qobject_cast<CContainerUI*>(FindControl(QStringLiteral("device_select_layout"))))
        for (int i = 0; i < selectors->GetCount(); ++i)
            visible += selectors->GetItemAt(i)->IsVisible() ? 1 : 0;
    return visible;
}

void CMainWnd::ShowSelectorItem(CDeviceOptionUI* item, bool show, bool select) {
    if (!item)
        return;
    item->SetVisible(show);
    if (show && select) {
        item->Selected(true, false);
        if (auto* tab = qobject_cast<CTabLayoutUI*>(FindControl(QStringLiteral("device_switch"))))
            tab->SelectItem(item->GetDeviceTab());
        if (auto* power = qobject_cast<CTabLayoutUI*>(FindControl(QStringLiteral("device_power_switch")))) {
            power->SetVisible(item->GetPowerTab() >= 0);
            if (item->GetPowerTab() >= 0)
                power->SelectItem(item->GetPowerTab());
        }
    }
    RefreshNoDeviceNotice();
    // Lighting can be synchronised only when there is more than one device to share it.
    // With fewer than two there is nothing to keep in step: every device's own lighting
    // comes back, whatever its family.
    m_syncOffered = VisibleSelectorCount() > 1;
    for (int family = 0; family < kDeviceTypeCount; ++family)
        for (CDevicePageUI* page : Pages(family)) {
            page->SetSyncOffered(m_syncOffered);
            if (!m_syncOffered && page->Device())
                page->Device()->SetLightSynchronised(false);
        }
}

bool CMainWnd::SynchroniseLighting(CDevicePageUI* source) {
    if (!source || !source->Device())
        return false;
    const LightInfo light = source->CurrentLighting();
    const int type = LightSyncEffect::TypeForMode(source->Family(), light.selectItem);
    if (type < 0)
        return false;
    LightSyncThread::SetSettingsFromRecord(source->Family(), light.selectItem, light.light, light.speed, light.fx,
                                           light.multiColor, light.red, light.green, light.blue);
    for (int family :
         {int(DeviceTypeKeyboard), int(DeviceTypeMouse), int(DeviceTypeMousePad), int(DeviceTypeHeadset)}) {
        const int mode = LightSyncEffect::ModeForType(family, type);
        for (CDevicePageUI* page : Pages(family)) {
            if (!page->Device() || !page->Device()->Channel().IsOpen() || mode < 0)
                continue;
            LightInfo shared = light;
            shared.selectItem = static_cast<uint8_t>(mode);
            page->SynchroniseTo(shared);
        }
    }
    return true;
}

CDevicePageUI* CMainWnd::createPage(int row) {
    // A receiver's row makes the page of its wired partner: family and identity come from there.
    const int identityRow = m_table.PageIdentity(static_cast<size_t>(row));
    if (identityRow < 0)
        return nullptr;
    const SupportedDeviceEntry entry = m_table.Entry(static_cast<size_t>(identityRow));
    const int family = FamilyOf(entry.vendorId, entry.productId, entry.productCode);
    if (family < 0)
        return nullptr;
    const DeviceTypeInfo& type = kDeviceTypeInfo[family];
    const DevicePageInfo& info = kDevicePageInfo[family];
    CDialogBuilder powerBuilder;
    CDialogBuilder pageBuilder;
    CDialogBuilder optionBuilder;
    std::unique_ptr<CControlUI> powerControl(
        powerBuilder.Create(QStringLiteral("XML\\CustomControlXML\\MpDevicePower.xml"), this, &m_pm));
    std::unique_ptr<CControlUI> pageControl(pageBuilder.Create(QString::fromLatin1(info.pageLayout), this, &m_pm));
    std::unique_ptr<CControlUI> optionControl(
        optionBuilder.Create(QString::fromLatin1(type.selectorLayout), this, &m_pm));
    auto* battery = qobject_cast<CMpDevicePowerUI*>(powerControl.get());
    auto* page = qobject_cast<CDevicePageUI*>(pageControl.get());
    auto* option = qobject_cast<CDeviceOptionUI*>(optionControl.get());
    auto* powerSwitch = qobject_cast<CTabLayoutUI*>(FindControl(QString::fromLatin1(type.powerContainerName)));
    auto* deviceSwitch = qobject_cast<CTabLayoutUI*>(FindControl(QStringLiteral("device_switch")));
    auto* selectors = qobject_cast<CContainerUI*>(FindControl(QStringLiteral("device_select_layout")));
    if (!battery || !page || !option || !powerSwitch || !deviceSwitch || !selectors) {
        DebugOutput("device page could not be built");
        return nullptr;
    }
    powerControl.release();
    pageControl.release();
    optionControl.release();
    powerSwitch->Add(battery);
    page->Configure(family, this, entry, option, battery);
    deviceSwitch->Add(page);
    {
        std::lock_guard<std::mutex> lock(m_pagesLock);
        m_pages[static_cast<size_t>(family)].push_back(page);
    }
    m_pageLists.Add(family, page->Device());
    option->SetVisible(false);
    selectors->Add(option);
    // The item draws its own name when it is itself the header control.
    const QString headerName = QString::fromLatin1(type.selectorHeaderName);
    CControlUI* header = option->GetName() == headerName ? option : option->FindSubControl(headerName);
    if (header)
        header->SetTextId(QStringLiteral("device_name_") + QString::fromLatin1(type.familyName));
    option->SetBkImage(QStringLiteral("common/devices/option_") + QString::fromLatin1(type.familyName) +
                       QStringLiteral(".svg"));
    option->SetTabs(deviceSwitch->GetCount() - 1, powerSwitch->GetCount() - 1);
    page->Device()->SetLightingControl(m_lightControl);
    m_pageByIdentity[identityRow] = page;
    return page;
}

void CMainWnd::attachRow(int row) {
    const SupportedDeviceEntry entry = m_table.Entry(static_cast<size_t>(row));
    CDevicePageUI* page = PageForRow(row);
    if (!page || !page->Device())
        return;
    CKestravaUSBDevice* device = page->Device();
    DeviceChannel& channel = device->Channel();
    const bool receiver = IsReceiverCode(entry.productCode);
    if (entry.role != kRoleMain) {
        device->StartListener(entry, entry.productCode);
        return;
    }
    const bool partnerAttached = entry.hasPartner && m_table.Entry(entry.partnerRow).connected;
    if (partnerAttached && channel.IsOpen()) {
        // The other form of the same keyboard is in use: hand over to the one that came.
        // The hand-over (with its online retries) runs on the device's worker.
        device->SetIdentity(entry);
        device->SwitchConnection(receiver, entry.devicePath);
    } else if (!channel.IsOpen()) {
        // Nothing can wait on a closed channel, so the open does not block.
        if (channel.OpenInterface(receiver, entry.devicePath))
            device->SetIdentity(entry);
    }
    LightSyncThread::Wake();
    if (!receiver)
        ShowSelectorItem(page->Selector(), true, true);
    page->armSelectorTimer(1001, 500);
}

void CMainWnd::OnDeviceArrived(int row) {
    if (row < 0 || static_cast<size_t>(row) >= m_table.Size())
        return;
    const uint16_t code = m_table.Entry(static_cast<size_t>(row)).productCode;
    if (code == kCodeKeyboard || code == kCodeKeyboardReceiver)
        DebugOutput("添加一个键盘设备");
    else if (code == kCodeMouse || code == kCodeMouseReceiver)
        DebugOutput("添加一个鼠标设备");
    else if (code == kCodeMousePad)
        DebugOutput("添加一个鼠标垫设备");
    if (!PageForRow(row) && !createPage(row))
        return;
    attachRow(row);
    RefreshNoDeviceNotice();
    BringToFront();
    if (m_table.Entry(static_cast<size_t>(row)).role == kRoleMain)
        if (CDevicePageUI* page = PageForRow(row); page && page->Family() >= 0)
            ShowStatus(QStringLiteral("status_device_connected"), {deviceName(page->Family())}, StatusKind::Success);
}

void CMainWnd::OnDeviceRemoved(int row) {
    if (row < 0 || static_cast<size_t>(row) >= m_table.Size())
        return;
    const SupportedDeviceEntry entry = m_table.Entry(static_cast<size_t>(row));
    const uint16_t code = entry.productCode;
    const bool keyboard = code == kCodeKeyboard || code == kCodeKeyboardReceiver;
    const bool mouse = code == kCodeMouse || code == kCodeMouseReceiver;
    if (keyboard)
        DebugOutput("删除一个键盘设备");
    else if (mouse)
        DebugOutput("删除一个鼠标设备");
    else if (code == kCodeMousePad)
        DebugOutput("删除一个鼠标垫设备");
    CDevicePageUI* page = PageForRow(row);
    if (!page || !page->Device())
        return;
    CKestravaUSBDevice* device = page->Device();
    if (entry.role != kRoleMain) {
        device->StopListener(code);
        return;
    }
    m_hooks->EndRecording(page);
    if (keyboard)
        DebugOutput("键盘设备丢失");
    else if (mouse)
        DebugOutput("鼠标设备丢失");
    const SupportedDeviceEntry partner = m_table.Entry(entry.partnerRow);
    if (entry.hasPartner && partner.connected) {
        // The other form is still plugged in. When the page talked through the one that
        // went, it carries on through the other instead of keeping a dead interface.
        if (device->Channel().IsWireless() == IsReceiverCode(code)) {
            device->SetIdentity(partner);
            device->SwitchConnection(!IsReceiverCode(code), partner.devicePath);
        }
        return;
    }
    // What was queued for the device is dropped, and a transfer that waits on it ends.
    device->EnableFrames(false);
    device->Commands().CancelPending();
    device->Channel().CloseAll();
    LightSyncThread::Wake();
    ShowSelectorItem(page->Selector(), false, false);
    ShowStatus(QStringLiteral("status_device_removed"), {deviceName(page->Family())});
}

void CMainWnd::onSelectorMessage(int index, bool show) {
    auto* selectors = qobject_cast<CContainerUI*>(FindControl(QStringLiteral("device_select_layout")));
    auto* item = selectors ? qobject_cast<CDeviceOptionUI*>(selectors->GetItemAt(index)) : nullptr;
    if (!item)
        return;
    if (show) {
        if (!item->IsVisible())
            ShowSelectorItem(item, true, VisibleSelectorCount() == 0);
    } else {
        ShowSelectorItem(item, false, false);
        DebugOutput("2.4gcesvdfherhue 1");
    }
}

void CMainWnd::ApplyLanguage(int index) {
    if (!m_language.Apply(index, m_pm))
        return;
    refreshNoAccessNotice(); // its text is built, not a plain language key
    showStatusText();
    if (m_initialised)
        refreshTitleBar();
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
    refreshNoAccessNotice();
    if (m_audioTimer && (visible > 0) != m_audioTimer->isActive()) {
        if (visible > 0)
            m_audioTimer->start();
        else
            m_audioTimer->stop();
        RefreshAudioRecorder();
    }
    if (visible == 0) {
        for (const char* name : {"device_switch", "device_power_switch"})
            if (auto* tab = qobject_cast<CTabLayoutUI*>(FindControl(QString::fromLatin1(name))))
                tab->SelectItem(0);
    }
}

void CMainWnd::refreshNoAccessNotice() {
    // A supported device is plugged in but this user may not open its node: say which
    // node, and that the udev rule gives the access.
    QStringList nodes;
    for (const InaccessibleDevice& device : m_table.InaccessibleDevices())
        nodes << QString::fromStdString(device.node);
    if (CControlUI* title = FindControl(QStringLiteral("nodevice_title")))
        title->SetTextId(QString::fromLatin1(nodes.isEmpty() ? "nodevice_title" : "nodevice_noaccess_title"));
    if (CControlUI* plugIn = FindControl(QStringLiteral("nodevice_text")))
        plugIn->SetVisible(nodes.isEmpty());
    if (CControlUI* text = FindControl(QStringLiteral("nodevice_access_text"))) {
        text->SetVisible(!nodes.isEmpty());
        if (!nodes.isEmpty()) {
            const QString line = CResourceManager::GetInstance().GetText(QStringLiteral("nodevice_noaccess_text"));
            text->SetText(line.arg(nodes.join(QStringLiteral(", "))));
            text->setAccessibleName(text->GetText());
        }
    }
}

void CMainWnd::FitToScreen() {
    // A maximised window is fitted as its normal self, then fills the (maybe new) screen
    // again, so the size it restores to stays right.
    const bool maximised = IsMaximised();
    if (maximised)
        Restore();
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
    if (maximised)
        Maximise();
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
        m_hooks->EndRecording();
        hide();
        setWindowHiddenFlag(true);
        return;
    }
    FitToScreen();
    BringToFront();
    update();
    setWindowHiddenFlag(false);
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
        setWindowHiddenFlag(false);
        BringToFront();
        return 0;
    }
    if (msg == WM_APP_UPDATE_STATE && msg) {
        // Handled before the reporting program's call returns, so that its exit cannot
        // overtake its report.
        if (m_setWnd && !m_setWnd->IsDestroyed())
            m_setWnd->sendMessage(msg, wParam, lParam);
        return 0;
    }
    if (msg == WM_APP_LIGHT_CONTROL && msg) {
        if (wParam == 1)
            setLightControl(lParam ? 1 : 0, false);
        return 0;
    }
    if (msg == WM_APP_WORKTOOL_QUERY && msg) {
        AppBus::SendToWorkTool(5, WorkToolBlock());
        return 0;
    }
    if (m_hooks->HandleMessage(msg, wParam, lParam, m_awake))
        return 0;
    switch (msg) {
    case WM_ACTIVATE:
        m_active = wParam != 0;
        forLightingPages([this](CDevicePageUI* page) { page->Device()->SetHover(m_active); });
        return 0;
    case WM_MOUSEHOVER:
        DebugOutput("鼠标移入");
        forLightingPages([](CDevicePageUI* page) { page->Device()->SetHover(true); });
        return 0;
    case WM_MOUSELEAVE:
        DebugOutput("鼠标移出");
        forLightingPages([](CDevicePageUI* page) { page->Device()->SetHover(false); });
        return 0;
    case WM_DESTROY:
        DebugOutput("退出测试");
        m_hooks->EndRecording();
        if (m_setWnd)
            m_setWnd->Close();
        hide();
        if (m_audio)
            m_audio->Shutdown();
        stopWorkers();
        m_tray.DeleteTrayIcon();
        QCoreApplication::exit(0);
        return 0;
    case WM_CLOSE:
        CloseOrHideToTray();
        return 0;
    case WM_POWERBROADCAST:
        if (wParam == PBT_APMRESUMEAUTOMATIC) {
            m_awake = true;
            const int state = m_lightControl;
            forLightingPages([state](CDevicePageUI* page) { page->Device()->SetLightingControl(state); });
            resumeDevices();
        } else if (wParam == PBT_APMSUSPEND) {
            m_awake = false;
            m_hooks->EndRecording();
            forLightingPages([](CDevicePageUI* page) { page->Device()->SetLightingControl(0); });
            suspendDevices();
        }
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
        } else if (wParam == kTimerTitleBar) {
            if (++m_titleBarTicks % kTrayCheckTicks == 0)
                ensureTray();
            refreshTitleBar();
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
        else if (name && *name == QLatin1String("about_menu"))
            CMsgWnd::MessageBoxFormatted(this, QStringLiteral("about_text"),
                                         QString::fromStdString(ApplicationDisplayVersion()));
        else if (name && *name == QLatin1String("setwnd_menu"))
            OpenSettings(CSetWnd::kPageUpdate);
        else if (name)
            for (CDevicePageUI* page : Pages(DeviceTypeKeyboard))
                if (page->isVisible() && page->Keyboard() && page->Keyboard()->HandleMenuChoice(*name))
                    break;
        return 0;
    }
    case kMsgInputHook:
        m_hooks->OnInputHookMessage(wParam);
        return 0;
    case kMsgOpenUpdatePage: {
        OpenSettings(CSetWnd::kPageUpdate);
        return 0;
    }
    case kMsgShowProgress:
        if (CControlUI* c = FindControl(QStringLiteral("setting_progress")))
            c->SetVisible(true);
        return 0;
    case kMsgDeviceArrived:
        OnDeviceArrived(static_cast<int>(wParam));
        return 0;
    case kMsgDeviceRemoved:
        OnDeviceRemoved(static_cast<int>(wParam));
        return 0;
    case DeviceScanThread::kMsgDeviceNoAccess:
        refreshNoAccessNotice();
        return 0;
    case kMsgSelectorItem:
        onSelectorMessage(static_cast<int>(wParam), lParam != 0);
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
    case kMsgPageStarted:
        if (m_follower)
            m_follower->PageStarted();
        return 0;
    default:
        return WindowImplBase::HandleMessage(msg, wParam, lParam);
    }
}

void CMainWnd::closeDeviceChannels() {
    for (int family = 0; family < kDeviceTypeCount; ++family)
        for (CDevicePageUI* page : Pages(family))
            if (CKestravaUSBDevice* device = page->Device()) {
                device->EnableFrames(false);
                device->Commands().CancelPending();
                device->Channel().CloseAll();
            }
}

void CMainWnd::suspendDevices() {
    // Nothing queued is worth sending to a machine going to sleep, and a transfer that
    // waits must not hold the sleep up: the interfaces close and reopen on resume.
    closeDeviceChannels();
}

void CMainWnd::resumeDevices() {
    // Every row still connected attaches again, which starts its page afresh.
    for (size_t row = 0; row < m_table.Size(); ++row) {
        const SupportedDeviceEntry entry = m_table.Entry(row);
        CDevicePageUI* page = PageForRow(static_cast<int>(row));
        if (entry.connected && entry.role == kRoleMain && page && page->Device() && !page->Device()->Channel().IsOpen())
            attachRow(static_cast<int>(row));
    }
}

void CMainWnd::stopWorkers() {
    if (m_workersStopped)
        return;
    m_workersStopped = true;
    // The devices' channels close first: a command that waits for a silent device ends
    // at once, so nothing below waits for a time-out.
    closeDeviceChannels();
    for (int slot = 0; slot < kWorkerSlots; ++slot) {
        std::function<void()> wake;
        if (slot == kLightSyncSlot && m_lightSync)
            wake = [] { LightSyncThread::Wake(); };
        StopWorker(m_workers[static_cast<size_t>(slot)], WorkerOwner::MainWindow, kMainWindowStopWaitMs, slot, wake);
    }
    // Then each device's own workers (light thread, listeners).
    for (int family = 0; family < kDeviceTypeCount; ++family)
        for (CDevicePageUI* page : Pages(family))
            if (page->Device())
                page->Device()->StopWorkers();
}

bool CMainWnd::ScanPassed() const {
    return m_scan && m_scan->Passes() > 0;
}

std::vector<UpdateRow> CMainWnd::UpdateRows() const {
    std::vector<UpdateRow> rows = UpdateTableRows();
    // Rows 0 to 2 follow the device families in family order; the last is the application.
    for (int k = 0; k < kApplicationRow && k < kDeviceTypeCount; ++k) {
        const std::vector<CDevicePageUI*> pages = Pages(k);
        CKestravaUSBDevice* device = pages.empty() ? nullptr : pages.front()->Device();
        if (!device || !device->Channel().IsOpen())
            continue;
        DeviceChannel& channel = device->Channel();
        const bool receiver = channel.IsWireless();
        rows[static_cast<size_t>(k)].currentVersion =
            (receiver ? channel.InterfaceB() : channel.InterfaceA()).Attributes().versionNumber;
        if (receiver)
            rows[static_cast<size_t>(k)].mode = -1;
    }
    rows[kApplicationRow].currentVersion = ReadInstalledVersion();
    std::vector<UpdateRow> known;
    for (const UpdateRow& row : rows)
        if (row.currentVersion != 0)
            known.push_back(row);
    return known;
}

void CMainWnd::showFocusStatus() {
    if (!m_setWnd || m_setWnd->IsDestroyed())
        return;
    if (CControlUI* line = m_setWnd->FindControl(QStringLiteral("set_focus_text")))
        line->SetText(m_follower ? m_follower->StatusText() : QString());
}

void CMainWnd::OpenSettings(int page) {
    if (m_setWnd && !m_setWnd->IsDestroyed()) {
        showFocusStatus();
        m_setWnd->SelectPage(page);
        m_setWnd->ShowWindow(true);
        return;
    }
    QStringList languages;
    for (const LanguageEntry& entry : ReadLanguageConfig())
        languages.append(entry.text);
    auto* wnd = new CSetWnd(this, WM_APP_UPDATE_STATE, UpdateRows(), languages, m_language.Current());
    if (!wnd->Create(this, QString::fromUtf8(kProductTitle))) {
        delete wnd;
        return;
    }
    m_setWnd = wnd;
    showFocusStatus();
    wnd->SelectPage(page);
    wnd->PlaceBeside(this);
    wnd->ShowWindow(true);
}

bool CMainWnd::AcceptsUpdateReport(uint32_t pid) const {
    return m_setWnd && !m_setWnd->IsDestroyed() && m_setWnd->AcceptsReportFrom(static_cast<pid_t>(pid));
}

void CMainWnd::OnFinalMessage() {}

} // namespace talyx
