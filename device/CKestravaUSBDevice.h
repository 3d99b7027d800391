#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device/DeviceChannel.h"
#include "device/DeviceIdentification.h"
#include "device/LightTables.h"

namespace talyx {

class DeviceButton;
class DeviceHost;
class HidBackend;
class MessageTarget;

// The core of every device page: identity, the two command channels, the light list and
// the software lighting generators, the reactive-effect state and the virtual operations
// that the device classes override. It holds no controls: what it must ask of its page and
// main window goes through a DeviceHost, so it runs with a fake host in tests.
//
// Threads: the user-interface thread owns the object. The device's light thread runs the
// generators and the reactive steps; the colour list, the frame and the reactive tables are
// guarded by the frame lock, so the light thread and the frame sender never see half a
// step. Commands go through the channel, whose locks keep each command whole.
class CKestravaUSBDevice {
public:
    // Number of lights the streamed frame has room for (170 × red, green, blue).
    static constexpr int kFrameLights = 170;
    static constexpr size_t kFrameBytes = kFrameLights * 3;
    static constexpr int kRingSize = 23;
    static constexpr int kEffectRecordBytes = 14;

    // Selector item timers the core arms.
    static constexpr int kTimerWirelessWatch = 1007;
    // Main window message: a page asks for its selector item (wParam index, lParam show).
    static constexpr uint32_t kMsgSelectorItem = 3331;

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
    // 2. Device operation; 0 in the base.
    virtual int DeviceOperation();
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
    // 13. to 25. Device operations (settings, profile); the device classes fill them in.
    virtual void DeviceOperation13();
    virtual void DeviceOperation14();
    virtual void DeviceOperation15();
    virtual void DeviceOperation16();
    // 17. Re-applies the device's settings (after a hand-over between wired and wireless).
    virtual void ReapplySettings();
    virtual int DeviceOperation18(); // 1 in the base
    virtual int DeviceOperation19(); // 0 in the base
    virtual int DeviceOperation20(); // 0 in the base
    virtual void DeviceOperation21();
    virtual void DeviceOperation22();
    virtual void DeviceOperation23();
    virtual void DeviceOperation24();
    virtual void DeviceOperation25();
    // 26. An empty list in the base; 27. to 32. 0 in the base.
    virtual std::vector<int> DeviceList26();
    virtual int DeviceOperation27();
    virtual int DeviceOperation28();
    virtual int DeviceOperation29();
    virtual int DeviceOperation30();
    virtual int DeviceOperation31();
    virtual int DeviceOperation32();
    // 33. Nothing in the base.
    virtual void DeviceOperation33();
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
    // 41. to 43. Nothing, an empty string, nothing.
    virtual void DeviceOperation41();
    virtual std::string DeviceText42();
    virtual void DeviceOperation43();
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
    // 51. and 52. Nothing in the base.
    virtual void DeviceOperation51();
    virtual void DeviceOperation52();

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
    // Also shows or hides the battery indicator.
    void SetWirelessCapable(bool capable);
    bool IsWirelessCapable() const { return m_wirelessCapable; }
    // Pauses status polling while the main window is hidden; ignored unless wireless-capable.
    void SetWindowHidden(bool hidden);
    bool IsWindowHidden() const { return m_windowHidden; }
    // 1: this program drives the lights. Setting 1 on the wired keyboard (product code 1)
    // also tells the keyboard so with command 0x1C.
    void SetLightingControl(int state);
    int LightingControl() const { return m_lightingControl; }
    void SetHover(bool hover) { m_hover = hover; }
    bool IsHover() const { return m_hover; }
    // Frames are built only while the page shows them (starts set).
    void SetLightingDisplay(bool on) { m_lightingDisplay = on; }
    bool LightingDisplay() const { return m_lightingDisplay; }

    void SetCustomColour(uint8_t r, uint8_t g, uint8_t b);
    int BrightnessLevel() const { return m_brightnessLevel; }
    int SpeedIndex() const { return m_speedIndex; }
    bool Direction() const { return m_direction; }
    bool UsesColourWheel() const { return m_useColourWheel; }
    int FirstSelection() const { return m_firstSelection; }
    int SecondSelection() const { return m_secondSelection; }

    // ---- Software lighting state (read by tests and the keyboard engine). ----
    int StepIndex() const { return m_step; }
    int ColourIndex() const { return m_colourIndex; }
    bool BlinkPhase() const { return m_blinkPhase; }
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
    // The partner row of the same keyboard arrived: closes the other interface, opens the
    // new one and sets the connection mode. Switching to the receiver on a wireless-capable
    // device then waits until the receiver reports the keyboard online (up to 26 queries,
    // 50 ms apart), re-applies the settings, sends 0x01 and arms the wireless watch.
    // Switching to the cable arms the watch, asks the main window to show the selector item
    // and, on a wireless-capable device, re-applies the settings. False when the new
    // interface cannot be opened (nothing else happens then). Blocks.
    bool SwitchConnection(bool wireless, const std::string& path);

protected:
    void fillAll(const LightColour& colour);
    LightColour colourOrWheel(int wheelIndex) const;
    void breathingStep(bool fourColours);
    void blinkingStep(bool fourColours);

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
    int m_lightCount = 0;
    std::vector<DeviceButton*> m_keyButtons;
    std::vector<DeviceButton*> m_lightButtons;
    std::vector<LightColour> m_colours;
    std::vector<std::array<uint8_t, kEffectRecordBytes>> m_effectRecords;

    bool m_wirelessCapable = false;
    bool m_windowHidden = false;
    int m_lightingControl = 0;
    bool m_hover = false;
    bool m_lightingDisplay = true;

    int m_profileValues[3] = {0, 0, 0};
    int m_firstSelection = -1;
    int m_secondSelection = -1;

    // Software lighting state.
    int m_step = 0;
    int m_colourIndex = 0;
    bool m_blinkPhase = false;
    uint64_t m_lastBlink = 0;
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
};

} // namespace talyx
