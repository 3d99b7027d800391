#include "app/CDevicePageUI.h"

#include <array>

#include "app/CDeviceOptionUI.h"
#include "app/KeyboardPage.h"
#include "app/LightingPanel.h"
#include "device/CKestravaHS6533Device.h"
#include "device/CKestravaMouseDevice.h"
#include "device/CKestravaMousePadDevice.h"
#include "keyboard/CKestravaKeyboardDevice.h"
#include "ui/WindowImplBase.h"
#include "device/CKestravaUSBDevice.h"
#include "platform/Debug.h"
#include "platform/MessageTarget.h"
#include "ui/CDeviceKeyButtonUI.h"
#include "ui/CMpDevicePowerUI.h"
#include "ui/CPaintManagerUI.h"
#include "ui/CSelectPanelUI.h"
#include "ui/WindowMessages.h"

namespace talyx {
namespace {

// Selector item timers.
constexpr int kTimerFrame = 1000;
constexpr int kTimerStart = 1001;
constexpr int kTimerSettingsSync = 1002;
constexpr int kTimerOperation3 = 1003;
constexpr int kTimerOperation4 = 1004;
constexpr int kTimerStatus = 1005;
constexpr int kTimerWirelessWatch = 1007;

// Frames go out every 10 ms on the cable; the receiver's radio link carries one every 50 ms.
constexpr int kFrameWiredMs = 10;
constexpr int kFrameWirelessMs = 50;
// The online count wraps here, so it never grows without bound.
constexpr int kOnlineFailureWrap = 20;
constexpr int kPaintIntervalMs = 66;

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
        CFamilyLightingDevice* lit = core.get();
        m_familyCore = lit;
        m_lighting = std::make_unique<LightingPanel>(
            FindSubControl(QStringLiteral("LightControlItem")),
            LightingPanel::Device{[lit] { return lit->CurrentLightInfo(); },
                                  [lit](const LightInfo& l) { lit->ChangeLighting(l); },
                                  [lit] { return lit->PresetModes(); }});
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
    m_device->BuildButtonLists();
}

bool CDevicePageUI::HandleNotify(TNotifyUI& msg) {
    if (m_keyboard)
        return m_keyboard->HandleNotify(msg);
    return m_lighting && m_lighting->HandleNotify(msg);
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
    QPointer<CDevicePageUI> self(this);
    QMetaObject::invokeMethod(
        this,
        [self] {
            if (!self || !self->m_device)
                return;
            if (auto* keyboard = self->m_keyboardCore)
                keyboard->RefreshPage();
        },
        Qt::QueuedConnection);
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
    return true;
}

void CDevicePageUI::armSelectorTimer(int timerId, int milliseconds) {
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
    m_started = true;
    if (m_keyboard) {
        m_keyboard->Start();
        return;
    }
    if (auto* lit = m_familyCore)
        lit->LoadProfile();
    if (m_lighting)
        m_lighting->Refresh();
    m_device->StartLightThread();
}

void CDevicePageUI::OnSelectorTimer(int id) {
    if (m_selector && m_selector->GetManager())
        m_selector->GetManager()->KillTimer(m_selector, id);
    if (!m_device)
        return;
    DeviceChannel& channel = m_device->Channel();
    const int index = selectorIndex();
    switch (id) {
    case kTimerStart: {
        if (channel.IsWireless() && channel.IsOpen()) {
            if (!channel.CmdAAIsOnline()) {
                m_onlineFailures = (m_onlineFailures + 1) % kOnlineFailureWrap;
                if (m_selector && m_selector->IsVisible() && m_mainWindow)
                    m_mainWindow->sendMessage(kMsgSelectorItem, static_cast<WPARAM>(index), 0);
                armSelectorTimer(kTimerStart, 3000);
                return;
            }
            if (m_mainWindow)
                m_mainWindow->sendMessage(kMsgSelectorItem, static_cast<WPARAM>(index), 1);
        }
        startPage();
        m_onlineFailures = 0;
        armSelectorTimer(kTimerFrame, 5);
        if (m_device->IsWirelessCapable() && channel.IsOpen())
            armSelectorTimer(kTimerStatus, 50);
        if (channel.IsWireless())
            armSelectorTimer(kTimerWirelessWatch, 2000);
        break;
    }
    case kTimerFrame: {
        // While another program drives the lights (or the computer sleeps) no frame goes out.
        CKestravaKeyboardDevice* keyboard = m_keyboardCore;
        if (m_device->LightingControl()) {
            if (keyboard) {
                keyboard->SendLightFrame();
            } else {
                std::array<uint8_t, CKestravaUSBDevice::kFrameBytes> frame{};
                m_device->BuildLightFrame();
                m_device->CopyLightFrame(frame.data());
                channel.Cmd12WriteFrame(frame.data(), frame.size());
            }
        }
        if (keyboard)
            keyboard->BuildLightFrame();
        // The keyboard takes a frame every 10 ms; the picture on screen follows at 15 frames
        // a second, smooth enough for a picture at a sixth of the drawing, and not at all
        // while the window is hidden or minimised.
        if (m_selector && m_selector->IsSelected() && m_device->LightingDisplay() && isVisible() &&
            !window()->isMinimized() && (!m_lastPaint.isValid() || m_lastPaint.elapsed() >= kPaintIntervalMs)) {
            m_lastPaint.start();
            PaintLights();
        }
        if (channel.IsOpen())
            armSelectorTimer(kTimerFrame, channel.IsWireless() ? kFrameWirelessMs : kFrameWiredMs);
        break;
    }
    case kTimerSettingsSync:
        m_device->SettingsSync();
        break;
    case kTimerOperation3:
    case kTimerOperation4:
        m_device->DeviceOperation();
        break;
    case kTimerStatus: {
        if (CKestravaKeyboardDevice* keyboard = m_keyboardCore) {
            keyboard->PollStatus();
        } else if (channel.CmdAAIsOnline()) {
            std::array<uint8_t, 6> status{};
            if (channel.Cmd1AReadStatus(status.data(), status.size()) == 1) {
                status[3] = m_device->IsWirelessCapable() ? 1 : 0;
                if (m_battery)
                    m_battery->SetStatus(status);
                if (m_mainWindow)
                    m_mainWindow->postMessage(kMsgDeviceStatus, status[4], 0);
            }
        }
        if (m_device->IsWirelessCapable())
            armSelectorTimer(kTimerStatus, 5000);
        break;
    }
    case kTimerWirelessWatch: {
        if (!channel.IsOpen())
            break;
        if (channel.IsWireless()) {
            const bool online = channel.CmdAAIsOnline();
            const bool shown = m_selector && m_selector->IsVisible();
            if (online && !shown) {
                if (m_mainWindow)
                    m_mainWindow->sendMessage(kMsgSelectorItem, static_cast<WPARAM>(index), 1);
                OnSelectorTimer(kTimerStatus);
                DebugOutput("2.4gcesvdfherhue  12312423 123342341");
            } else if (!online && shown) {
                if (m_mainWindow)
                    m_mainWindow->sendMessage(kMsgSelectorItem, static_cast<WPARAM>(index), 0);
                DebugOutput("2.4gcesvdfherhue");
            }
            armSelectorTimer(kTimerWirelessWatch, 3000);
        } else {
            DebugOutput("2.4gcesvdfherhue  12312423");
        }
        break;
    }
    default:
        break;
    }
}

} // namespace talyx
