#include "device/CKestravaUSBDevice.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "device/DeviceButton.h"
#include "device/DeviceHost.h"
#include "device/LightEffect.h"
#include "device/LightPacer.h"
#include "device/LightSyncThread.h"
#include "device/WorkerStop.h"
#include "device/transport/HidDevice.h"
#include "platform/Clock.h"
#include "platform/Debug.h"
#include "platform/Event.h"
#include "platform/MessageTarget.h"
#include "platform/Paths.h"

namespace talyx {
namespace {

constexpr const char* kFunctionTabs = "device_function_switch";
constexpr const char* kKeyFunctionTabs = "device_key_function_switch";

// Which tab shows the settings of a function mode. Mode 4 has its own tab only on the
// wired keyboard and mouse (product codes 1 and 2); everything not listed shows the first
// key tab.
struct FunctionTab {
    int mode;
    const char* layout;
    int tab;
    bool wiredKeyboardAndMouseOnly;
};
constexpr FunctionTab kFunctionTabTable[] = {
    {2, kKeyFunctionTabs, 1, false}, {6, kKeyFunctionTabs, 1, false}, {3, kFunctionTabs, 1, false},
    {8, kFunctionTabs, 1, false},    {4, kFunctionTabs, 3, true},     {5, kFunctionTabs, 2, false},
    {7, kKeyFunctionTabs, 2, false},
};
constexpr FunctionTab kDefaultFunctionTab = {0, kKeyFunctionTabs, 0, false};

// How far a lit key fades per reactive step, by lighting mode. A press (mode 7) fades
// slowly, the ripples (8, 9) quickly so that the rings stay distinct, the sparkle (10) in
// between so several sparks overlap.
struct ReactiveFade {
    int mode;
    uint8_t amount;
};
constexpr ReactiveFade kReactiveFadeTable[] = {{7, 5}, {8, 12}, {9, 12}, {10, 8}, {25, 5}};
constexpr uint8_t kDefaultReactiveFade = 5;

constexpr int kRingLitPositions = 9;

bool parseNumberedName(const std::string& name, const char* prefix, int& number) {
    const size_t len = std::strlen(prefix);
    if (name.compare(0, len, prefix) != 0 || name.size() == len)
        return false;
    int value = 0;
    for (size_t i = len; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9' || value > 100000)
            return false;
        value = value * 10 + (name[i] - '0');
    }
    number = value;
    return true;
}

} // namespace

CKestravaUSBDevice::CKestravaUSBDevice() = default;

CKestravaUSBDevice::CKestravaUSBDevice(std::shared_ptr<HidBackend> backend)
    : m_channel(backend), m_secondChannel(backend) {}

CKestravaUSBDevice::~CKestravaUSBDevice() {
    StopWorkers();
}

// ---- 1, 2 ----

void CKestravaUSBDevice::BuildButtonLists() {
    std::vector<std::pair<std::string, DeviceButton*>> buttons;
    if (m_pageLayout.empty() || !m_host || !m_host->panelButtons(buttons)) {
        if (m_pageLayout.empty()) {
            SetKeyCount(0);
            SetLightCount(0);
        }
        return;
    }
    for (const auto& [name, button] : buttons) {
        int n = 0;
        if (parseNumberedName(name, "key_", n)) {
            if (n < static_cast<int>(m_keyButtons.size()))
                m_keyButtons[n] = button;
        } else if (parseNumberedName(name, "light_", n)) {
            if (n < static_cast<int>(m_lightButtons.size()))
                m_lightButtons[n] = button;
        }
    }
}

int CKestravaUSBDevice::RunTimerOperation() {
    return 0;
}

// ---- 3 to 9: generators ----

int CKestravaUSBDevice::StepWrapped(int index, int limit, bool forward) {
    return talyx::StepWrapped(index, limit, forward);
}

void CKestravaUSBDevice::ResetEffectState() {
    std::lock_guard<std::mutex> lock(m_frameLock);
    m_effect = LightEffectState{};
}

void CKestravaUSBDevice::fillAll(const LightColour& colour) {
    // Caller holds the frame lock.
    m_currentColour = colour;
    std::fill(m_colours.begin(), m_colours.end(), colour);
}

void CKestravaUSBDevice::runEffect(LightEffectKind kind) {
    // The base's blinks move the step index on; otherwise the shared effects as they are.
    static constexpr LightEffectStyle kStyle{false, false, 16, true, false};
    std::lock_guard<std::mutex> lock(m_frameLock);
    const LightEffectSetting setting{m_brightnessLevel, m_speedIndex, m_direction, m_useColourWheel, m_customColour};
    fillAll(StepLightEffect(kind, kStyle, setting, m_effect, GetTickCount()));
}

void CKestravaUSBDevice::GenerateBreathing() {
    runEffect(LightEffectKind::Breathing);
}

void CKestravaUSBDevice::GenerateBreathingFourColours() {
    runEffect(LightEffectKind::BreathingFourColours);
}

void CKestravaUSBDevice::GenerateStatic() {
    runEffect(LightEffectKind::Static);
}

void CKestravaUSBDevice::GenerateColourWheel() {
    runEffect(LightEffectKind::ColourWheel);
}

void CKestravaUSBDevice::GenerateBlinking() {
    runEffect(LightEffectKind::Blinking);
}

void CKestravaUSBDevice::GenerateBlinkingFourColours() {
    runEffect(LightEffectKind::BlinkingFourColours);
}

void CKestravaUSBDevice::GenerateDark() {
    runEffect(LightEffectKind::Dark);
}

// ---- 10 to 12 ----

void CKestravaUSBDevice::BuildLightFrame() {
    if (!m_lightingDisplay)
        return;
    std::lock_guard<std::mutex> lock(m_frameLock);
    const int lights = static_cast<int>(m_colours.size());
    for (int i = 0; i < lights; ++i) {
        const LightColour& c = m_colours[i];
        DeviceButton* button = i < static_cast<int>(m_lightButtons.size()) ? m_lightButtons[i] : nullptr;
        if (button && button->isVisible())
            button->showLightColour(c.r, c.g, c.b, c.brightness);
        if (i >= kFrameLights)
            continue;
        m_frame[3 * i + 0] = static_cast<uint8_t>((c.r * c.brightness) >> 8);
        m_frame[3 * i + 1] = static_cast<uint8_t>((c.g * c.brightness) >> 8);
        m_frame[3 * i + 2] = static_cast<uint8_t>((c.b * c.brightness) >> 8);
    }
}

void CKestravaUSBDevice::SetLightColour(int n, const LightColour& colour) {
    std::lock_guard<std::mutex> lock(m_frameLock);
    if (n >= 0 && n < static_cast<int>(m_colours.size()))
        m_colours[n] = colour;
}

LightColour CKestravaUSBDevice::GetLightColour(int n) const {
    std::lock_guard<std::mutex> lock(m_frameLock);
    if (n >= 0 && n < static_cast<int>(m_colours.size()))
        return m_colours[n];
    return LightColour{};
}

// ---- 17 ----

void CKestravaUSBDevice::ReapplySettings() {}

// ---- 34 to 38: key-code map and reactive effects ----

void CKestravaUSBDevice::SetKeyCodeMap(const std::vector<uint8_t>& map) {
    m_keyCodeMap = map;
}

void CKestravaUSBDevice::ReactiveStep(int slot, int mode) {
    if (slot < 0 || slot >= kFrameLights)
        return;
    uint8_t fade = kDefaultReactiveFade;
    for (const ReactiveFade& row : kReactiveFadeTable) {
        if (row.mode == mode)
            fade = row.amount;
    }
    std::lock_guard<std::mutex> lock(m_frameLock);
    uint8_t& level = m_keyIntensity[slot];
    level = level > fade ? static_cast<uint8_t>(level - fade) : 0;
}

void CKestravaUSBDevice::LightRing() {
    std::lock_guard<std::mutex> lock(m_frameLock);
    for (int i = 0; i < kRingLitPositions; ++i)
        m_ring[i] = 0xFF;
}

void CKestravaUSBDevice::RotateRing(bool left) {
    std::lock_guard<std::mutex> lock(m_frameLock);
    if (left)
        std::rotate(m_ring.begin(), m_ring.begin() + 1, m_ring.end());
    else
        std::rotate(m_ring.rbegin(), m_ring.rbegin() + 1, m_ring.rend());
}

void CKestravaUSBDevice::ClearReactive() {
    std::lock_guard<std::mutex> lock(m_frameLock);
    m_keyIntensity.fill(0);
    m_ring.fill(0);
}

// ---- 39 to 52 ----

void CKestravaUSBDevice::ShowFunctionTab(int mode) {
    m_functionMode = mode;
    FunctionTab choice = kDefaultFunctionTab;
    for (const FunctionTab& row : kFunctionTabTable) {
        if (row.mode != mode)
            continue;
        if (row.wiredKeyboardAndMouseOnly && m_productCode != 1 && m_productCode != 2)
            continue;
        choice = row;
        break;
    }
    if (m_host)
        m_host->selectTab(choice.layout, choice.tab);
}

int CKestravaUSBDevice::FunctionMode() const {
    return m_functionMode;
}

void CKestravaUSBDevice::SetFamilyValue4(int value) {
    m_familyValue4 = value;
}
int CKestravaUSBDevice::FamilyValue4() const {
    return m_familyValue4;
}

void CKestravaUSBDevice::SetLightingValues(int brightnessLevel, int speedIndex, int direction, int useColourWheel) {
    std::lock_guard<std::mutex> lock(m_frameLock);
    m_brightnessLevel = std::clamp(brightnessLevel, 0, kBrightnessLevels - 1);
    m_speedIndex = std::clamp(speedIndex, 0, kBrightnessLevels - 1);
    m_direction = direction != 0;
    m_useColourWheel = useColourWheel != 0;
}

void CKestravaUSBDevice::SetProfileValues(int a, int b, int c) {
    m_profileValues[0] = a;
    m_profileValues[1] = b;
    m_profileValues[2] = c;
    if (m_host)
        m_host->storeProfileValues(a, b, c);
}

void CKestravaUSBDevice::GetProfileValues(int& a, int& b, int& c) const {
    if (m_host && m_host->loadProfileValues(a, b, c))
        return;
    a = m_profileValues[0];
    b = m_profileValues[1];
    c = m_profileValues[2];
}

void CKestravaUSBDevice::SetFirstSelection(int index) {
    m_firstSelection = index;
}
void CKestravaUSBDevice::SetSecondSelection(int index) {
    m_secondSelection = index;
}

// ---- identity, sizes, flags ----

void CKestravaUSBDevice::SetIdentity(const SupportedDeviceEntry& entry) {
    m_identity = entry;
    m_productCode = entry.productCode;
    m_role = entry.role;
}

void CKestravaUSBDevice::SetKeyCount(int count) {
    m_keyCount = std::max(0, count);
    m_keyButtons.assign(static_cast<size_t>(m_keyCount), nullptr);
}

void CKestravaUSBDevice::SetLightCount(int count) {
    std::lock_guard<std::mutex> lock(m_frameLock);
    m_lightCount = std::max(0, count);
    m_lightButtons.assign(static_cast<size_t>(m_lightCount), nullptr);
    m_colours.assign(static_cast<size_t>(m_lightCount), LightColour{});
    m_effectRecords.assign(static_cast<size_t>(m_lightCount), std::array<uint8_t, kEffectRecordBytes>{});
}

DeviceButton* CKestravaUSBDevice::KeyButton(int n) const {
    return n >= 0 && n < static_cast<int>(m_keyButtons.size()) ? m_keyButtons[n] : nullptr;
}

DeviceButton* CKestravaUSBDevice::LightButton(int n) const {
    return n >= 0 && n < static_cast<int>(m_lightButtons.size()) ? m_lightButtons[n] : nullptr;
}

std::array<uint8_t, CKestravaUSBDevice::kEffectRecordBytes> CKestravaUSBDevice::EffectRecord(int n) const {
    std::lock_guard<std::mutex> lock(m_frameLock);
    if (n >= 0 && n < static_cast<int>(m_effectRecords.size()))
        return m_effectRecords[n];
    return {};
}

void CKestravaUSBDevice::SetEffectRecord(int n, const std::array<uint8_t, kEffectRecordBytes>& record) {
    std::lock_guard<std::mutex> lock(m_frameLock);
    if (n >= 0 && n < static_cast<int>(m_effectRecords.size()))
        m_effectRecords[n] = record;
}

void CKestravaUSBDevice::SetWirelessCapable(bool capable) {
    m_wirelessCapable = capable;
    if (m_host)
        m_host->showBatteryIndicator(capable);
}

void CKestravaUSBDevice::SetLightSynchronised(bool synchronised) {
    const bool was = m_channel.IsSynchronised();
    m_channel.SetSynchronised(synchronised);
    if (was != synchronised)
        LightSyncThread::Wake();
}

void CKestravaUSBDevice::SetWindowHidden(bool hidden) {
    if (!m_wirelessCapable)
        return;
    m_windowHidden = hidden;
}

void CKestravaUSBDevice::SetLightingControl(int state) {
    m_lightingControl.store(state);
    if (state == 1 && m_productCode == kCodeKeyboard)
        m_commands.Post("light control", DeviceCommandWorker::kNoMerge,
                        [this](CommandContext&) { return m_channel.Cmd1CLightControl(); });
    WakeFrames();
}

void CKestravaUSBDevice::SetCustomColour(uint8_t r, uint8_t g, uint8_t b) {
    std::lock_guard<std::mutex> lock(m_frameLock);
    m_customColour = LightRgb{r, g, b};
}

void CKestravaUSBDevice::CopyLightFrame(uint8_t* out) const {
    std::lock_guard<std::mutex> lock(m_frameLock);
    std::memcpy(out, m_frame.data(), m_frame.size());
}

uint8_t CKestravaUSBDevice::KeyIntensity(int slot) const {
    std::lock_guard<std::mutex> lock(m_frameLock);
    return slot >= 0 && slot < kFrameLights ? m_keyIntensity[slot] : 0;
}

void CKestravaUSBDevice::SetKeyIntensity(int slot, uint8_t value) {
    std::lock_guard<std::mutex> lock(m_frameLock);
    if (slot >= 0 && slot < kFrameLights)
        m_keyIntensity[slot] = value;
}

std::array<uint8_t, CKestravaUSBDevice::kRingSize> CKestravaUSBDevice::Ring() const {
    std::lock_guard<std::mutex> lock(m_frameLock);
    return m_ring;
}

// ---- files ----

std::string CKestravaUSBDevice::DefaultProfilePath() const {
    return JoinPath(JoinPath(ProgramDataDir(), "DefaultData"), m_familyName + ".Json");
}

std::string CKestravaUSBDevice::UserFolder() const {
    return FamilyDataDir(m_familyName) + "/";
}

// ---- hand-over ----

bool CKestravaUSBDevice::retryPause(CommandContext& context, int ms) {
    if (m_commands.Running())
        return context.Pause(ms);
    if (m_host)
        m_host->sleepMs(ms);
    return true;
}

bool CKestravaUSBDevice::SwitchConnection(bool wireless, const std::string& path, std::function<void(bool)> done) {
    // What was queued for the old link means nothing on the new one.
    m_commands.CancelPending();
    auto opened = std::make_shared<bool>(!m_commands.Running());
    m_commands.Post(
        "hand-over", DeviceCommandWorker::kNoMerge,
        [this, wireless, path](CommandContext& context) {
            if (!m_channel.SwitchInterface(wireless, path))
                return kResultNoReply;
            if (!wireless) {
                m_channel.SetConnectionMode(1);
                return kResultSuccess;
            }
            if (!m_wirelessCapable)
                return kResultSuccess;
            for (int attempt = 1; attempt <= kOnlineTries; ++attempt) {
                if (context.Cancelled() || m_channel.CmdAAIsOnline())
                    break;
                if (attempt < kOnlineTries) {
                    DebugOutput("获取2.4G模式失败");
                    if (!retryPause(context, kOnlineRetryMs))
                        break;
                }
            }
            if (context.Cancelled())
                return kResultNoReply;
            DebugOutput("获取2");
            return kResultSuccess;
        },
        [this, wireless, opened, done = std::move(done)](int result) {
            const bool ok = result == kResultSuccess;
            *opened = ok;
            if (ok)
                afterSwitch(wireless);
            WakeFrames();
            if (done)
                done(ok);
        });
    return *opened;
}

void CKestravaUSBDevice::afterSwitch(bool wireless) {
    if (wireless) {
        if (!m_wirelessCapable)
            return;
        ReapplySettings();
        m_commands.Post("begin batch", DeviceCommandWorker::kNoMerge,
                        [this](CommandContext&) { return m_channel.Cmd01BeginBatch(); });
        if (m_host)
            m_host->armSelectorTimer(kTimerWirelessWatch, 2000);
        return;
    }
    if (m_host)
        m_host->armSelectorTimer(kTimerWirelessWatch, 2000);
    if (m_mainWindow)
        m_mainWindow->postMessage(kMsgSelectorItem, static_cast<WPARAM>(m_host ? m_host->selectorIndex() : -1), 1);
    if (m_wirelessCapable)
        ReapplySettings();
}

// ---- worker threads ----

int CKestravaUSBDevice::LightPace() const {
    std::lock_guard<std::mutex> lock(m_frameLock);
    return LightPacer::PaceForSpeed(m_speedIndex);
}

void CKestravaUSBDevice::LightStep() {
    // SoftwareEffect numbers the generators as LightEffectKind does; a mode without an
    // effect of its own shows the plain colour.
    const int effect = m_softwareEffect.load();
    runEffect(effect >= kEffectBreathing && effect <= kEffectDark ? static_cast<LightEffectKind>(effect)
                                                                  : LightEffectKind::Static);
}

void CKestravaUSBDevice::LightOverlays() {}

bool CKestravaUSBDevice::LightOverlaysEachTick() const {
    return false;
}

void CKestravaUSBDevice::OnKeyEvent(int deviceKey, int group) {
    (void)deviceKey;
    (void)group;
}

void CKestravaUSBDevice::OnDeviceUsage(uint16_t usage) {
    (void)usage;
}

void CKestravaUSBDevice::SettingsSync() {}

bool CKestravaUSBDevice::ShowsAudioMode() const {
    return false;
}

void CKestravaUSBDevice::OnAudioFrame(const AudioInput&) {}

void CKestravaUSBDevice::OnAudioStopped() {}

bool CKestravaUSBDevice::WantsFrames() const {
    return m_framesEnabled.load() && m_lightingControl.load() != 0 && m_channel.IsOpen() && !m_channel.IsSuspended();
}

void CKestravaUSBDevice::EnableFrames(bool enabled) {
    m_framesEnabled.store(enabled);
    WakeFrames();
}

int CKestravaUSBDevice::SendFrame() {
    std::array<uint8_t, kFrameBytes> frame{};
    BuildLightFrame();
    CopyLightFrame(frame.data());
    return m_channel.Cmd12BeginFrame(frame.data(), frame.size());
}

bool CKestravaUSBDevice::StartCommandWorker() {
    const bool started = m_commands.Start([this](std::function<void()> fn) {
        if (DeviceHost* host = m_host)
            host->postToInterface(std::move(fn));
    });
    if (started)
        m_commands.StartFrames({[this] { return WantsFrames(); },
                                [this] {
                                    // The lights move only while their thread runs.
                                    if (m_lightThreadOn.load()) {
                                        frameThreadStepsLights(true);
                                        advanceLighting();
                                    }
                                    return SendFrame();
                                },
                                [this] { return m_channel.Cmd12FinishFrame(); },
                                [this] { frameThreadStepsLights(false); }});
    return started;
}

int CKestravaUSBDevice::familyForTexts() const {
    if (m_familyIndex >= 0)
        return m_familyIndex;
    switch (m_productCode) {
    case kCodeKeyboard:
    case kCodeKeyboardReceiver:
        return DeviceTypeKeyboard;
    case kCodeMousePad:
        return DeviceTypeMousePad;
    case kCodeHeadset:
        return DeviceTypeHeadset;
    default:
        return DeviceTypeMouse;
    }
}

bool CKestravaUSBDevice::StartLightThread() {
    if (m_lightThread.running())
        StopLightThread();
    else
        m_lightThread.stop(0); // joins a body that has already returned
    const char* exitText = familyForTexts() == DeviceTypeKeyboard ? "KB灯光线程设定退出" : "MS灯光线程设定退出";
    return m_lightThread.start([this, exitText](Event& stop) {
        runLightThread(stop);
        DebugOutput(exitText);
    });
}

WorkerThread::JoinResult CKestravaUSBDevice::StopLightThread() {
    m_lightResume.set(); // a thread that waits for the frame thread to hand back
    return StopWorker(m_lightThread, WorkerOwner::Device, kLightThreadStopWaitMs);
}

void CKestravaUSBDevice::runLightThread(Event& stop) {
    m_lightThreadOn.store(true);
    while (!stop.isSet()) {
        if (m_framesStepLights.load()) {
            // The frame thread steps the lights before each frame it sends; the wait
            // ends when it hands them back or the thread is stopped.
            m_lightResume.wait(kLightHandBackWaitMs);
            continue;
        }
        const int waitMs = advanceLighting();
        if (stop.wait(waitMs < 0 ? kLightIdleWaitMs : waitMs))
            break;
    }
    m_lightThreadOn.store(false);
}

int CKestravaUSBDevice::advanceLighting() {
    std::lock_guard<std::mutex> guard(m_lightStepLock);
    // While the light-sync thread drives the lights, or the device cannot be reached,
    // there is nothing to compute; the effect starts afresh when the idle time is over.
    if (!m_channel.IsOpen() || m_channel.IsSuspended() || m_channel.IsSynchronised()) {
        m_lightCounting = false;
        return -1;
    }
    const uint64_t now = GetTickCount();
    if (!m_lightCounting) {
        m_lightPacer.Restart(now);
        m_lightCounting = true;
    }
    const int pace = LightPace();
    const bool eachTick = LightOverlaysEachTick();
    const int steps = m_lightPacer.StepsDue(now, pace);
    for (int i = 0; i < steps; ++i)
        LightStep();
    if (steps > 0 || eachTick) {
        std::lock_guard<std::mutex> lock(m_channel.LightLock());
        LightOverlays();
    }
    return eachTick ? m_lightPacer.MsUntilNextTick(now) : m_lightPacer.MsUntilNextStep(now, pace);
}

void CKestravaUSBDevice::frameThreadStepsLights(bool steps) {
    if (m_framesStepLights.exchange(steps) != steps && !steps)
        m_lightResume.set();
}

HidDevice& CKestravaUSBDevice::listenerInterface(bool wireless) {
    return wireless ? m_secondChannel.InterfaceB() : m_secondChannel.InterfaceA();
}

bool CKestravaUSBDevice::ListenerRunning(uint16_t code) const {
    return IsReceiverCode(code) ? m_wirelessListener.running() : m_wiredListener.running();
}

bool CKestravaUSBDevice::StartListener(const SupportedDeviceEntry& row, uint16_t code) {
    const bool wireless = IsReceiverCode(code);
    WorkerThread& slot = listenerSlot(wireless);
    if (slot.running())
        StopListener(code);
    else
        slot.stop(0); // joins a body that has already returned
    if (!m_secondChannel.OpenInterface(wireless, row.devicePath))
        return false;
    const int family = familyForTexts();
    const char* exitText = (family == DeviceTypeKeyboard || family == DeviceTypeMouse) ? "MS 设备同步线程设定退出"
                                                                                       : "MS设备同步线程设定退出";
    return slot.start([this, wireless, exitText](Event& stop) { runListener(stop, wireless, exitText); });
}

WorkerThread::JoinResult CKestravaUSBDevice::StopListener(uint16_t code) {
    const bool wireless = IsReceiverCode(code);
    HidDevice& hid = listenerInterface(wireless);
    auto closeInterface = [this, &hid] {
        std::lock_guard<std::mutex> lock(m_listenerLock);
        hid.Close();
    };
    const WorkerThread::JoinResult result =
        StopWorker(listenerSlot(wireless), WorkerOwner::Device, kListenerStopWaitMs, 0, closeInterface);
    // Also when no listener ran: the interface may have been opened for one.
    closeInterface();
    if (!m_secondChannel.InterfaceA().IsOpen() && !m_secondChannel.InterfaceB().IsOpen())
        m_secondChannel.SetOpen(false);
    return result;
}

void CKestravaUSBDevice::StopWorkers() {
    if (m_commands.Running()) {
        // A transfer that waits for a silent device ends when its interface closes.
        m_commands.CancelPending();
        m_channel.CloseAll();
        WakeFrames();
    }
    m_commands.Stop();
    if (m_lightThread.running())
        StopLightThread();
    if (m_wiredListener.running())
        StopListener(kCodeKeyboard);
    if (m_wirelessListener.running())
        StopListener(kCodeKeyboardReceiver);
}

void CKestravaUSBDevice::runListener(Event& stop, bool wireless, const char* exitText) {
    HidDevice& hid = listenerInterface(wireless);
    // The interface was opened before the thread started and is not reopened while it
    // runs, so its report length stays put.
    const size_t length = std::max<size_t>(DeviceChannel::kPacketSize, hid.Caps().inputReportByteLength);
    std::vector<uint8_t> report(length);
    while (!stop.isSet()) {
        if (!hid.IsOpen()) {
            if (stop.wait(kListenerRetryWaitMs))
                break;
            continue;
        }
        size_t got = 0;
        // No time-out: a stop closes the interface, which ends the read at once.
        if (hid.Read(report.data(), report.size(), &got, -1) != HidStatus::Ok || got == 0) {
            if (stop.wait(kListenerRetryWaitMs))
                break;
            continue;
        }
        uint16_t usage = 0;
        {
            std::lock_guard<std::mutex> lock(m_listenerLock);
            if (hid.IsOpen() && hid.UnpackReport(report.data(), got, HidReportType::Input)) {
                for (const HidDataItem& item : hid.DataItems(HidReportType::Input)) {
                    if (!item.isButton || item.reportId != report[0])
                        continue;
                    if (!item.usages.empty())
                        usage = item.usages[0];
                    break;
                }
            }
        }
        DebugOutput("接收到自动添加设备的同步信息要求  TEST");
        dispatchNotification(usage, wireless);
    }
    DebugOutput(exitText);
}

void CKestravaUSBDevice::dispatchNotification(uint16_t usage, bool wireless) {
    if (usage == kUsageSettingsChanged || usage == kUsageProfileChanged) {
        DebugOutput("接收到自动添加设备的同步信息要求");
        m_lastNotification.store(usage);
        // The settings are read back on the user-interface thread, which owns the page.
        if (m_host)
            m_host->armSelectorTimer(kTimerSettingsSync, kSettingsSyncDelayMs);
        return;
    }
    // Key events come only from the cable: the receiver's second collection reports them
    // as well, but the reactive effects are fed by the wired keyboard alone.
    if (!wireless && usage >= kUsageKeyPressFirst && usage <= kUsageKeyReleaseLast) {
        OnKeyEvent(usage & 0xFF, usage < kUsageKeyReleaseFirst ? 1 : 2);
        return;
    }
    if (usage > kUsageProfileChanged)
        OnDeviceUsage(usage);
}

} // namespace talyx
