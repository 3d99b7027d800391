#include "app/CDevicePageUI.h"

#include <QSet>
#include <QThread>
#include <array>
#include <memory>

#include "app/CDeviceOptionUI.h"
#include "app/CMainWnd.h"
#include "app/KeyboardPage.h"
#include "app/ProfileBar.h"
#include "device/CKestravaHS6533Device.h"
#include "device/CKestravaMouseDevice.h"
#include "device/CKestravaMousePadDevice.h"
#include "device/CKestravaUSBDevice.h"
#include "editors/CColorSelectWnd.h"
#include "editors/CLightControlUI.h"
#include "editors/MusicWnd.h"
#include "keyboard/CKestravaKeyboardDevice.h"
#include "platform/Debug.h"
#include "platform/MessageTarget.h"
#include "ui/CDeviceKeyButtonUI.h"
#include "ui/CKeyPictureLayerUI.h"
#include "ui/CMpDevicePowerUI.h"
#include "ui/CPaintManagerUI.h"
#include "ui/CSelectPanelUI.h"
#include "ui/WindowImplBase.h"
#include "ui/WindowMessages.h"

namespace talyx {
namespace {

// The online count wraps here, so it never grows without bound.
constexpr int kOnlineFailureWrap = 20;
// The keyboard takes a frame every 10 ms from the worker; the picture on screen is a preview
// and follows at 10 frames a second (each costs a repaint of every key that changed), and
// checks only twice a second whether it is shown again.
constexpr int kPaintIntervalMs = 100;
constexpr int kHiddenPaintIntervalMs = 500;

} // namespace

PageDeviceButton::PageDeviceButton(CDeviceKeyButtonUI* button) : m_button(button) {
    m_visible.store(button && button->IsVisible());
}

void PageDeviceButton::showLightColour(uint8_t r, uint8_t g, uint8_t b, uint8_t brightness) {
    m_argb.store(0xFF000000u | uint32_t(r) << 16 | uint32_t(g) << 8 | b);
    m_brightness.store(brightness);
}

void PageDeviceButton::setEnabled(bool enabled) {
    if (m_button)
        m_button->SetEnabled(enabled);
}

void PageDeviceButton::Paint() {
    if (!m_button)
        return;
    // Its own flag: a light on a tab that is not shown still lights its key cap.
    m_visible.store(m_button->IsVisible());
    if (!m_mirrored)
        m_button->SetLightColor(m_argb.load(), m_brightness.load());
    if (m_mirror)
        m_mirror->SetLightColor(m_argb.load(), m_brightness.load());
}

CDevicePageUI::CDevicePageUI(int family, QWidget* parent) : CHorizontalLayoutUI(parent), m_family(family) {}

CDevicePageUI::~CDevicePageUI() {
    if (m_device) {
        m_device->StopWorkers();
        m_device->SetHost(nullptr);
    }
}

void CDevicePageUI::postToInterface(std::function<void()> fn) {
    // Queued to this page: Qt drops the call when the page is destroyed first, and the
    // guard covers a page that is being torn down when the call runs.
    QPointer<CDevicePageUI> self(this);
    QMetaObject::invokeMethod(
        this,
        [self, fn = std::move(fn)] {
            if (self && self->m_device)
                fn();
        },
        Qt::QueuedConnection);
}

void CDevicePageUI::Configure(int family, WindowImplBase* mainWindow, const SupportedDeviceEntry& identity,
                              CDeviceOptionUI* selector, CMpDevicePowerUI* battery) {
    m_family = family;
    m_mainWindow = mainWindow;
    m_window = mainWindow;
    m_selector = selector;
    m_battery = battery;
    if (selector)
        selector->SetPage(this);
    const DevicePageInfo& page = kDevicePageInfo[family];
    const DeviceTypeInfo& type = kDeviceTypeInfo[family];
    CKestravaKeyboardDevice* keyboard = nullptr;
    if (family == DeviceTypeKeyboard) {
        auto core = std::make_unique<CKestravaKeyboardDevice>();
        keyboard = core.get();
        m_keyboardCore = keyboard;
        m_device = std::move(core);
    } else {
        std::unique_ptr<CFamilyLightingDevice> core;
        if (family == DeviceTypeMouse)
            core = std::make_unique<CKestravaMouseDevice>();
        else if (family == DeviceTypeMousePad)
            core = std::make_unique<CKestravaMousePadDevice>();
        else
            core = std::make_unique<CKestravaHS6533Device>();
        m_familyCore = core.get();
        m_device = std::move(core);
    }
    m_device->SetHost(this);
    m_device->SetMainWindow(mainWindow);
    m_device->SetPageLayout(page.pageLayout);
    m_device->SetLightCount(page.valueA);
    m_device->SetKeyCount(page.valueB);
    m_device->SetFamilyIndex(family);
    m_device->SetWirelessCapable(page.valueC != 0);
    m_device->SetFamilyName(type.familyName);
    m_device->SetIdentity(identity);
    m_device->SetFamilyValue4(type.value4);
    m_device->SetLightFilePrefix(page.lightFilePrefix);
    if (keyboard)
        m_keyboard = new KeyboardPage(this, keyboard, mainWindow);
    else if (CFamilyLightingDevice* lit = m_familyCore)
        m_profileBar =
            std::make_unique<ProfileBar>(this, lit->ProfileFolder(), lit, mainWindow, [this] { RefreshLighting(); });
    setupLighting();
    m_device->BuildButtonLists();
    m_device->StartCommandWorker();
}

bool CDevicePageUI::HandleNotify(TNotifyUI& msg) {
    if (m_lighting && m_lighting->HandleNotify(msg))
        return true;
    if (m_profileBar && msg.pSender && m_profileBar->HandleNotify(msg.pSender, msg.sType))
        return true;
    return m_keyboard && m_keyboard->HandleNotify(msg);
}

int CDevicePageUI::LightTypeOf(int family) {
    switch (family) {
    case DeviceTypeKeyboard:
        return 1;
    case DeviceTypeMouse:
        return 2;
    case DeviceTypeMousePad:
        return 3;
    case DeviceTypeHeadset:
        return 7;
    default:
        return 0;
    }
}

CLightControlUI* CDevicePageUI::Lighting() const {
    return m_lighting;
}

LightInfo CDevicePageUI::CurrentLighting() const {
    if (m_keyboardCore)
        return m_keyboardCore->CurrentLightInfo();
    return m_familyCore ? m_familyCore->CurrentLightInfo() : LightInfo();
}

void CDevicePageUI::ChangeLighting(const LightInfo& light, std::function<void(int)> done) {
    if (m_keyboardCore) {
        m_keyboardCore->ChangeLighting(light, std::move(done));
        return;
    }
    if (m_familyCore)
        m_familyCore->ChangeLighting(light);
    if (done)
        done(m_familyCore ? kResultSuccess : kResultNoReply);
}

std::vector<PresetLightMode> CDevicePageUI::presetModes() const {
    if (m_keyboardCore)
        return m_keyboardCore->PresetModes();
    return m_familyCore ? m_familyCore->PresetModes() : std::vector<PresetLightMode>();
}

void CDevicePageUI::setupLighting() {
    m_lighting = qobject_cast<CLightControlUI*>(FindSubControl(QStringLiteral("LightControlItem")));
    if (!m_lighting)
        return;
    m_lighting->SetLightType(LightTypeOf(m_family));
    CLightControlUI::Device device;
    device.current = [this] { return CurrentLighting(); };
    device.change = [this](const LightInfo& light) { ChangeLighting(light); };
    device.setSynchronised = [this](bool on) { m_device->SetLightSynchronised(on); };
    device.synchronise = [this] {
        if (auto* main = qobject_cast<CMainWnd*>(m_window))
            main->SynchroniseLighting(this);
    };
    device.pickColour = [this](uint32_t& colour) { return CColorSelectWnd::Pick(m_window, colour); };
    if (CKestravaKeyboardDevice* keyboard = m_keyboardCore) {
        device.selectCustomGroup = [keyboard](int group) { keyboard->SelectCustomGroup(group); };
        device.fillCustomColours = [keyboard](bool on) { keyboard->FillCustomColours(on); };
        device.currentAudio = [keyboard] { return keyboard->Profile().GetAudioLightInfo(); };
        device.changeAudio = [keyboard](const AudioLightInfo& audio) { keyboard->ChangeAudioLighting(audio); };
    } else if (CFamilyLightingDevice* lit = m_familyCore) {
        device.currentAudio = [lit] { return lit->Profile().GetAudioLightInfo(); };
        device.changeAudio = [lit](const AudioLightInfo& audio) { lit->ChangeAudioLighting(audio); };
    }
    if (device.currentAudio) {
        // The style chosen in the style window colours the bars.
        device.openAudioStyles = [this, current = device.currentAudio, change = device.changeAudio] {
            AudioStyles styles;
            if (!MusicWnd::Edit(m_window, styles))
                return;
            AudioLightInfo audio = current();
            const std::array<int, 3> rgb = styles.LightColour(styles.selected);
            audio.fgRed = static_cast<uint8_t>(rgb[0]);
            audio.fgGreen = static_cast<uint8_t>(rgb[1]);
            audio.fgBlue = static_cast<uint8_t>(rgb[2]);
            audio.sevenColor = 0;
            change(audio);
            if (m_lighting)
                m_lighting->ShowAudioLightInfo(audio);
        };
    }
    m_lighting->SetDevice(std::move(device));
}

void CDevicePageUI::RefreshLighting() {
    if (!m_lighting)
        return;
    const std::vector<PresetLightMode> presets = presetModes();
    if (presets.size() != m_listedModes) {
        std::vector<std::string> names;
        std::vector<int> visible;
        for (const PresetLightMode& p : presets) {
            names.push_back(p.name);
            visible.push_back(p.visible ? 1 : 0);
        }
        // Every device has five brightness and five speed steps.
        m_lighting->Init(names, visible, 4, 4);
        m_listedModes = presets.size();
    }
    m_lighting->SetSyncAvailable(m_syncOffered);
    m_lighting->ShowLightInfo(CurrentLighting());
    if (m_keyboardCore)
        m_lighting->ShowAudioLightInfo(m_keyboardCore->Profile().GetAudioLightInfo());
    else if (m_familyCore)
        m_lighting->ShowAudioLightInfo(m_familyCore->Profile().GetAudioLightInfo());
}

void CDevicePageUI::SetSyncOffered(bool offered) {
    m_syncOffered = offered;
    if (m_lighting)
        m_lighting->SetSyncAvailable(offered);
}

void CDevicePageUI::SynchroniseTo(const LightInfo& light) {
    m_device->SetLightSynchronised(true);
    if (m_lighting)
        m_lighting->ShowLightInfo(light);
    ChangeLighting(light);
}

void CDevicePageUI::showBatteryStatus(const uint8_t* status, size_t length) {
    std::array<uint8_t, 6> bytes{};
    std::copy(status, status + std::min(length, bytes.size()), bytes.begin());
    if (m_battery)
        m_battery->SetStatus(bytes);
}

void CDevicePageUI::refreshPage() {
    if (m_keyboard)
        m_keyboard->Refresh();
}

void CDevicePageUI::requestPageRefresh() {
    // A burst of notifications gives one refresh: only one request is queued at a time.
    if (m_refreshQueued.exchange(true))
        return;
    postToInterface([this] {
        m_refreshQueued.store(false);
        if (auto* keyboard = m_keyboardCore)
            keyboard->RefreshPage();
    });
}

bool CDevicePageUI::panelButtons(std::vector<std::pair<std::string, DeviceButton*>>& buttons) {
    auto* panel = findChild<CSelectPanelUI*>();
    if (!panel)
        return false;
    m_buttons.clear();
    QHash<QString, CDeviceKeyButtonUI*> keys;
    const auto all = panel->findChildren<CDeviceKeyButtonUI*>();
    for (CDeviceKeyButtonUI* b : all)
        keys.insert(b->GetName().toLower(), b);
    for (CDeviceKeyButtonUI* b : all) {
        m_buttons.push_back(std::make_unique<PageDeviceButton>(b));
        const QString name = b->GetName().toLower();
        if (name.startsWith(QLatin1String("light_")))
            m_buttons.back()->SetMirror(keys.value(QStringLiteral("key_") + name.mid(6)));
        buttons.emplace_back(b->GetName().toStdString(), m_buttons.back().get());
    }
    // A key cap that mirrors a light takes its colour from that light alone: painting its
    // own (unlit) colour first would change it twice in every frame.
    for (auto& b : m_buttons)
        if (CDeviceKeyButtonUI* mirror = b->Mirror())
            for (auto& other : m_buttons)
                if (other->Button() == mirror)
                    other->SetMirrored(true);
    // The lit keys of each picture are painted in one pass per frame shown.
    QSet<QWidget*> pictures;
    for (CDeviceKeyButtonUI* b : all)
        pictures.insert(b->parentWidget());
    for (QWidget* picture : pictures)
        CKeyPictureLayerUI::Attach(picture);
    return true;
}

void CDevicePageUI::armSelectorTimer(int timerId, int milliseconds) {
    if (QThread::currentThread() != thread()) {
        // From a worker (the listener): arms of the same timer that are still on their way
        // merge, so a flood of notifications queues one arm.
        const int bit = timerId - kTimerPaint;
        if (bit >= 0 && bit < 32) {
            const uint32_t mask = 1u << bit;
            if (m_armsQueued.fetch_or(mask) & mask)
                return;
            postToInterface([this, timerId, milliseconds, mask] {
                m_armsQueued.fetch_and(~mask);
                armSelectorTimer(timerId, milliseconds);
            });
            return;
        }
    }
    if (m_selector && m_selector->GetManager())
        m_selector->GetManager()->SetTimer(m_selector, timerId, milliseconds);
}

int CDevicePageUI::selectorIndex() const {
    if (!m_selector)
        return -1;
    auto* list = qobject_cast<CContainerUI*>(m_selector->GetParentControl());
    return list ? list->GetItemIndex(m_selector) : -1;
}

void CDevicePageUI::selectTab(const std::string& tabLayout, int index) {
    if (auto* tab = qobject_cast<CTabLayoutUI*>(FindSubControl(QString::fromStdString(tabLayout))))
        tab->SelectItem(index);
}

void CDevicePageUI::showBatteryIndicator(bool shown) {
    if (m_battery)
        m_battery->SetVisible(shown);
}

void CDevicePageUI::PaintLights() {
    for (auto& b : m_buttons)
        b->Paint();
}

void CDevicePageUI::startPage() {
    // The page start runs on the command worker; the schedule begins once it is done.
    auto started = [self = QPointer<CDevicePageUI>(this)](int) {
        if (self)
            self->onPageStarted();
    };
    if (m_keyboard) {
        m_keyboard->Start(started);
        return;
    }
    if (auto* lit = m_familyCore) {
        m_profileBar->Initialise(LightTypeOf(m_family));
        lit->ApplyProfile(m_profileBar->Profiles().CurrentUUID());
    }
    RefreshLighting();
    m_device->StartLightThread();
    started(kResultSuccess);
}

void CDevicePageUI::onPageStarted() {
    m_started = true;
    m_onlineFailures = 0;
    DeviceChannel& channel = m_device->Channel();
    m_device->EnableFrames(true);
    armSelectorTimer(kTimerPaint, 5);
    if (m_device->IsWirelessCapable() && channel.IsOpen())
        armSelectorTimer(kTimerStatus, 50);
    if (channel.IsWireless())
        armSelectorTimer(kTimerWirelessWatch, 2000);
    // The application in front may have a profile linked for this device.
    if (m_mainWindow)
        m_mainWindow->postMessage(kMsgPageStarted, 0, 0);
}

void CDevicePageUI::checkOnline(std::function<void(bool)> answer) {
    auto online = std::make_shared<bool>(false);
    m_device->Commands().Post(
        "online", DeviceCommandWorker::kMergeOnline,
        [this, online](CommandContext&) {
            *online = m_device->Channel().CmdAAIsOnline();
            return *online ? kResultSuccess : kResultNoReply;
        },
        [online, answer = std::move(answer)](int) { answer(*online); });
}

void CDevicePageUI::showSelector(bool show) {
    if (m_mainWindow)
        m_mainWindow->sendMessage(kMsgSelectorItem, static_cast<WPARAM>(selectorIndex()), show ? 1 : 0);
}

void CDevicePageUI::pollStatus() {
    if (CKestravaKeyboardDevice* keyboard = m_keyboardCore) {
        keyboard->PollStatus();
        return;
    }
    auto status = std::make_shared<std::array<uint8_t, 6>>();
    m_device->Commands().Post(
        "status", DeviceCommandWorker::kMergeStatus,
        [this, status](CommandContext&) -> int {
            DeviceChannel& channel = m_device->Channel();
            if (!channel.CmdAAIsOnline())
                return kResultNoReply;
            return channel.Cmd1AReadStatus(status->data(), status->size());
        },
        [this, status](int result) {
            if (result != kResultSuccess)
                return;
            (*status)[3] = m_device->IsWirelessCapable() ? 1 : 0;
            if (m_battery)
                m_battery->SetStatus(*status);
            if (m_mainWindow)
                m_mainWindow->postMessage(kMsgDeviceStatus, (*status)[4], 0);
        });
}

void CDevicePageUI::paintTick() {
    // The interface thread pulls the latest colours; nothing is sent per frame.
    const bool shown = m_selector && m_selector->IsSelected() && m_device->LightingDisplay() && isVisible() &&
                       window() && !window()->isMinimized();
    if (shown) {
        m_device->BuildLightFrame();
        PaintLights();
    }
    if (m_device->Channel().IsOpen())
        armSelectorTimer(kTimerPaint, shown ? kPaintIntervalMs : kHiddenPaintIntervalMs);
}

void CDevicePageUI::OnSelectorTimer(int id) {
    if (m_selector && m_selector->GetManager())
        m_selector->GetManager()->KillTimer(m_selector, id);
    if (!m_device)
        return;
    DeviceChannel& channel = m_device->Channel();
    QPointer<CDevicePageUI> self(this);
    switch (id) {
    case kTimerStart: {
        if (!(channel.IsWireless() && channel.IsOpen())) {
            startPage();
            break;
        }
        checkOnline([self](bool online) {
            if (!self)
                return;
            if (!online) {
                self->m_onlineFailures = (self->m_onlineFailures + 1) % kOnlineFailureWrap;
                if (self->m_selector && self->m_selector->IsVisible())
                    self->showSelector(false);
                self->armSelectorTimer(kTimerStart, 3000);
                return;
            }
            self->showSelector(true);
            self->startPage();
        });
        break;
    }
    case kTimerPaint:
        paintTick();
        break;
    case kTimerSettingsSync:
        // 0x402: the keyboard's profile changed too; the record read comes after the write.
        if (m_keyboard && m_device->LastNotification() == CKestravaUSBDevice::kUsageProfileChanged)
            m_keyboard->ReloadProfiles();
        m_device->SettingsSync();
        break;
    case kTimerOperation3:
    case kTimerOperation4:
        m_device->RunTimerOperation();
        break;
    case kTimerStatus:
        // While the window is hidden nobody looks at the battery: the polling pauses.
        if (!m_device->IsWindowHidden())
            pollStatus();
        if (m_device->IsWirelessCapable())
            armSelectorTimer(kTimerStatus, 5000);
        break;
    case kTimerWirelessWatch: {
        if (!channel.IsOpen())
            break;
        if (!channel.IsWireless()) {
            DebugOutput("2.4gcesvdfherhue  12312423");
            break;
        }
        checkOnline([self](bool online) {
            if (!self)
                return;
            const bool shown = self->m_selector && self->m_selector->IsVisible();
            if (online && !shown) {
                self->showSelector(true);
                self->OnSelectorTimer(kTimerStatus);
                DebugOutput("2.4gcesvdfherhue  12312423 123342341");
            } else if (!online && shown) {
                self->showSelector(false);
                DebugOutput("2.4gcesvdfherhue");
            }
        });
        armSelectorTimer(kTimerWirelessWatch, 3000);
        break;
    }
    default:
        break;
    }
}

} // namespace talyx
