#include "keyboard/CKestravaKeyboardDevice.h"

#include <algorithm>
#include <cctype>
#include <new>
#include <utility>

#include "device/DeviceButton.h"
#include "device/DeviceHost.h"
#include "keyboard/MacroImage.h"
#include "platform/Debug.h"
#include "platform/JsonFile.h"
#include "platform/MessageTarget.h"
#include "platform/Paths.h"
#include "profile/JsonFields.h"
#include "profile/MacroLibrary.h"
#include "profile/ProfileFiles.h"

namespace talyx {
namespace {

constexpr int kKeyboardFamilyIndex = 1;
constexpr const char* kKeyboardFamilyName = "keyboard";
// Information bytes the keyboard code reads.
constexpr size_t kInfoKeyCount = 5;
constexpr size_t kInfoMacroUnits = 6;
// Offsets travel in two bytes of each chunk: a colour page must end below 64 KiB.
constexpr int kMaxChunkOffset = 0x10000;
constexpr size_t kStatusWirelessByte = 3;
constexpr size_t kStatusMainWindowByte = 4;

bool isMacroCode(uint8_t type) {
    return type == kAssignMacroPlayMode || type == kAssignMacroRepeat;
}

} // namespace

CKestravaKeyboardDevice::CKestravaKeyboardDevice() {
    setupKeyboard();
}

CKestravaKeyboardDevice::CKestravaKeyboardDevice(std::shared_ptr<HidBackend> backend) : CKestravaUSBDevice(backend) {
    setupKeyboard();
}

CKestravaKeyboardDevice::~CKestravaKeyboardDevice() {
    // The workers call into the engine and the slot maps: they must end before those go.
    StopWorkers();
}

void CKestravaKeyboardDevice::setupKeyboard() {
    // The main window configures these from the device tables; a keyboard on its own (the
    // tests, the command line) starts with the same values.
    SetFamilyName(kKeyboardFamilyName);
    SetFamilyIndex(kKeyboardFamilyIndex);
    SetKeyCount(kKeySlots);
    SetLightCount(kKeySlots);
}

std::string CKestravaKeyboardDevice::ProfileFolder() const {
    return FamilyDataDir(FamilyName());
}

int CKestravaKeyboardDevice::refreshInfo() {
    uint8_t info[kInfoSize] = {};
    const int result = m_channel.Cmd03ReadInfo34(info);
    // A failed read leaves the information of the previous one in place.
    if (result == kResultSuccess) {
        std::copy(info, info + kInfoSize, m_info.begin());
        m_infoValid = true;
    }
    return result;
}

size_t CKestravaKeyboardDevice::MacroCapacity() const {
    return static_cast<size_t>(m_info[kInfoMacroUnits]) * kMacroMemoryUnit;
}

// ---- key table ----

void CKestravaKeyboardDevice::ReadKeyTable() {
    if (!m_channel.IsOpen())
        return;
    m_channel.Cmd01BeginBatch();
    refreshInfo();
    const int keys = m_infoValid ? m_info[kInfoKeyCount] : 0;

    std::unique_lock<std::mutex> lock(m_tableLock);
    m_keyTableValid = false;
    m_deviceKeys = 0;
    m_maps = KeySlotMaps();
    // The factory codes of all keys travel in one block of at most 512 bytes: a keyboard
    // with more than 170 keys cannot be described and is left alone.
    if (keys <= 0 || keys > kMaxKeys || !m_channel.SetBlockSize(static_cast<uint16_t>(3 * keys))) {
        lock.unlock();
        DebugOutputF("keyboard reports %d keys: key table not read\n", keys);
        // The batch was opened: close it so the keyboard does not wait for more.
        m_channel.Cmd02EndBatch(1);
        m_engine.SetPresentSlots([] {
            std::array<bool, kKeySlots> all;
            all.fill(true);
            return all;
        }());
        return;
    }
    std::vector<uint8_t> factory(DeviceChannel::kMaxBlockSize, 0);
    std::vector<uint8_t> leds(DeviceChannel::kMaxBlockSize, 0);
    const int codes = m_channel.Cmd07ReadBlock(factory.data());
    const int positions = m_channel.Cmd1BReadThirdBlock(leds.data());
    m_channel.Cmd02EndBatch(1);
    if (codes != kResultSuccess || positions != kResultSuccess)
        return;
    m_factoryCodes.assign(factory.begin(), factory.begin() + 3 * keys);
    m_ledPositions.assign(leds.begin(), leds.begin() + keys);
    m_maps = BuildKeySlotMaps(m_factoryCodes.data(), m_ledPositions.data(), keys);
    m_deviceKeys = keys;
    m_keyTableValid = true;
    std::array<bool, kKeySlots> present{};
    for (int slot = 0; slot < kKeySlots; ++slot)
        present[slot] = m_maps.ledMap[slot] != kNoDeviceKey;
    lock.unlock();
    m_engine.SetPresentSlots(present);
}

bool CKestravaKeyboardDevice::HasKeyTable() const {
    std::lock_guard<std::mutex> lock(m_tableLock);
    return m_keyTableValid;
}

int CKestravaKeyboardDevice::DeviceKeyCount() const {
    std::lock_guard<std::mutex> lock(m_tableLock);
    return m_deviceKeys;
}

KeySlotMaps CKestravaKeyboardDevice::SlotMaps() const {
    std::lock_guard<std::mutex> lock(m_tableLock);
    return m_maps;
}

int CKestravaKeyboardDevice::SlotOfDeviceKey(int deviceKey) const {
    if (deviceKey < 0 || deviceKey >= kNoDeviceKey)
        return -1;
    std::lock_guard<std::mutex> lock(m_tableLock);
    if (!m_keyTableValid)
        return -1;
    for (int slot = 0; slot < kKeySlots; ++slot) {
        if (m_maps.keyMap[slot] == deviceKey)
            return slot;
    }
    return -1;
}

// ---- light and settings record ----

int CKestravaKeyboardDevice::ReadLightRecord() {
    if (!m_channel.IsOpen())
        return -1;
    uint8_t index = 0;
    if (m_channel.Cmd05Read(0, &index, 1) != kResultSuccess)
        return -1;
    LightRecordBytes record{};
    if (m_channel.Cmd05Read(index * kLightRecordStride, record.data(), record.size()) != kResultSuccess)
        return -1;
    m_lastRecord = record;
    m_recordValid = true;
    m_activeRecord.store(index);

    LightInfo light = m_profile.GetLightInfo();
    KeyboardSettings settings = m_settings;
    DecodeLightRecord(record, m_modeValues, light, settings);
    m_profile.SetLightInfo(light);
    SetSettings(settings.ToWords());
    if (m_profileLoaded)
        m_profile.SaveProfile();
    applyLighting(light, false);
    return index;
}

int CKestravaKeyboardDevice::WriteLightRecord(int index, int value) {
    if (!m_channel.IsOpen())
        return kResultNoReply;
    const int offset = index * kLightRecordStride;
    if (!m_recordValid) {
        LightRecordBytes record{};
        const int read = m_channel.Cmd05Read(offset, record.data(), record.size());
        if (read != kResultSuccess)
            return read;
        m_lastRecord = record;
        m_recordValid = true;
    }
    const LightRecordBytes record = EncodeLightRecord(m_lastRecord, static_cast<uint8_t>(value),
                                                      m_profile.GetLightInfo(), m_settings, m_modeValues);
    m_channel.Cmd01BeginBatch();
    const int result = m_channel.Cmd06Write(offset, record.data(), record.size());
    m_channel.Cmd02EndBatch(1);
    return result;
}

// ---- key assignments and macros ----

std::vector<KeyAssignment> CKestravaKeyboardDevice::assignmentsOf(const KeyList& keys) const {
    std::vector<KeyAssignment> out(keys.size());
    for (size_t i = 0; i < keys.size(); ++i)
        out[i] = KeyAssignment{keys[i].code(), keys[i].defaultCode()};
    return out;
}

std::vector<int> CKestravaKeyboardDevice::UsedMacros() {
    MacroLibrary library(ProfileFolder());
    library.Load();
    const KeySlotMaps maps = SlotMaps();
    return CollectUsedMacros(maps, assignmentsOf(m_profile.GetKeyList()), static_cast<int>(library.Count()));
}

int CKestravaKeyboardDevice::WriteKeyAssignments(int bank, const KeyList& keys) {
    if (!m_channel.IsOpen())
        return kResultNoReply;
    refreshInfo();
    std::vector<uint8_t> factory;
    KeySlotMaps maps;
    int deviceKeys = 0;
    {
        std::lock_guard<std::mutex> lock(m_tableLock);
        if (!m_keyTableValid)
            return kResultNoReply;
        factory = m_factoryCodes;
        maps = m_maps;
        deviceKeys = m_deviceKeys;
    }
    MacroLibrary library(ProfileFolder());
    library.Load();
    const KeyAssignmentBlock block = BuildKeyAssignmentBlock(factory.data(), deviceKeys, maps, assignmentsOf(keys),
                                                             static_cast<int>(library.Count()));
    // 0x09 sends one block of the channel's block size: make sure that is this block.
    m_channel.SetBlockSize(static_cast<uint16_t>(block.block.size()));
    m_channel.Cmd01BeginBatch();
    const int result = m_channel.Cmd09WriteBlock(bank, block.block.data());
    m_channel.Cmd02EndBatch(1);
    return result;
}

int CKestravaKeyboardDevice::WriteMacros(const std::vector<int>& usedMacros) {
    if (m_channel.IsOpen())
        refreshInfo();
    MacroLibrary library(ProfileFolder());
    if (!library.Load() || usedMacros.empty())
        return 0;
    try {
        std::vector<std::vector<MacroEvent>> macros;
        std::vector<size_t> counts;
        for (int index : usedMacros) {
            // A number outside the library stays in the image as a macro without events,
            // so the numbering of the others does not shift.
            macros.push_back(index >= 0 ? library.ReadEvents(static_cast<size_t>(index)) : std::vector<MacroEvent>());
            counts.push_back(macros.back().size());
        }
        const int overflow = MacroOverflowCount(MacroImageSize(counts), MacroCapacity());
        if (overflow > 0)
            return overflow;
        const std::vector<uint8_t> image = BuildMacroImage(macros);
        if (image.empty())
            return -1;
        if (m_channel.IsOpen()) {
            m_channel.Cmd01BeginBatch();
            m_channel.Cmd15Write(image.data(), image.size());
            m_channel.Cmd02EndBatch(1);
        }
        return 0;
    } catch (const std::bad_alloc&) {
        return -1;
    }
}

// ---- per-key colours ----

std::vector<uint8_t> CKestravaKeyboardDevice::buildColourPage() const {
    const std::array<LightRgb, kKeySlots> colours = m_engine.CustomColours();
    std::lock_guard<std::mutex> lock(m_tableLock);
    std::vector<uint8_t> page(static_cast<size_t>(3 * m_deviceKeys), 0);
    for (int slot = 0; slot < kKeySlots; ++slot) {
        const size_t p = m_maps.ledMap[slot];
        if (p == kNoDeviceKey || 3 * p + 2 >= page.size())
            continue;
        page[3 * p] = colours[slot].r;
        page[3 * p + 1] = colours[slot].g;
        page[3 * p + 2] = colours[slot].b;
    }
    return page;
}

int CKestravaKeyboardDevice::ReadKeyColours() {
    if (!m_channel.IsOpen() || !HasKeyTable())
        return kResultNoReply;
    const int group = m_profile.GetLightInfo().customGroup;
    const KeySlotMaps maps = SlotMaps();
    std::vector<uint8_t> page(static_cast<size_t>(3 * DeviceKeyCount()), 0);
    if (group * DeviceChannel::kPageSize + static_cast<int>(page.size()) > kMaxChunkOffset)
        return kResultNoReply;
    const int result = m_channel.Cmd0AReadPage(group, page.data(), page.size());
    if (result != kResultSuccess)
        return result;
    std::array<LightRgb, kKeySlots> colours = m_engine.CustomColours();
    for (int slot = 0; slot < kKeySlots; ++slot) {
        const size_t p = maps.ledMap[slot];
        if (p == kNoDeviceKey || 3 * p + 2 >= page.size())
            continue;
        colours[slot] = LightRgb{page[3 * p], page[3 * p + 1], page[3 * p + 2]};
    }
    m_engine.SetCustomColours(colours);
    std::vector<KeyColour> stored(kKeySlots);
    for (int slot = 0; slot < kKeySlots; ++slot)
        stored[slot] = KeyColour{colours[slot].r, colours[slot].g, colours[slot].b, 0xFF};
    m_profile.SetCustomColours(group, stored);
    if (m_profileLoaded)
        m_profile.SaveProfile();
    return result;
}

int CKestravaKeyboardDevice::WriteKeyColours() {
    if (!m_channel.IsOpen() || !HasKeyTable())
        return kResultNoReply;
    const int group = m_profile.GetLightInfo().customGroup;
    const std::vector<uint8_t> page = buildColourPage();
    if (group * DeviceChannel::kPageSize + static_cast<int>(page.size()) > kMaxChunkOffset)
        return kResultNoReply;
    return m_channel.Cmd0BWritePage(group, page.data(), page.size());
}

bool CKestravaKeyboardDevice::profileHasCustomColours(int group) const {
    const Json::Value& groups = MemberOf(MemberOf(m_profile.DeviceEntry(), "CustomLightMode"), "LightColorInfo");
    const Json::Value& list = ElementOf(groups, static_cast<Json::ArrayIndex>(group));
    return list.isArray() && list.size() > 0;
}

void CKestravaKeyboardDevice::loadCustomColoursFromProfile(int group) {
    std::array<LightRgb, kKeySlots> colours = m_engine.CustomColours();
    std::vector<KeyColour> defaults(kKeySlots);
    for (int slot = 0; slot < kKeySlots; ++slot)
        defaults[slot] = KeyColour{colours[slot].r, colours[slot].g, colours[slot].b, 0xFF};
    const std::vector<KeyColour> stored = m_profile.GetCustomColours(group, defaults);
    for (int slot = 0; slot < kKeySlots && slot < static_cast<int>(stored.size()); ++slot)
        colours[slot] = LightRgb{stored[slot].red, stored[slot].green, stored[slot].blue};
    m_engine.SetCustomColours(colours);
}

int CKestravaKeyboardDevice::PaintKey(int slot) {
    if (slot < 0 || slot >= kKeySlots)
        return kResultNoReply;
    const LightInfo light = m_profile.GetLightInfo();
    m_engine.SetCustomColour(slot, LightRgb{light.red, light.green, light.blue});
    const std::array<LightRgb, kKeySlots> colours = m_engine.CustomColours();
    std::vector<KeyColour> stored(kKeySlots);
    for (int s = 0; s < kKeySlots; ++s)
        stored[s] = KeyColour{colours[s].r, colours[s].g, colours[s].b, 0xFF};
    m_profile.SetCustomGroupIndex(light.customGroup);
    m_profile.SetCustomColours(light.customGroup, stored);
    if (m_profileLoaded)
        m_profile.SaveProfile();
    // The keyboard takes its colour page only whole.
    return WriteKeyColours();
}

// ---- frames ----

std::array<uint8_t, CKestravaKeyboardDevice::kStreamFrameBytes> CKestravaKeyboardDevice::BuildStreamFrame() const {
    const KeyFrame frame = m_engine.Frame();
    const KeySlotMaps maps = SlotMaps();
    std::array<uint8_t, kStreamFrameBytes> out{};
    for (int slot = 0; slot < kKeySlots; ++slot) {
        const int p = maps.ledMap[slot];
        if (p >= kFrameLeds)
            continue;
        const LightColour& c = frame[slot];
        out[3 * p] = static_cast<uint8_t>((c.r * c.brightness) >> 8);
        out[3 * p + 1] = static_cast<uint8_t>((c.g * c.brightness) >> 8);
        out[3 * p + 2] = static_cast<uint8_t>((c.b * c.brightness) >> 8);
    }
    return out;
}

int CKestravaKeyboardDevice::SendLightFrame() {
    if (!m_channel.IsOpen())
        return kResultNoReply;
    if (KeyboardLightEngine::KeyboardRenders(m_engine.Setting().mode))
        return kResultSuccess;
    const std::array<uint8_t, kStreamFrameBytes> frame = BuildStreamFrame();
    const int result = m_channel.Cmd12WriteFrame(frame.data(), frame.size());
    if (result != kResultSuccess && m_host)
        m_host->sleepMs(kFrameFailurePauseMs);
    return result;
}

uint32_t CKestravaKeyboardDevice::ButtonColour(const LightColour& c) {
    return (static_cast<uint32_t>(c.brightness) << 24) | (static_cast<uint32_t>(c.r) << 16) |
           (static_cast<uint32_t>(c.g) << 8) | c.b;
}

std::array<uint32_t, kKeySlots> CKestravaKeyboardDevice::LightButtonColours() const {
    std::array<uint32_t, kKeySlots> out{};
    if (!m_lightingDisplay)
        return out;
    const KeyFrame frame = m_engine.Frame();
    for (int slot = 0; slot < kKeySlots; ++slot) {
        const DeviceButton* button = LightButton(slot);
        if (button && !button->isVisible())
            continue;
        out[slot] = ButtonColour(frame[slot]);
    }
    return out;
}

void CKestravaKeyboardDevice::BuildLightFrame() {
    const KeyFrame frame = m_engine.Frame();
    for (int slot = 0; slot < kKeySlots; ++slot) {
        DeviceButton* button = LightButton(slot);
        if (!button)
            continue;
        if (m_lightingDisplay && button->isVisible()) {
            const LightColour& c = frame[slot];
            button->showLightColour(c.r, c.g, c.b, c.brightness);
        } else {
            button->showLightColour(0, 0, 0, 0);
        }
    }
}

void CKestravaKeyboardDevice::SetLightColour(int n, const LightColour& colour) {
    m_engine.SetSlotColour(n, colour);
}

LightColour CKestravaKeyboardDevice::GetLightColour(int n) const {
    return m_engine.SlotColour(n);
}

// ---- status ----

bool CKestravaKeyboardDevice::IsOnline() {
    if (!m_channel.IsOpen() || !m_wirelessCapable)
        return false;
    return m_channel.CmdAAIsOnline();
}

void CKestravaKeyboardDevice::PollStatus() {
    if (!IsOnline())
        return;
    uint8_t status[kStatusSize] = {};
    if (m_channel.Cmd1AReadStatus(status, kStatusSize) != kResultSuccess)
        return;
    status[kStatusWirelessByte] = m_wirelessCapable ? 1 : 0;
    if (m_host)
        m_host->showBatteryStatus(status, kStatusSize);
    if (m_mainWindow)
        m_mainWindow->sendMessage(kMsgStatusByte, status[kStatusMainWindowByte], 0);
}

// ---- hooks ----

int CKestravaKeyboardDevice::LightPace() const {
    return m_engine.Pace();
}

void CKestravaKeyboardDevice::LightStep() {
    m_engine.Step();
}

void CKestravaKeyboardDevice::LightOverlays() {
    m_engine.Overlays();
}

bool CKestravaKeyboardDevice::LightOverlaysEachTick() const {
    return m_engine.WantsEachTick();
}

void CKestravaKeyboardDevice::OnKeyEvent(int deviceKey, int group) {
    if (!m_channel.IsOpen())
        return;
    const int slot = SlotOfDeviceKey(deviceKey);
    if (slot >= 0)
        m_engine.KeyEvent(slot, group);
}

void CKestravaKeyboardDevice::OnDeviceUsage(uint16_t usage) {
    if (!m_channel.IsOpen())
        return;
    const int high = usage >> 8;
    if (high != 0x10 && high != 0x11)
        return;
    m_activeRecord.store(usage & 0x0F);
    if (high == 0x11)
        m_secondValue.store((usage >> 4) & 0x0F);
    if (m_host)
        m_host->requestPageRefresh();
}

void CKestravaKeyboardDevice::SettingsSync() {
    ReadLightRecord();
    RefreshPage();
}

// ---- profiles ----

int CKestravaKeyboardDevice::PageStart(const std::string& uuid, bool startLightThread) {
    ReadKeyTable();
    const int result = loadAndWriteProfile(uuid);
    ReadLightRecord();
    RefreshPage();
    if (startLightThread)
        StartLightThread();
    return result;
}

int CKestravaKeyboardDevice::ApplyProfile(const std::string& uuid) {
    const int result = loadAndWriteProfile(uuid);
    RefreshPage();
    return result;
}

int CKestravaKeyboardDevice::loadAndWriteProfile(const std::string& uuid) {
    const std::string folder = ProfileFolder();
    const std::string path = ProfileDocumentPath(folder, uuid);
    if (path.empty())
        return -1;
    m_profile.SetEntryIndex(0);
    m_profile.SetProfilePath(path);
    m_profile.SetDefaultPath(DefaultDocumentPath(FamilyName()));
    m_profile.SetMacroPath(JoinPath(folder, MacroLibrary::kIndexFileName));
    m_profile.SetCustomEffectLibraryPath(JoinPath(folder, LightFilePrefix() + ".config"));
    if (!m_profile.LoadDeviceEntry().isObject())
        return -1;
    m_profileUuid = uuid;
    m_profileLoaded = true;
    LoadLists();
    return writeProfileToKeyboard();
}

void CKestravaKeyboardDevice::ReapplySettings() {
    if (m_profileLoaded)
        writeProfileToKeyboard();
}

int CKestravaKeyboardDevice::writeProfileToKeyboard() {
    const LightInfo light = m_profile.GetLightInfo();
    const KeyList keys = m_profile.GetKeyList();
    m_settings = KeyboardSettings::FromWords(m_profile.GetSystemStages());
    const AudioLightInfo audio = m_profile.GetAudioLightInfo();
    m_engine.SetAudioColours(LightRgb{audio.bkRed, audio.bkGreen, audio.bkBlue},
                             LightRgb{audio.fgRed, audio.fgGreen, audio.fgBlue}, audio.sevenColor != 0);

    // Macros first: the assignment block numbers macros by their place in the image.
    const int macros = WriteMacros(UsedMacros());
    if (macros <= 0)
        WriteKeyAssignments(0, keys);
    WriteLightRecord(0, 0);

    bool coloursKnown = false;
    if (ModeValueOfPreset(light.selectItem, m_modeValues) == kCustomMode &&
        profileHasCustomColours(light.customGroup)) {
        loadCustomColoursFromProfile(light.customGroup);
        WriteKeyColours();
        coloursKnown = true;
    }
    applyLighting(light, coloursKnown);
    return macros;
}

// ---- lighting ----

KeyboardLightSetting CKestravaKeyboardDevice::settingOf(const LightInfo& light) const {
    KeyboardLightSetting s;
    s.mode = ModeValueOfPreset(light.selectItem, m_modeValues);
    s.brightness = light.light;
    s.speed = light.speed;
    s.forward = light.fx != 0;
    s.multiColor = light.multiColor != 0;
    s.colour = LightRgb{light.red, light.green, light.blue};
    return s;
}

void CKestravaKeyboardDevice::applyLighting(const LightInfo& light, bool coloursKnown) {
    const KeyboardLightSetting setting = settingOf(light);
    const bool restarted = m_engine.Apply(setting);
    if (restarted && setting.mode == kCustomMode && !coloursKnown) {
        // Entering the custom mode shows what the keyboard holds; without a keyboard the
        // profile's colours stand in.
        if (ReadKeyColours() != kResultSuccess)
            loadCustomColoursFromProfile(light.customGroup);
    }
}

void CKestravaKeyboardDevice::SetAreaEffect(const LedZone& zone, const std::vector<int>& slots) {
    SlotEffect effect;
    effect.mode = zone.regMode;
    effect.brightness = zone.brightness;
    effect.speed = zone.speed;
    effect.direction = zone.direction;
    effect.multiColor = zone.multiColor;
    effect.red = zone.red;
    effect.green = zone.green;
    effect.blue = zone.blue;
    effect.enabled = zone.present != 0;
    for (int slot : slots)
        m_engine.SetSlotEffect(slot, effect);
}

LightInfo CKestravaKeyboardDevice::CurrentLightInfo() const {
    return m_profile.CachedLightInfo();
}

int CKestravaKeyboardDevice::CurrentModeValue() const {
    return m_engine.Setting().mode;
}

void CKestravaKeyboardDevice::ChangeLighting(const LightInfo& light) {
    m_profile.SetLightInfo(light);
    if (m_profileLoaded)
        m_profile.SaveProfile();
    WriteLightRecord(0, 0);
    applyLighting(light, false);
}

void CKestravaKeyboardDevice::ChangeAudioLighting(const AudioLightInfo& audio) {
    m_profile.SetAudioLightInfo(audio);
    if (m_profileLoaded)
        m_profile.SaveProfile();
    m_engine.SetAudioColours(LightRgb{audio.bkRed, audio.bkGreen, audio.bkBlue},
                             LightRgb{audio.fgRed, audio.fgGreen, audio.fgBlue}, audio.sevenColor != 0);
}

// ---- settings ----

void CKestravaKeyboardDevice::SetSettings(const std::array<uint32_t, 3>& words) {
    m_settings = KeyboardSettings::FromWords(words);
    m_profile.SetSystemStages(words[0], words[1], words[2]);
}

std::array<uint32_t, 3> CKestravaKeyboardDevice::GetSettings() const {
    return m_settings.ToWords();
}

KeyboardSettings CKestravaKeyboardDevice::CurrentSettings() const {
    return m_settings;
}

void CKestravaKeyboardDevice::ChangeSetting(SettingControl control, int value) {
    KeyboardSettings settings = m_settings;
    SetSettingValue(settings, control, value);
    SetSettings(settings.ToWords());
    if (m_profileLoaded)
        m_profile.SaveProfile();
    if (SettingReachesKeyboard(control))
        WriteLightRecord(0, 0);
}

// ---- page logic ----

bool CKestravaKeyboardDevice::ParseButtonName(const std::string& name, ButtonKind& kind, int& slot) {
    const size_t split = name.rfind('_');
    if (split == std::string::npos || split + 1 >= name.size() || name.size() - split > 6)
        return false;
    std::string prefix = name.substr(0, split + 1);
    std::transform(prefix.begin(), prefix.end(), prefix.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (prefix == "key_")
        kind = ButtonKind::Key;
    else if (prefix == "light_")
        kind = ButtonKind::Light;
    else
        return false;
    int number = 0;
    for (size_t i = split + 1; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9')
            return false;
        number = number * 10 + (name[i] - '0');
    }
    slot = number;
    return true;
}

void CKestravaKeyboardDevice::BuildButtonLists() {
    if (PageLayout().empty()) {
        SetKeyCount(0);
        SetLightCount(0);
        return;
    }
    std::vector<std::pair<std::string, DeviceButton*>> buttons;
    if (!m_host || !m_host->panelButtons(buttons))
        return;
    for (const auto& [name, button] : buttons) {
        ButtonKind kind;
        int slot = 0;
        if (!button || !ParseButtonName(name, kind, slot))
            continue;
        std::vector<DeviceButton*>& list = kind == ButtonKind::Key ? m_keyButtons : m_lightButtons;
        if (slot >= static_cast<int>(list.size()))
            continue;
        list[slot] = button;
        if (kind == ButtonKind::Light)
            button->showLightColour(0xFF, 0xFF, 0xFF, 0xFF);
    }
}

void CKestravaKeyboardDevice::LoadLists() {
    const std::string folder = ProfileFolder();
    MacroLibrary library(folder);
    library.Load();
    m_macroNames = library.Names();

    m_presetModes = ReadPresetLightModes(FamilyIndex(), DefaultLightNamesPath());
    m_modeValues.clear();
    for (const PresetLightMode& m : m_presetModes)
        m_modeValues.push_back(m.value);
    m_areaNames = ReadAreaLightNames(FamilyIndex(), DefaultLightNamesPath());

    m_savedStyles.clear();
    if (FamilyIndex() >= 0) {
        const Json::Value styles = readjsonFile(JoinPath(folder, LightFilePrefix() + ".config"));
        const Json::Value& list =
            ElementOf(MemberOf(styles, "LightInfo"), static_cast<Json::ArrayIndex>(FamilyIndex()));
        for (Json::ArrayIndex i = 0; list.isArray() && i < list.size(); ++i)
            m_savedStyles.push_back(FieldString(list[i], "LightName"));
    }
}

void CKestravaKeyboardDevice::RefreshPage() {
    LoadLists();
    if (m_host)
        m_host->refreshPage();
}

bool CKestravaKeyboardDevice::CheckMacroBindings() {
    LoadLists();
    KeyList keys = m_profile.GetKeyList();
    bool changed = false;
    for (KeyRecord& key : keys) {
        if (isMacroCode(key.type) && key.high >= m_macroNames.size()) {
            key.setCode(key.defaultCode());
            changed = true;
        }
    }
    if (!changed)
        return false;
    m_profile.SetKeyList(keys);
    if (m_profileLoaded)
        m_profile.SaveProfile();
    if (m_host)
        m_host->refreshPage();
    return true;
}

bool CKestravaKeyboardDevice::StoreAssignment(uint32_t code) {
    const int slot = FirstSelection();
    if (slot < 0 || slot >= kKeySlots)
        return false;
    if (m_profile.CachedKeyList().empty())
        m_profile.GetKeyList();
    m_profile.SetKeyAssignment(static_cast<size_t>(slot), code);
    return true;
}

std::vector<KeyCaption> CKestravaKeyboardDevice::KeyCaptions() {
    const KeyList& keys = m_profile.CachedKeyList();
    std::vector<KeyCaption> captions(kKeySlots);
    for (int slot = 0; slot < kKeySlots; ++slot) {
        if (slot < static_cast<int>(keys.size()))
            captions[slot] = CaptionForAssignment(keys[slot].code(), keys[slot].defaultCode(), m_macroNames);
        else
            captions[slot] = CaptionForAssignment(kKeySlotTable[slot], kKeySlotTable[slot], m_macroNames);
    }
    return captions;
}

} // namespace talyx
