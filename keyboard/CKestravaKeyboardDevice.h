#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device/CKestravaUSBDevice.h"
#include "keyboard/KeyCaptions.h"
#include "keyboard/KeySlotMaps.h"
#include "keyboard/KeyboardLightEngine.h"
#include "keyboard/KeyboardLightRecord.h"
#include "keyboard/KeyboardSettings.h"
#include "profile/CKeyboardProfiledata.h"
#include "profile/DefaultLightNames.h"
#include "profile/ProfileOperations.h"

namespace talyx {

// The keyboard: its command set, its profile, its lighting engine and the page logic that
// needs no controls. The page half (the Qt page) shows what this object holds and passes
// the user's changes to it; everything it must ask of the page goes through DeviceHost.
//
// Page start, in this order:
//   1. ReadKeyTable: the keyboard's size, factory codes and LED positions; slot maps.
//   2. Load the selected profile and write it to the keyboard (as ApplyProfile, below).
//   3. ReadLightRecord: the keyboard's own record replaces the profile's lighting and
//      switches (the keyboard may have been changed with its own keys meanwhile).
//   4. RefreshPage.
//   5. StartLightThread: the base's light thread steps the engine through the LightPace,
//      LightStep and LightOverlays hooks (while frames stream, the frame thread takes the
//      steps before each frame instead, so one thread wakes per frame, not two).
//
// Applying a profile writes, in this order:
//   1. the used-macro list, formed from the profile's key list, and WriteMacros with it;
//   2. WriteKeyAssignments, so the macro numbers in the block match the image just sent.
//      When the image does not fit the keyboard's memory, could not be built, or was not
//      taken, the block is not sent: the keyboard keeps its previous image and the
//      assignments that refer to it;
//   3. the light and settings record (WriteLightRecord, index 0, value 0);
//   4. in the custom per-key mode (20), the per-key colours the profile holds for its
//      colour page, when it holds any (otherwise the keyboard's own page is read instead).
// It answers 0 on success, -1 when the macro image could not be built, or the positive
// overflow count of the macro image.
//
// Threads: the profile, the lists and the settings belong to the user-interface thread;
// the key table, the device information and the last record read belong to the command
// worker (each behind its lock, so the interface thread may look). Operations that talk
// to the keyboard come in two kinds:
//  - blocking primitives (ReadKeyTable, ReadRecordBytes, WriteRecord, WriteKeyAssignments,
//    WriteMacros, ReadColourPage, WriteKeyColours, SendLightFrame, IsOnline) that touch
//    only the channel, worker state and their arguments: command jobs run them;
//  - page operations (PageStart, ApplyProfile, ReapplySettings, ChangeLighting,
//    ChangeSetting, PaintKey, PollStatus, SettingsSync) that take what they must write
//    from the profile on the interface thread, post it to the command worker and apply
//    what comes back in the job's handler. Without a running worker they complete before
//    they return (tests).
// The hooks LightPace, LightStep, LightOverlays (light thread), OnKeyEvent and
// OnDeviceUsage (listener) do no channel I/O; frames go out from the worker's frame thread.
class CKestravaKeyboardDevice : public CKestravaUSBDevice, public IProfileTarget {
public:
    // Main window message carrying status byte 4 in wParam.
    static constexpr uint32_t kMsgStatusByte = 0x0D01;
    static constexpr int kCustomMode = 20;
    static constexpr int kMusicMode = 29;
    // The factory codes of every key must fit one 512-byte block: 170 keys at most.
    static constexpr int kMaxKeys = 170;
    static constexpr size_t kInfoSize = 34;
    static constexpr size_t kStatusSize = 6;
    // The live frame: red, green, blue for LED positions 0 to 127.
    static constexpr int kFrameLeds = 128;
    static constexpr size_t kStreamFrameBytes = 3 * kFrameLeds;
    // Pause after a frame the keyboard did not take, so a keyboard that is gone is not
    // flooded every 10 ms.
    static constexpr int kFrameFailurePauseMs = 200;

    CKestravaKeyboardDevice();
    // Both channels use the given backend (tests).
    explicit CKestravaKeyboardDevice(std::shared_ptr<HidBackend> backend);
    ~CKestravaKeyboardDevice() override;

    // ---- Command set. Every operation is skipped (result 0) while the channel is closed.

    // 0x01, 0x03, block size 3 × K, 0x07 factory codes, 0x1B LED positions, 0x02; then the
    // slot maps. A keyboard that reports more than 170 keys is refused: no table, no maps,
    // and no key assignment is written to it.
    virtual void ReadKeyTable();
    // What a record read brought: the channel's result, the active index (-1 when
    // nothing was read) and the 34 bytes.
    struct RecordRead {
        int result = kResultNoReply;
        int index = -1;
        LightRecordBytes bytes{};
    };
    // What a record write takes from the profile (a snapshot of the interface thread's).
    struct RecordInputs {
        LightInfo light;
        KeyboardSettings settings;
        std::vector<int> modeValues;
    };
    // Reads the active record index, then that record (worker state only).
    RecordRead ReadRecordBytes();
    // The record's lighting and switches replace the profile's (saved); interface thread.
    void ApplyRecord(const RecordRead& read);
    // ReadRecordBytes then ApplyRecord. The index, or -1 when nothing could be read.
    virtual int ReadLightRecord();
    RecordInputs CurrentRecordInputs();
    // The record write of WriteLightRecord from a snapshot (any thread).
    int WriteRecord(int index, int value, const RecordInputs& inputs);
    // Queues WriteRecord (0, 0) with the profile as it is now; repeats merge.
    void PostRecordWrite(DeviceCommandWorker::Done done = {});
    // 0x01, 0x06 (the 34 bytes at index × 33 with byte 0 = value), 0x02; the profile's
    // lighting and settings over the bytes last read. Before the first read of any record
    // the record is read first, so the keyboard's own bytes are never replaced by zeros;
    // when that read fails nothing is written and its result is returned. Otherwise the
    // result of 0x06.
    virtual int WriteLightRecord(int index, int value);
    // 0x03, then the 3 × K assignment block from the key list (by slot), 0x01, 0x09 (bank),
    // 0x02. The result of 0x09; 0 when the channel is closed or there is no key table.
    virtual int WriteKeyAssignments(int bank, const KeyList& keys);
    // The image of the listed library macros (positions in "MacroInfo"), sent with 0x01,
    // 0x15, 0x02. 0 when sent or when there is nothing to send; -1 when the image could not
    // be built; a positive overflow count when it does not fit the keyboard's memory (then
    // nothing is sent).
    virtual int WriteMacros(const std::vector<int>& usedMacros);
    // What WriteMacros would answer for this key list, without sending anything.
    int MacroAnswer(const KeyList& keys);
    // What the key page's write to the keyboard brought.
    struct KeyPageWrite {
        int macros = 0; // WriteMacros' answer: 0, -1, or the overflow count (nothing sent)
        // kResultSuccess when the macro image (when keys use one) and the assignment block
        // were both taken; else the first failing result code of the channel. The block is
        // not sent after an image that failed, so no key points at macros the keyboard
        // does not hold.
        int result = kResultNoReply;
    };
    // The key page's write: the used-macro list of the profile's key list, the macro image,
    // then the assignment block (bank 0), on the command worker. `done` runs on the
    // interface thread.
    void WriteKeyPage(std::function<void(const KeyPageWrite&)> done);
    // 0x0A: the custom colour page of the profile's "CustomGroup" (3 × K bytes); each slot
    // with an LED takes its colour; the colours go into the engine and the profile.
    virtual int ReadKeyColours();
    // 0x0A into `colours` (the engine's custom colours where no key has an LED); any thread.
    int ReadColourPage(int group, std::array<LightRgb, kKeySlots>& colours);
    // The colours read go into the engine and the profile's custom record (saved).
    void ApplyColourPage(int group, const std::array<LightRgb, kKeySlots>& colours);
    // 0x0B: the whole custom colour page from the engine's custom colours.
    virtual int WriteKeyColours();
    // 0x12: the 384-byte frame of the engine. Nothing is sent in the modes the keyboard
    // renders itself (result 1). The frame schedule pauses after a failure.
    virtual int SendLightFrame();
    // Queued, repeats merged: when online, 0x1A; then on the interface thread byte 3 set to
    // the wireless-capable flag, the six bytes to the battery indicator and byte 4 to the
    // main window (message 0x0D01).
    virtual void PollStatus();
    // True only when the channel is open, the device is wireless-capable and 0xAA reports
    // the keyboard online.
    virtual bool IsOnline();

    // ---- Page start and profiles.
    // The page start; `done` gets the answer of the profile's write once the page has been
    // refreshed (and, without a worker thread, so does the return value). Tests that step
    // the engine themselves leave the light thread off.
    int PageStart(const std::string& uuid, bool startLightThread = true, DeviceCommandWorker::Done done = {});
    // Loads the profile document of this UUID, writes it to the keyboard (see above) and
    // refreshes the page once written (the profile bar's switch). The answer is known at
    // once: -1, 0 or the macro overflow count.
    int ApplyProfile(const std::string& uuid) override;
    // Writes the loaded profile to the keyboard again (after a wired/wireless hand-over).
    void ReapplySettings() override;
    // The used-macro list of the profile's key list: library positions in order of first
    // use over slots 0 to 125 that reach a key.
    std::vector<int> UsedMacros();
    std::vector<int> UsedMacrosOf(const KeyList& keys) const;
    CKeyboardProfiledata& Profile() { return m_profile; }
    const std::string& CurrentProfileUuid() const { return m_profileUuid; }
    // The family's per-user folder (no trailing slash).
    std::string ProfileFolder() const;

    // ---- Light thread and listener hooks.
    // The pace of the current mode and speed (ticks between steps).
    int LightPace() const override;
    // One step of the current mode's routine.
    void LightStep() override;
    // The per-key overlays; they keep their own time, so any call rate works.
    void LightOverlays() override;
    // While a mode fades in or a per-key overlay runs, the overlays want every tick.
    bool LightOverlaysEachTick() const override;
    // A key of the keyboard was pressed (group 1) or released (group 2); deviceKey is the
    // keyboard's own key number. Feeds the reactive modes.
    void OnKeyEvent(int deviceKey, int group) override;
    // A notification usage for the keyboard: 0x10xx and 0x11xx set the active record index
    // (bits 0-3; 0x11xx also a second value from bits 4-7) and ask for a page refresh.
    void OnDeviceUsage(uint16_t usage) override;
    // The keyboard reported changed settings: read its record and refresh the page
    // (queued; repeats merge).
    void SettingsSync() override;
    // Frames go out unless the mode is one the keyboard renders itself.
    bool WantsFrames() const override;
    int SendFrame() override;

    // The base's light list is the engine's frame on this device.
    void SetLightColour(int n, const LightColour& colour) override;
    LightColour GetLightColour(int n) const override;
    // Paints the light buttons with the current frame (black for hidden buttons).
    void BuildLightFrame() override;

    // The music mode (29) is the keyboard's audio mode; the recorder's frames go to the
    // engine, which redraws at once (the frame thread sends the result).
    bool ShowsAudioMode() const override;
    void OnAudioFrame(const AudioInput& input) override;
    void OnAudioStopped() override;

    // ---- Lighting.
    // A lighting change from the lighting page: kept in the profile (saved), sent with
    // WriteLightRecord (0, 0) and given to the engine.
    void ChangeLighting(const LightInfo& light, DeviceCommandWorker::Done done = {});
    // The audio-lighting record (music mode): kept in the profile (saved) and given to the
    // engine.
    void ChangeAudioLighting(const AudioLightInfo& audio);
    // Custom mode: a click on the slot's light button paints it with the fixed colour; the
    // profile is saved and the whole colour page written. The result of 0x0B.
    int PaintKey(int slot, DeviceCommandWorker::Done done = {});
    // The custom mode's colour group: kept in the profile (saved) and in the record, then the
    // group's colours shown: the keyboard's page, or the profile's without a keyboard.
    void SelectCustomGroup(int group, DeviceCommandWorker::Done done = {});
    // Every key of the custom mode lit with the current colour (on) or dark (off); saved and
    // the whole colour page written.
    void FillCustomColours(bool on, DeviceCommandWorker::Done done = {});
    // A lighting area entry (mode, brightness, speed, direction, seven-colour flag, colour;
    // enabled when the entry is present) as the per-key overlay of each of these slots.
    void SetAreaEffect(const LedZone& zone, const std::vector<int>& slots);
    LightInfo CurrentLightInfo() const;
    int CurrentModeValue() const;
    KeyboardLightEngine& Engine() { return m_engine; }
    const KeyboardLightEngine& Engine() const { return m_engine; }
    // The streamed frame: for each slot with an LED position p below 128, bytes 3p to 3p+2
    // are (colour × alpha) >> 8; positions with no key stay 0.
    std::array<uint8_t, kStreamFrameBytes> BuildStreamFrame() const;
    // The colour of every slot's light button as plain ARGB (alpha = the slot's
    // brightness), or 0 while lighting is not shown on the page.
    std::array<uint32_t, kKeySlots> LightButtonColours() const;
    static uint32_t ButtonColour(const LightColour& colour);

    // ---- System settings.
    void SetSettings(const std::array<uint32_t, 3>& words);
    std::array<uint32_t, 3> GetSettings() const;
    KeyboardSettings CurrentSettings() const;
    // A user change on the settings tab: into its word, SetSettings, save the profile, and
    // for the report rate and the switches WriteLightRecord (0, 0).
    void ChangeSetting(SettingControl control, int value, DeviceCommandWorker::Done done = {});

    // ---- Page logic.
    // Binds the key picture's buttons (the host's panel buttons) by name: the name is split
    // at its last "_" into a prefix and a decimal slot number; "key_" binds a key button and
    // "light_" a light button, the prefix compared without regard to case. Names without
    // "_", other prefixes and numbers beyond the lists are ignored. Light buttons start
    // white at full brightness. With no page layout both lists are emptied.
    void BuildButtonLists() override;
    enum class ButtonKind { Key, Light };
    static bool ParseButtonName(const std::string& name, ButtonKind& kind, int& slot);
    // Reloads the macro names, the preset modes (with the mode value list), the lighting
    // areas and the saved lighting styles.
    void LoadLists();
    // LoadLists, then the host shows captions, lighting and settings.
    void RefreshPage();
    // After macros were deleted or reordered: keys bound to a macro the library no longer
    // has go back to their default (saved). True when any key changed.
    bool CheckMacroBindings();
    // Stores the code into the selected slot (the first selection index) of the profile's
    // key list and saves the profile document. False when no slot is selected.
    bool StoreAssignment(uint32_t code);
    void SelectSlot(int slot) { SetFirstSelection(slot); }
    // The base's function tab, and the Fn key's button (slot 110) follows the mode: enabled
    // in mode 1, disabled in mode 2, as it is in other modes.
    void ShowFunctionTab(int mode) override;
    // The caption of every slot's key button.
    std::vector<KeyCaption> KeyCaptions();

    const std::vector<std::string>& MacroNames() const { return m_macroNames; }
    const std::vector<PresetLightMode>& PresetModes() const { return m_presetModes; }
    const std::vector<int>& ModeValues() const { return m_modeValues; }
    const std::vector<std::string>& AreaNames() const { return m_areaNames; }
    const std::vector<std::string>& SavedStyles() const { return m_savedStyles; }

    // ---- State.
    bool HasKeyTable() const;
    int DeviceKeyCount() const;
    KeySlotMaps SlotMaps() const;
    // The slot whose device key number is `deviceKey`, or -1.
    int SlotOfDeviceKey(int deviceKey) const;
    std::array<uint8_t, kInfoSize> Info() const;
    // Macro memory in bytes (device information byte 6 × 128).
    size_t MacroCapacity() const;
    LightRecordBytes LastRecord() const;
    bool HasRecord() const;
    int ActiveRecord() const { return m_activeRecord.load(); }
    int SecondValue() const { return m_secondValue.load(); }

private:
    void setupKeyboard();
    // Builds and sends the live frame, whole or (for the frame thread) with its replies
    // left to the channel's Cmd12FinishFrame.
    int sendLightFrame(bool leavePending);
    // `written` runs on the interface thread once the profile has gone out (or at once
    // with -1 when the document cannot be had).
    // With answerAtOnce the macro answer is worked out before the write (the return value).
    int loadAndWriteProfile(const std::string& uuid, DeviceCommandWorker::Done written, bool answerAtOnce = false);
    int refreshInfo();
    int writeProfileToKeyboard(DeviceCommandWorker::Done written, bool answerAtOnce);
    // `sent`, when given, gets the first failing result of the image's commands (or
    // kResultSuccess when there was nothing to send or everything was taken).
    int planMacros(const std::vector<int>& usedMacros, bool send, int* sent = nullptr);
    // Gives the engine the lighting of `light`: a new mode (or mode 20) restarts it, and
    // entering mode 20 reads the keyboard's colour page unless `coloursKnown`.
    void applyLighting(const LightInfo& light, bool coloursKnown);
    KeyboardLightSetting settingOf(const LightInfo& light) const;
    bool profileHasCustomColours(int group) const;
    void loadCustomColoursFromProfile(int group);
    std::vector<uint8_t> buildColourPage() const;
    // Stores the engine's custom colours in the profile (saved) and writes the colour page.
    void storeAndWriteColours(DeviceCommandWorker::Done done);
    std::vector<KeyAssignment> assignmentsOf(const KeyList& keys) const;

    CKeyboardProfiledata m_profile;
    std::string m_profileUuid;
    bool m_profileLoaded = false;
    // Changes of the custom colours made here (painted keys, fills), counted so that a
    // group's page read from the keyboard does not undo one made while it was read.
    // Interface thread.
    unsigned m_customEdits = 0;
    KeyboardSettings m_settings;
    KeyboardLightEngine m_engine;

    mutable std::mutex m_tableLock; // the information, key table and slot maps
    std::array<uint8_t, kInfoSize> m_info{};
    bool m_infoValid = false;
    bool m_keyTableValid = false;
    int m_deviceKeys = 0;
    std::vector<uint8_t> m_factoryCodes;
    std::vector<uint8_t> m_ledPositions;
    KeySlotMaps m_maps;

    mutable std::mutex m_recordLock; // the last record read (worker)
    LightRecordBytes m_lastRecord{};
    bool m_recordValid = false;
    std::atomic<int> m_activeRecord{0};
    std::atomic<int> m_secondValue{0};

    std::vector<std::string> m_macroNames;
    std::vector<PresetLightMode> m_presetModes;
    std::vector<int> m_modeValues;
    std::vector<std::string> m_areaNames;
    std::vector<std::string> m_savedStyles;
};

} // namespace talyx
