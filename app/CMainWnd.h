#pragma once

#include <QByteArray>
#include <QPointer>
#include <QStringList>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "app/BuilderCallback.h"
#include "app/Language.h"
#include "device/DevicePageLists.h"
#include "device/SupportedDeviceTable.h"
#include "online/CSetWnd.h"
#include "platform/WorkerThread.h"
#include "ui/CTrayIcon.h"
#include "ui/WindowImplBase.h"

class QTimer;

namespace talyx {

class AppBus;
class AppLinkSwitcher;
class AudioRecorderClient;
class CButtonUI;
class CKestravaKeyboardDevice;
class CDeviceOptionUI;
class CDevicePageUI;
class CKestravaUSBDevice;
class DeviceScanThread;
class KeyboardPage;
class InputHookHost;
class LightSyncThread;
struct SkinChange;

// The program's only top-level window: title bar, device selector, the device pages and
// the no-device notice; the tray icon; the messages from companions and workers.
class CMainWnd : public WindowImplBase {
    Q_OBJECT
public:
    static constexpr int kWorkerSlots = 20;
    static constexpr int kScanSlot = 0;
    static constexpr int kLightSyncSlot = 8;

    explicit CMainWnd(AppBus* bus = nullptr);
    ~CMainWnd() override;

    QString GetSkinFile() const override { return QStringLiteral("XML_MAIN"); }
    QString GetWindowClassName() const override { return QStringLiteral("MainWnd"); }
    void InitWindow() override;
    void Notify(TNotifyUI& msg) override;
    CControlUI* CreateControl(const QString& className) override;
    LRESULT HandleMessage(uint32_t msg, WPARAM wParam, LPARAM lParam) override;
    bool CanMaximise() const override { return true; }

    // The status line ("status_text") of the window. Any page or editor reports what just
    // happened through it, in the user's language:
    //     WindowImplBase::ShowStatusFor(control, "status_profile_deleted", {name});
    // The text shows for a few seconds (errors longer, in red), then "Ready" comes back.
    // A later status replaces an earlier one; a language change translates the one shown.
    void ShowStatus(const QString& textId, const QStringList& args = {}, StatusKind kind = StatusKind::Info) override;
    // The language id of the status shown, or "status_ready".
    QString StatusTextId() const { return m_status.textId; }

    // The process-wide main window for the workers (they only post and send to it).
    static CMainWnd* Instance();

    int LightControlState() const { return m_lightControl; }
    bool IsAwake() const { return m_awake; }
    bool IsActive() const { return m_active; }
    int CurrentLanguage() const { return m_language.Current(); }
    // Applies a language by its index in Language.config (message 3089 does the same).
    void ApplyLanguage(int index);
    // Shows "No_device_Link" when no selector item is visible, and both tab layouts at 0.
    void RefreshNoDeviceNotice();
    // Sizes the window for the screen it is on (1000 × 640 at 96 DPI, scaled on large
    // screens) and centres it.
    void FitToScreen();
    // Tray left click: hide when shown, show and bring forward when hidden.
    void ToggleFromTray();
    // Brings the window to the front, restoring it when minimised or hidden.
    void BringToFront();
    // The close button and the window manager's close: to the tray when there is one,
    // otherwise the program ends (a hidden window without a tray could not be found
    // again, and a minimised one is lost where there is no taskbar).
    void CloseOrHideToTray();
    // The 1024-byte block sent to the "WorkTool" peer.
    static QByteArray WorkToolBlock();
    bool HasTray() const { return m_tray.IsCreated(); }
    WorkerThread& WorkerSlot(int slot) { return m_workers[static_cast<size_t>(slot)]; }

    // The runtime copy of the supported-interface table, shared with the scan thread.
    SupportedDeviceTable& Table() { return m_table; }
    // A device arrived or went (messages 3090 and 3091 do the same).
    void OnDeviceArrived(int row);
    void OnDeviceRemoved(int row);
    // True once the device scan has made its first pass.
    bool ScanPassed() const;
    // The page kept for a row's page identity, or nullptr.
    CDevicePageUI* PageForRow(int row) const;
    // Pages of a family, in the order they were made. Safe from any thread.
    std::vector<CDevicePageUI*> Pages(int family) const;
    // Shows or hides a selector item; selecting also shows its page. Then the no-device
    // notice and the lighting synchronisation offer follow the number of visible items.
    void ShowSelectorItem(CDeviceOptionUI* item, bool show, bool select);
    int VisibleSelectorCount() const;
    bool IsSyncOffered() const { return m_syncOffered; }
    // The lighting of the source page given to every connected device: the source's mode
    // becomes the shared effect, and each device takes the mode of its family that shows
    // it, with the source's brightness, speed, direction and colour, and its synchronised
    // flag set. A mode with no shared effect changes nothing. False then.
    bool SynchroniseLighting(CDevicePageUI* source);
    // Opens the settings window on one of its pages, or brings it forward on that page.
    void OpenSettings(int page);
    CSetWnd* SettingsWindow() const { return m_setWnd.data(); }
    // The update rows as this computer has them: each device family's firmware version
    // (the receiver's, with mode -1, for a device in its receiver form; 0 when none is
    // connected) and the installed application version.
    std::vector<UpdateRow> UpdateRows() const;
    // The input hook and the routing of its messages.
    InputHookHost* InputHooks() const { return m_hooks.get(); }
    // Profiles that follow the application in front; made with the window's start.
    AppLinkSwitcher* Follower() const { return m_follower.get(); }
    // Whether a package report from this process is taken by the settings window.
    bool AcceptsUpdateReport(uint32_t pid) const;
    // The audio recorder's client (nullptr without a session bus).
    AudioRecorderClient* AudioRecorder() const { return m_audio.get(); }
    // Runs the recorder while a connected device shows an audio mode and the program
    // drives the lights; stops it otherwise. At the period of the fastest such link.
    void RefreshAudioRecorder();

protected:
    void OnFinalMessage() override;
    void OnMaximisedChanged(bool maximised) override;

private:
    void onWindowInit();
    void startAudioClient();
    void onClick(CControlUI* sender);
    void setLightControl(int state, bool broadcast);
    // Creates the tray icon when a tray has appeared since the start. True with a tray.
    bool ensureTray();
    // The title bar and the no-device notice as the state is now: the lighting bulb, game
    // mode (the Windows-key lock of the keyboard shown), the close button's words, and
    // "Got it" only where the window can go to a tray.
    void refreshTitleBar();
    // The keyboard whose page is shown and started, or nullptr.
    CKestravaKeyboardDevice* shownKeyboard() const;
    void toggleGameMode();
    void showStatusText();
    // Every profile write of the program passes here (on any thread).
    void onProfileWrite(const std::string& path, bool written);
    void stopWorkers();
    // Suspend closes every device channel (dropping queued commands, ending a waiting
    // transfer); resume attaches the rows still connected again.
    void suspendDevices();
    void resumeDevices();
    // Drops every device's queued commands, stops its frames and closes its channel.
    void closeDeviceChannels();
    CDevicePageUI* createPage(int row);
    void attachRow(int row);
    // Runs fn on the pages of the keyboard, mouse and mouse-pad families.
    void forLightingPages(const std::function<void(CDevicePageUI*)>& fn) const;
    // The settings window's line on the focus source.
    void showFocusStatus();
    void setWindowHiddenFlag(bool hidden);
    void onSelectorMessage(int index, bool show);
    void applySkin(const SkinChange& change);
    CDevicePageUI* owningPage(CControlUI* control) const;
    // The no-device notice's word on supported devices that may not be opened (message
    // 3092): their nodes and the udev rule that gives access, or nothing.
    void refreshNoAccessNotice();

    AppBus* m_bus;
    AppBuilderCallback m_callback;
    CTrayIcon m_tray;
    LanguageState m_language;
    int m_lightControl = 1;
    bool m_active = false;
    bool m_awake = true;
    bool m_initialised = false;
    bool m_workersStopped = false;
    int m_screenWidth = 0;
    int m_screenHeight = 0;
    std::array<WorkerThread, kWorkerSlots> m_workers;
    std::array<CControlUI*, 9> m_titleButtons{};
    SupportedDeviceTable m_table;
    std::map<int, CDevicePageUI*> m_pageByIdentity;
    mutable std::mutex m_pagesLock;
    std::array<std::vector<CDevicePageUI*>, kDeviceTypeCount> m_pages;
    bool m_syncOffered = false;
    DevicePageLists m_pageLists;
    std::unique_ptr<DeviceScanThread> m_scan;
    std::unique_ptr<LightSyncThread> m_lightSync;
    QPointer<CSetWnd> m_setWnd;
    struct Status {
        QString textId = QStringLiteral("status_ready");
        QStringList args;
        StatusKind kind = StatusKind::Info;
    } m_status;
    QTimer* m_statusTimer = nullptr;
    // A failed save is told once in the message window, until a save works again.
    bool m_saveFailureTold = false;
    int m_titleBarTicks = 0;
    std::unique_ptr<InputHookHost> m_hooks;
    std::unique_ptr<AppLinkSwitcher> m_follower;
    std::unique_ptr<AudioRecorderClient> m_audio;
    QTimer* m_audioTimer = nullptr;
};

} // namespace talyx
