#pragma once

#include <QPointer>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "app/CDeviceOptionUI.h"
#include "device/DeviceButton.h"
#include "device/DeviceHost.h"
#include "device/transport/DeviceIdentification.h"
#include "profile/DefaultLightNames.h"
#include "profile/ProfileRecords.h"
#include "ui/CContainerUI.h"
#include "ui/CDeviceKeyButtonUI.h"
#include "ui/CMpDevicePowerUI.h"

namespace talyx {

class CKestravaUSBDevice;
class CFamilyLightingDevice;
class CKestravaKeyboardDevice;
class KeyboardPage;
class CLightControlUI;
class ProfileBar;
class MessageTarget;
class WindowImplBase;

// A device button of the core, shown by a key button of the page. The light thread hands
// it colours; they are kept here and painted on the user-interface thread when the page
// redraws, so no worker touches a control.
class PageDeviceButton : public DeviceButton {
public:
    explicit PageDeviceButton(CDeviceKeyButtonUI* button);
    bool isVisible() const override { return m_visible.load(); }
    void showLightColour(uint8_t r, uint8_t g, uint8_t b, uint8_t brightness) override;
    void setEnabled(bool enabled) override;
    // On the user-interface thread: paints the last colour and refreshes the visible flag.
    void Paint();
    CDeviceKeyButtonUI* Button() const { return m_button; }
    // Another button that shows the same light (a key cap of the key view).
    void SetMirror(CDeviceKeyButtonUI* mirror) { m_mirror = mirror; }
    CDeviceKeyButtonUI* Mirror() const { return m_mirror; }
    // This button is another's mirror: Paint leaves its colour to that one.
    void SetMirrored(bool mirrored) { m_mirrored = mirrored; }

private:
    QPointer<CDeviceKeyButtonUI> m_button;
    QPointer<CDeviceKeyButtonUI> m_mirror;
    bool m_mirrored = false;
    std::atomic<bool> m_visible{true};
    std::atomic<uint32_t> m_argb{0};
    std::atomic<int> m_brightness{0};
};

// A device's page in the main window: the container its family layout fills, and the
// host of the device's core object (protocol, profile, lighting), which it owns. The
// page runs the device's schedule from its selector item's timers; every command goes
// through the core's command worker, whose results come back as queued calls to the page.
class CDevicePageUI : public CHorizontalLayoutUI, public DeviceHost {
    Q_OBJECT
public:
    explicit CDevicePageUI(int family = -1, QWidget* parent = nullptr);
    ~CDevicePageUI() override;
    QString GetClass() const override { return QStringLiteral("KestravaUSBDevice"); }
    int Family() const { return m_family; }

    // Creates the core object of the family and configures it from the page tables.
    void Configure(int family, WindowImplBase* mainWindow, const SupportedDeviceEntry& identity,
                   CDeviceOptionUI* selector, CMpDevicePowerUI* battery);
    // A notification from one of the page's controls; true when the page handled it.
    bool HandleNotify(TNotifyUI& msg);
    KeyboardPage* Keyboard() const { return m_keyboard; }
    // The profile bar of the mouse, mouse pad and headset pages (the keyboard's is its
    // page half's), or nullptr.
    ProfileBar* Profiles() const { return m_profileBar.get(); }
    CKestravaUSBDevice* Device() const { return m_device.get(); }
    CDeviceOptionUI* Selector() const { return m_selector; }
    CMpDevicePowerUI* Battery() const { return m_battery; }
    // The page start (key table, profile, record) has finished.
    bool IsStarted() const { return m_started; }
    // Lighting synchronisation is offered when more than one device is shown.
    void SetSyncOffered(bool offered);
    bool IsSyncOffered() const { return m_syncOffered; }

    // The lighting page ("LightControlItem") of any family, or nullptr.
    CLightControlUI* Lighting() const;
    // Shows the core's lighting record on the lighting page (the mode list first).
    void RefreshLighting();
    // The core's lighting record, and a change to it: stored, saved, refreshed and sent.
    LightInfo CurrentLighting() const;
    // `done` (the keyboard's) gets the result of the record's write; the other families
    // send from their light thread and answer success at once.
    void ChangeLighting(const LightInfo& light, std::function<void(int)> done = {});
    // Synchronised lighting from the main window: the flag set, the record shown and sent.
    void SynchroniseTo(const LightInfo& light);
    // The lighting table number of the family (1 keyboard, 2 mouse, 3 mouse pad, 7 headset).
    static int LightTypeOf(int family);

    // The selector item's timers (ids 1000 to 1007), on the user-interface thread.
    void OnSelectorTimer(int id);
    // Paints the last frame on the page's light buttons.
    void PaintLights();

    // DeviceHost.
    bool panelButtons(std::vector<std::pair<std::string, DeviceButton*>>& buttons) override;
    void armSelectorTimer(int timerId, int milliseconds) override;
    int selectorIndex() const override;
    void selectTab(const std::string& tabLayout, int index) override;
    void showBatteryIndicator(bool shown) override;
    void showBatteryStatus(const uint8_t* status, size_t length) override;
    void refreshPage() override;
    void requestPageRefresh() override;
    void postToInterface(std::function<void()> fn) override;

private:
    void startPage();
    void onPageStarted();
    // Posts an online query (0xAA); the answer arrives on the interface thread.
    void checkOnline(std::function<void(bool)> answer);
    void showSelector(bool show);
    void pollStatus();
    void paintTick();

    int m_family;
    std::unique_ptr<CKestravaUSBDevice> m_device;
    // The same object by its family's class (one of them is set).
    CKestravaKeyboardDevice* m_keyboardCore = nullptr;
    CFamilyLightingDevice* m_familyCore = nullptr;
    std::vector<std::unique_ptr<PageDeviceButton>> m_buttons;
    QPointer<CDeviceOptionUI> m_selector;
    QPointer<CMpDevicePowerUI> m_battery;
    MessageTarget* m_mainWindow = nullptr;
    WindowImplBase* m_window = nullptr;
    KeyboardPage* m_keyboard = nullptr;
    void setupLighting();
    std::vector<PresetLightMode> presetModes() const;
    QPointer<CLightControlUI> m_lighting;
    std::unique_ptr<ProfileBar> m_profileBar;
    size_t m_listedModes = 0;
    int m_onlineFailures = 0;
    bool m_started = false;
    bool m_syncOffered = false;
    // Requests from the worker threads that are on their way to the interface thread.
    std::atomic<bool> m_refreshQueued{false};
    std::atomic<uint32_t> m_armsQueued{0};
};

} // namespace talyx
