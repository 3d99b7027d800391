#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device/AudioGain.h"
#include "device/DeviceCommandWorker.h"
#include "device/DeviceIds.h"
#include "device/LightEffect.h"
#include "device/LightPacer.h"
#include "device/LightTables.h"
#include "device/transport/DeviceChannel.h"
#include "device/transport/DeviceIdentification.h"
#include "platform/Event.h"
#include "platform/WorkerThread.h"

namespace talyx {

class DeviceButton;
class DeviceHost;
class Event;
class HidBackend;
class HidDevice;
class MessageTarget;

// The core of every device page: identity, the two command channels, the light list and
// the software lighting generators, the reactive-effect state and the virtual operations
// that the device classes override. It holds no controls: what it must ask of its page and
// main window goes through a DeviceHost, so it runs with a fake host in tests.
//
// Threads: the user-interface thread owns the object. The device's light thread runs the
// generators and the reactive steps; the colour list, the frame and the reactive tables are
// guarded by the frame lock, so the light thread and the frame sender never see half a
// step. Every command goes through the device's command worker (Commands()), whose thread
// is the only one that talks to the device besides its frame thread; the channel's locks
// keep each command whole.
//
// The object owns its worker threads: the light thread (StartLightThread) and a listener
// for each form of its second collection (StartListener). They call the hooks below from
// their own threads. A device class must stop them (StopWorkers) in its destructor, before
// its own members go; the base destructor stops them too, as a last resort.
class CKestravaUSBDevice {
public:
    // Number of lights the streamed frame has room for (170 × red, green, blue).
    static constexpr int kFrameLights = 170;
    static constexpr size_t kFrameBytes = kFrameLights * 3;
    static constexpr int kRingSize = 23;
    static constexpr int kEffectRecordBytes = 14;

    // How long after a settings notification selector timer 1002 runs SettingsSync.
    static constexpr int kSettingsSyncDelayMs = 50;
    // Notification usages of the second collection: the keyboard's settings changed on
    // the device (0x402: the active profile too); a device key was pressed (0x500 + key)
    // or released (0x600 + key).
    static constexpr uint16_t kUsageSettingsChanged = 0x401;
    static constexpr uint16_t kUsageProfileChanged = 0x402;
    static constexpr uint16_t kUsageKeyPressFirst = 0x500;
    static constexpr uint16_t kUsageKeyReleaseFirst = 0x600;
    static constexpr uint16_t kUsageKeyReleaseLast = 0x6FF;
    // How long a light thread waits while its channel is closed, suspended or synchronised.
    static constexpr int kLightIdleWaitMs = 100;
    // How long the light thread sleeps at most while the frame thread steps the lights.
    static constexpr int kLightHandBackWaitMs = 1000;
    // How long a listener waits after a failed read: a device that has gone away fails
    // every read at once, and the scan reports its removal within about 100 ms.
    static constexpr int kListenerRetryWaitMs = 100;

    // The base's own software effects, run by its light thread: the generators in slot
    // order, the same order as LightEffectKind.
    enum SoftwareEffect : int {
        kEffectBreathing = 0,
        kEffectBreathingFourColours,
        kEffectStatic,
        kEffectColourWheel,
        kEffectBlinking,
        kEffectBlinkingFourColours,
        kEffectDark,
    };

    // Tries of the online query after switching to the wireless receiver, and their pause:
    // the receiver needs up to about a second to find the keyboard again.
    static constexpr int kOnlineTries = 26;
    static constexpr int kOnlineRetryMs = 50;

    CKestravaUSBDevice();
    // Both channels' interfaces use the given backend (tests).
    explicit CKestravaUSBDevice(std::shared_ptr<HidBackend> backend);
    virtual ~CKestravaUSBDevice();
    CKestravaUSBDevice(const CKestravaUSBDevice&) = delete;
    CKestravaUSBDevice& operator=(const CKestravaUSBDevice&) = delete;

    // ---- Virtual operations, in slot order. ----

    // 1. Builds the key and light button lists from the page's "SelectPanel": a button
    // named "key_" + n goes to key slot n, "light_" + n to light slot n, when n is inside
    // the list. With no page layout both sizes become 0.
    virtual void BuildButtonLists();
    // 2. What the selector item's operation timers (1003, 1004) run; 0 in the base.
    virtual int RunTimerOperation();
    // 3. to 9. Software lighting generators: each fills the whole colour list for one step.
    virtual void GenerateBreathing();
    virtual void GenerateBreathingFourColours();
    virtual void GenerateStatic();
    virtual void GenerateColourWheel();
    virtual void GenerateBlinking();
    virtual void GenerateBlinkingFourColours();
    virtual void GenerateDark();
    // 10. Builds the 510-byte frame (while the lighting display flag is set): every light
    // below 170 gives red, green, blue, each scaled by its brightness (value × brightness,
    // high byte); lights whose button is visible show their colour on it.
    virtual void BuildLightFrame();
    // 11. and 12. The colour of light n; out of range: ignored, or all zero.
    virtual void SetLightColour(int n, const LightColour& colour);
    virtual LightColour GetLightColour(int n) const;
    // 17. Re-applies the device's settings (after a hand-over between wired and wireless).
    virtual void ReapplySettings();
    // 34. Replaces the key-code map.
    virtual void SetKeyCodeMap(const std::vector<uint8_t>& map);
    // 35. Reactive-effect step of one key slot: lowers its intensity by the fade of the
    // lighting mode (never below 0).
    virtual void ReactiveStep(int slot, int mode);
    // 36. Lights the first nine ring positions at full intensity; 37. rotates the ring by
    // one position; 38. clears the per-key intensities and the ring.
    virtual void LightRing();
    virtual void RotateRing(bool left);
    virtual void ClearReactive();
    // 39. Remembers the function mode and shows its tab; 40. the mode (starts at 1).
    virtual void ShowFunctionTab(int mode);
    virtual int FunctionMode() const;
    // 44. and 45. Family value 4 of the device-family table.
    virtual void SetFamilyValue4(int value);
    virtual int FamilyValue4() const;
    // 46. The lighting values the generators use.
    virtual void SetLightingValues(int brightnessLevel, int speedIndex, int direction, int useColourWheel);
    // 47. and 48. Three page values kept by the profile object.
    virtual void SetProfileValues(int a, int b, int c);
    virtual void GetProfileValues(int& a, int& b, int& c) const;
    // 49. and 50. Selection indices into the device class's own lists (start at -1).
    virtual void SetFirstSelection(int index);
    virtual void SetSecondSelection(int index);

    // ---- Hooks of the worker threads. ----

    // Ticks of 15.625 ms between two effect steps for the current mode and speed; below 1
    // counts as 1 (a step on every tick). Base: 8, 6, 4, 2, 1 by speed index 0..4.
    // Called on the light thread.
    virtual int LightPace() const;
    // One step of the current effect (base: the generator of SoftwareEffect()). Called on
    // the light thread.
    virtual void LightStep();
    // The per-light effect records, after each pass of the light thread; called with the
    // channel's light lock held (base: none).
    virtual void LightOverlays();
    // True while LightOverlays must run on every tick (64 times a second) rather than only
    // when a step is due; the light thread then wakes once per tick. Base: false.
    virtual bool LightOverlaysEachTick() const;
    // A key of the device went down (group 1) or up (group 2); deviceKey is the low byte of
    // the usage. Only the wired listener reports keys. Called on the listener thread.
    virtual void OnKeyEvent(int deviceKey, int group);
    // Any other notification usage above 0x402. Called on the listener thread.
    virtual void OnDeviceUsage(uint16_t usage);
    // What selector timer 1002 runs on the user-interface thread after a settings
    // notification (base: nothing).
    virtual void SettingsSync();
    // Whether the frame thread should send frames now (called on it): base, while the
    // channel is open and not suspended and this program drives the lights.
    virtual bool WantsFrames() const;
    // Builds and sends one frame (frame thread), leaving its replies to the channel's
    // Cmd12FinishFrame, which the frame thread calls when the next frame is due; the
    // channel's result. Base: the light list as a 510-byte frame with command 0x12.
    virtual int SendFrame();

    // ---- Audio-reactive lighting (user-interface thread). ----
    // Whether the device shows a lighting mode driven by sound now: the program runs the
    // audio recorder while any device does. Base: no.
    virtual bool ShowsAudioMode() const;
    // One frame of the recorder's analysis. Base: nothing.
    virtual void OnAudioFrame(const AudioInput& input);
    // The recorder has stopped, or cannot run: the lights rest at the background. Base:
    // nothing.
    virtual void OnAudioStopped();

    // ---- Command worker. ----
    // The device's command and frame worker. Every command of the device goes through it.
    DeviceCommandWorker& Commands() { return m_commands; }
    // Starts the worker's command thread (handlers reach the interface thread through the
    // host's postToInterface) and its frame thread. False when it already runs.
    bool StartCommandWorker();
    // The frame thread re-reads WantsFrames (lighting control, mode, link changed).
    void WakeFrames() { m_commands.WakeFrames(); }
    // Frames go out only once the page has started on the current link (set by the page
    // after its start, cleared when the device goes).
    void EnableFrames(bool enabled);
    bool FramesEnabled() const { return m_framesEnabled.load(); }

    // ---- Worker threads (user-interface thread). ----

    // Starts the light thread; one that already runs is stopped first. False when the
    // thread cannot be started.
    bool StartLightThread();
    // Stops the light thread (waits up to 1000 ms, then still joins) and writes the result.
    WorkerThread::JoinResult StopLightThread();
    bool LightThreadRunning() const { return m_lightThread.running(); }

    // The second-collection row of this device attached: opens its path on the second
    // channel (interface B for a receiver code, 6 or 9, else interface A; read and write,
    // shared), marks that channel open and starts the listener for that form. A listener of
    // the same form that still runs is stopped first. False when the open fails.
    bool StartListener(const SupportedDeviceEntry& row, uint16_t code);
    // Stops the listener of that form: sets its stop event and closes its interface, which
    // ends a waiting read at once; waits up to 500 ms (then still joins) and writes the
    // result. The second channel is marked closed when neither of its interfaces is open.
    WorkerThread::JoinResult StopListener(uint16_t code);
    bool ListenerRunning(uint16_t code) const;

    // Stops every worker of the device that runs. With the command worker running this
    // also closes the command channel, which ends a transfer that still waits.
    void StopWorkers();

    // The last settings notification, 0x401 or 0x402 (0 before the first); SettingsSync
    // reads it to decide whether the profile changed too.
    uint16_t LastNotification() const { return m_lastNotification.load(); }

    // Chooses the effect the base's LightStep runs (SoftwareEffect; starts static).
    void SetSoftwareEffect(int effect) { m_softwareEffect.store(effect); }
    int SoftwareEffect() const { return m_softwareEffect.load(); }

    // ---- Page links and identity. ----
    void SetHost(DeviceHost* host) { m_host = host; }
    DeviceHost* Host() const { return m_host; }
    void SetMainWindow(MessageTarget* window) { m_mainWindow = window; }
    MessageTarget* MainWindow() const { return m_mainWindow; }

    // Also takes the product code and the role from the entry.
    void SetIdentity(const SupportedDeviceEntry& entry);
    const SupportedDeviceEntry& Identity() const { return m_identity; }
    int ProductCode() const { return m_productCode; }
    int Role() const { return m_role; }
    void SetFamilyIndex(int family) { m_familyIndex = family; }
    int FamilyIndex() const { return m_familyIndex; }

    DeviceChannel& Channel() { return m_channel; }
    DeviceChannel& SecondChannel() { return m_secondChannel; }

    void SetPageLayout(const std::string& layout) { m_pageLayout = layout; }
    const std::string& PageLayout() const { return m_pageLayout; }
    void SetLightFilePrefix(const std::string& prefix) { m_lightFilePrefix = prefix; }
    const std::string& LightFilePrefix() const { return m_lightFilePrefix; }
    void SetFamilyName(const std::string& name) { m_familyName = name; }
    const std::string& FamilyName() const { return m_familyName; }

    // ---- Sizes and lists. ----
    // Resizes the key button list.
    void SetKeyCount(int count);
    int KeyCount() const { return m_keyCount; }
    // Resizes the light button list, the colour list and the effect records, and clears them.
    void SetLightCount(int count);
    int LightCount() const { return m_lightCount; }
    DeviceButton* KeyButton(int n) const;
    DeviceButton* LightButton(int n) const;
    // A copy of the 14-byte effect record of light n (zeros when out of range).
    std::array<uint8_t, kEffectRecordBytes> EffectRecord(int n) const;
    void SetEffectRecord(int n, const std::array<uint8_t, kEffectRecordBytes>& record);

    // ---- Flags. ----
    // While set, the light-sync thread drives this device's lights and its own light
    // thread idles. A change wakes the light-sync thread.
    void SetLightSynchronised(bool synchronised);
    bool IsLightSynchronised() const { return m_channel.IsSynchronised(); }
    // Also shows or hides the battery indicator.
    void SetWirelessCapable(bool capable);
    bool IsWirelessCapable() const { return m_wirelessCapable; }
    // Pauses status polling while the main window is hidden; ignored unless wireless-capable.
    void SetWindowHidden(bool hidden);
    bool IsWindowHidden() const { return m_windowHidden; }
    // 1: this program drives the lights. Setting 1 on the wired keyboard (product code 1)
    // also tells the keyboard so with command 0x1C (queued). Frames stop while it is 0.
    void SetLightingControl(int state);
    int LightingControl() const { return m_lightingControl.load(); }
    void SetHover(bool hover) { m_hover = hover; }
    bool IsHover() const { return m_hover; }
    // Frames are built only while the page shows them (starts set).
    void SetLightingDisplay(bool on) { m_lightingDisplay.store(on); }
    bool LightingDisplay() const { return m_lightingDisplay.load(); }

    void SetCustomColour(uint8_t r, uint8_t g, uint8_t b);
    int BrightnessLevel() const { return m_brightnessLevel; }
    int SpeedIndex() const { return m_speedIndex; }
    bool Direction() const { return m_direction; }
    bool UsesColourWheel() const { return m_useColourWheel; }
    int FirstSelection() const { return m_firstSelection; }
    int SecondSelection() const { return m_secondSelection; }

    // ---- Software lighting state (read by tests and the keyboard engine). ----
    int StepIndex() const { return m_effect.step; }
    int ColourIndex() const { return m_effect.colourIndex; }
    bool BlinkPhase() const { return m_effect.blinkOn; }
    // Resets step, colour index and blink state (a new effect starts from its beginning).
    void ResetEffectState();
    // Index stepping of every effect: forward adds 1 and wraps to 0 at limit; backward
    // subtracts 1 and wraps from 0 to limit − 1.
    static int StepWrapped(int index, int limit, bool forward);

    // Copies the last built frame (kFrameBytes bytes).
    void CopyLightFrame(uint8_t* out) const;
    uint8_t KeyIntensity(int slot) const;
    void SetKeyIntensity(int slot, uint8_t value);
    std::array<uint8_t, kRingSize> Ring() const;
    const std::vector<uint8_t>& KeyCodeMap() const { return m_keyCodeMap; }
    std::mutex& FrameLock() const { return m_frameLock; }

    // ---- Files. ----
    // Program data "DefaultData/" + family name + ".Json".
    std::string DefaultProfilePath() const;
    // The per-user folder of the family, created when missing, ending with "/" so a file
    // name can follow directly.
    std::string UserFolder() const;

    // ---- Hand-over between the wired and the wireless form. ----
    // The partner row of the same keyboard arrived: drops what was queued for the old
    // link, then (a command job) closes the other interface, opens the new one and sets the
    // connection mode. Switching to the receiver on a wireless-capable device then waits
    // until the receiver reports the keyboard online (up to 26 queries, 50 ms apart; a
    // cancel ends the wait), re-applies the settings, sends 0x01 and arms the wireless
    // watch. Switching to the cable arms the watch, asks the main window to show the
    // selector item and, on a wireless-capable device, re-applies the settings. `done`
    // gets whether the new interface opened (on the interface thread). Returns that too
    // when it ran at once (no worker thread), else true.
    bool SwitchConnection(bool wireless, const std::string& path, std::function<void(bool)> done = {});

protected:
    void fillAll(const LightColour& colour);
    // One step of a shared effect into every light.
    void runEffect(LightEffectKind kind);

    // What follows a hand-over once the new interface is open (interface thread).
    void afterSwitch(bool wireless);
    // A pause between retries: cancellable on the worker thread, the host's otherwise.
    bool retryPause(CommandContext& context, int ms);
    // Bodies of the worker threads.
    void runLightThread(Event& stop);
    // Takes the effect steps and overlays that are due now. -1 while there is nothing to
    // compute (the device cannot be reached, or the light-sync thread drives the lights),
    // else the milliseconds until the next is due. Called by the light thread, and by the
    // frame thread before each frame while frames stream.
    int advanceLighting();
    // The frame thread steps the lights while it streams, so the two do not both wake
    // every few milliseconds; when it stops streaming the light thread takes over again.
    void frameThreadStepsLights(bool steps);
    void runListener(Event& stop, bool wireless, const char* exitText);
    void dispatchNotification(uint16_t usage, bool wireless);
    HidDevice& listenerInterface(bool wireless);
    WorkerThread& listenerSlot(bool wireless) { return wireless ? m_wirelessListener : m_wiredListener; }
    // The texts a stopping thread writes depend on the family (from the product code when
    // the family is not set yet).
    int familyForTexts() const;

    DeviceHost* m_host = nullptr;
    MessageTarget* m_mainWindow = nullptr;

    SupportedDeviceEntry m_identity{};
    int m_productCode = 0;
    int m_role = 0;
    int m_familyIndex = -1;
    int m_familyValue4 = 0;

    DeviceChannel m_channel;
    DeviceChannel m_secondChannel;

    int m_functionMode = 1;

    std::string m_pageLayout;
    std::string m_lightFilePrefix = "quorv_light";
    std::string m_familyName;

    int m_keyCount = 0;
    // Read by the light-sync thread while it colours the lights.
    std::atomic<int> m_lightCount{0};
    std::vector<DeviceButton*> m_keyButtons;
    std::vector<DeviceButton*> m_lightButtons;
    std::vector<LightColour> m_colours;
    std::vector<std::array<uint8_t, kEffectRecordBytes>> m_effectRecords;

    bool m_wirelessCapable = false;
    bool m_windowHidden = false;
    std::atomic<int> m_lightingControl{0};
    bool m_hover = false;
    std::atomic<bool> m_lightingDisplay{true};
    std::atomic<bool> m_framesEnabled{false};

    int m_profileValues[3] = {0, 0, 0};
    int m_firstSelection = -1;
    int m_secondSelection = -1;

    // Software lighting state.
    LightEffectState m_effect;
    LightColour m_currentColour{};
    int m_brightnessLevel = 4;
    int m_speedIndex = 2;
    bool m_direction = true;
    bool m_useColourWheel = false;
    LightRgb m_customColour{255, 255, 255};

    std::array<uint8_t, kRingSize> m_ring{};
    std::array<uint8_t, kFrameLights> m_keyIntensity{};
    std::vector<uint8_t> m_keyCodeMap;
    std::array<uint8_t, kFrameBytes> m_frame{};
    mutable std::mutex m_frameLock;

    std::atomic<int> m_softwareEffect{kEffectStatic};
    std::atomic<uint16_t> m_lastNotification{0};
    // Held by a listener while it unpacks a report and by StopListener while it closes the
    // listener's interface, so the interface's report layout is never freed under an unpack.
    std::mutex m_listenerLock;
    // The effects' clock, shared by the light thread and the frame thread.
    std::mutex m_lightStepLock;
    LightPacer m_lightPacer;
    bool m_lightCounting = false;
    std::atomic<bool> m_framesStepLights{false};
    std::atomic<bool> m_lightThreadOn{false};
    // Wakes the light thread when the frame thread hands the stepping back, or it stops.
    Event m_lightResume{false};
    // Declared last: destroyed first, so no worker outlives the members it uses.
    DeviceCommandWorker m_commands{m_channel};
    WorkerThread m_lightThread;
    WorkerThread m_wiredListener;
    WorkerThread m_wirelessListener;
};

} // namespace talyx
