#include "keyboard/CKestravaKeyboardDevice.h"

#include <algorithm>
#include <cctype>
#include <memory>
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
        std::lock_guard<std::mutex> lock(m_tableLock);
        std::copy(info, info + kInfoSize, m_info.begin());
        m_infoValid = true;
    }
    return result;
}

std::array<uint8_t, CKestravaKeyboardDevice::kInfoSize> CKestravaKeyboardDevice::Info() const {
    std::lock_guard<std::mutex> lock(m_tableLock);
    return m_info;
}

size_t CKestravaKeyboardDevice::MacroCapacity() const {
    std::lock_guard<std::mutex> lock(m_tableLock);
    return static_cast<size_t>(m_info[kInfoMacroUnits]) * kMacroMemoryUnit;
}

// ---- key table ----

void CKestravaKeyboardDevice::ReadKeyTable() {
    if (!m_channel.IsOpen())
        return;
    m_channel.Cmd01BeginBatch();
    refreshInfo();
    std::unique_lock<std::mutex> lock(m_tableLock);
    const int keys = m_infoValid ? m_info[kInfoKeyCount] : 0;
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

CKestravaKeyboardDevice::RecordRead CKestravaKeyboardDevice::ReadRecordBytes() {
    RecordRead read;
    if (!m_channel.IsOpen())
        return read;
    uint8_t index = 0;
    read.result = m_channel.Cmd05Read(0, &index, 1);
    if (read.result != kResultSuccess)
        return read;
    read.result = m_channel.Cmd05Read(index * kLightRecordStride, read.bytes.data(), read.bytes.size());
    if (read.result != kResultSuccess)
        return read;
    read.index = index;
    {
        std::lock_guard<std::mutex> lock(m_recordLock);
        m_lastRecord = read.bytes;
        m_recordValid = true;
    }
    m_activeRecord.store(index);
    return read;
}

void CKestravaKeyboardDevice::ApplyRecord(const RecordRead& read) {
    if (read.index < 0)
        return;
    LightInfo light = m_profile.GetLightInfo();
    KeyboardSettings settings = m_settings;
    DecodeLightRecord(read.bytes, m_modeValues, light, settings);
    m_profile.SetLightInfo(light);
    SetSettings(settings.ToWords());
    if (m_profileLoaded)
        m_profile.SaveProfile();
    applyLighting(light, false);
}

int CKestravaKeyboardDevice::ReadLightRecord() {
    const RecordRead read = ReadRecordBytes();
    ApplyRecord(read);
    return read.index;
}

CKestravaKeyboardDevice::RecordInputs CKestravaKeyboardDevice::CurrentRecordInputs() {
    return RecordInputs{m_profile.GetLightInfo(), m_settings, m_modeValues};
}

int CKestravaKeyboardDevice::WriteRecord(int index, int value, const RecordInputs& inputs) {
    if (!m_channel.IsOpen())
        return kResultNoReply;
    const int offset = index * kLightRecordStride;
    LightRecordBytes kept{};
    bool known = false;
    {
        std::lock_guard<std::mutex> lock(m_recordLock);
        kept = m_lastRecord;
        known = m_recordValid;
    }
    if (!known) {
        const int read = m_channel.Cmd05Read(offset, kept.data(), kept.size());
        if (read != kResultSuccess)
            return read;
        std::lock_guard<std::mutex> lock(m_recordLock);
        m_lastRecord = kept;
        m_recordValid = true;
    }
    const LightRecordBytes record =
        EncodeLightRecord(kept, static_cast<uint8_t>(value), inputs.light, inputs.settings, inputs.modeValues);
    m_channel.Cmd01BeginBatch();
    const int result = m_channel.Cmd06Write(offset, record.data(), record.size());
    m_channel.Cmd02EndBatch(1);
    return result;
}

int CKestravaKeyboardDevice::WriteLightRecord(int index, int value) {
    return WriteRecord(index, value, CurrentRecordInputs());
}

void CKestravaKeyboardDevice::PostRecordWrite(DeviceCommandWorker::Done done) {
    m_commands.Post(
        "light record", DeviceCommandWorker::kMergeRecordWrite,
        [this, inputs = CurrentRecordInputs()](CommandContext&) { return WriteRecord(0, 0, inputs); }, std::move(done));
}

LightRecordBytes CKestravaKeyboardDevice::LastRecord() const {
    std::lock_guard<std::mutex> lock(m_recordLock);
    return m_lastRecord;
}

bool CKestravaKeyboardDevice::HasRecord() const {
    std::lock_guard<std::mutex> lock(m_recordLock);
    return m_recordValid;
}

// ---- key assignments and macros ----

std::vector<KeyAssignment> CKestravaKeyboardDevice::assignmentsOf(const KeyList& keys) const {
    std::vector<KeyAssignment> out(keys.size());
    for (size_t i = 0; i < keys.size(); ++i)
        out[i] = KeyAssignment{keys[i].code(), keys[i].defaultCode()};
    return out;
}

std::vector<int> CKestravaKeyboardDevice::UsedMacros() {
    return UsedMacrosOf(m_profile.GetKeyList());
}

std::vector<int> CKestravaKeyboardDevice::UsedMacrosOf(const KeyList& keys) const {
    MacroLibrary library(ProfileFolder());
    library.Load();
    const KeySlotMaps maps = SlotMaps();
    return CollectUsedMacros(maps, assignmentsOf(keys), static_cast<int>(library.Count()));
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
    return planMacros(usedMacros, true);
}

int CKestravaKeyboardDevice::MacroAnswer(const KeyList& keys) {
    return planMacros(UsedMacrosOf(keys), false);
}

int CKestravaKeyboardDevice::planMacros(const std::vector<int>& usedMacros, bool send, int* sent) {
    if (sent)
        *sent = kResultSuccess;
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
        if (send && m_channel.IsOpen()) {
            int result = m_channel.Cmd01BeginBatch();
            if (result == kResultSuccess)
                result = m_channel.Cmd15Write(image.data(), image.size());
            const int end = m_channel.Cmd02EndBatch(1);
            if (sent)
                *sent = result != kResultSuccess ? result : end;
        } else if (send && sent) {
            *sent = kResultNoReply;
        }
        return 0;
    } catch (const std::bad_alloc&) {
        return -1;
    }
}

void CKestravaKeyboardDevice::WriteKeyPage(std::function<void(const KeyPageWrite&)> done) {
    auto outcome = std::make_shared<KeyPageWrite>();
    m_commands.Post(
        "key page", DeviceCommandWorker::kNoMerge,
        [this, outcome, keys = m_profile.GetKeyList()](CommandContext& context) {
            if (!m_channel.IsOpen())
                return outcome->result = kResultNoReply;
            refreshInfo();
            int sent = kResultSuccess;
            outcome->macros = planMacros(UsedMacrosOf(keys), true, &sent);
            if (outcome->macros != 0 || context.Cancelled())
                return outcome->result = kResultNoReply;
            if (sent != kResultSuccess)
                return outcome->result = sent;
            return outcome->result = WriteKeyAssignments(0, keys);
        },
        [outcome, done = std::move(done)](int) {
            if (done)
                done(*outcome);
        });
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
    const int group = m_profile.GetLightInfo().customGroup;
    std::array<LightRgb, kKeySlots> colours{};
    const int result = ReadColourPage(group, colours);
    if (result == kResultSuccess)
        ApplyColourPage(group, colours);
    return result;
}

void CKestravaKeyboardDevice::ApplyColourPage(int group, const std::array<LightRgb, kKeySlots>& colours) {
    m_engine.SetCustomColours(colours);
    std::vector<KeyColour> stored(kKeySlots);
    for (int slot = 0; slot < kKeySlots; ++slot)
        stored[slot] = KeyColour{colours[slot].r, colours[slot].g, colours[slot].b, 0xFF};
    m_profile.SetCustomColours(group, stored);
    if (m_profileLoaded)
        m_profile.SaveProfile();
}

int CKestravaKeyboardDevice::ReadColourPage(int group, std::array<LightRgb, kKeySlots>& colours) {
    if (!m_channel.IsOpen() || !HasKeyTable())
        return kResultNoReply;
    const KeySlotMaps maps = SlotMaps();
    std::vector<uint8_t> page(static_cast<size_t>(3 * DeviceKeyCount()), 0);
    if (group * DeviceChannel::kPageSize + static_cast<int>(page.size()) > kMaxChunkOffset)
        return kResultNoReply;
    const int result = m_channel.Cmd0AReadPage(group, page.data(), page.size());
    if (result != kResultSuccess)
        return result;
    colours = m_engine.CustomColours();
    for (int slot = 0; slot < kKeySlots; ++slot) {
        const size_t p = maps.ledMap[slot];
        if (p == kNoDeviceKey || 3 * p + 2 >= page.size())
            continue;
        colours[slot] = LightRgb{page[3 * p], page[3 * p + 1], page[3 * p + 2]};
    }
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

int CKestravaKeyboardDevice::PaintKey(int slot, DeviceCommandWorker::Done done) {
    if (slot < 0 || slot >= kKeySlots)
        return kResultNoReply;
    const LightInfo light = m_profile.GetLightInfo();
    m_engine.SetCustomColour(slot, LightRgb{light.red, light.green, light.blue});
    auto answer = std::make_shared<int>(kResultSuccess);
    storeAndWriteColours([answer, done = std::move(done)](int result) {
        *answer = result;
        if (done)
            done(result);
    });
    return *answer;
}

void CKestravaKeyboardDevice::FillCustomColours(bool on, DeviceCommandWorker::Done done) {
    const LightInfo light = m_profile.GetLightInfo();
    const LightRgb colour = on ? LightRgb{light.red, light.green, light.blue} : LightRgb{0, 0, 0};
    std::array<LightRgb, kKeySlots> colours{};
    colours.fill(colour);
    m_engine.SetCustomColours(colours);
    storeAndWriteColours(std::move(done));
}

void CKestravaKeyboardDevice::storeAndWriteColours(DeviceCommandWorker::Done done) {
    ++m_customEdits;
    const LightInfo light = m_profile.GetLightInfo();
    const std::array<LightRgb, kKeySlots> colours = m_engine.CustomColours();
    std::vector<KeyColour> stored(kKeySlots);
    for (int s = 0; s < kKeySlots; ++s)
        stored[s] = KeyColour{colours[s].r, colours[s].g, colours[s].b, 0xFF};
    m_profile.SetCustomGroupIndex(light.customGroup);
    m_profile.SetCustomColours(light.customGroup, stored);
    if (m_profileLoaded)
        m_profile.SaveProfile();
    // The keyboard takes its colour page only whole; the page is built when the job runs,
    // so quick clicks merge into one write of the latest colours.
    m_commands.Post(
        "colour page", DeviceCommandWorker::kMergeColourPage, [this](CommandContext&) { return WriteKeyColours(); },
        std::move(done));
}

void CKestravaKeyboardDevice::SelectCustomGroup(int group, DeviceCommandWorker::Done done) {
    if (group < 0 || group > 255)
        return;
    LightInfo light = m_profile.GetLightInfo();
    light.customGroup = static_cast<uint8_t>(group);
    m_profile.SetLightInfo(light);
    m_profile.SetCustomGroupIndex(light.customGroup);
    if (m_profileLoaded)
        m_profile.SaveProfile();
    PostRecordWrite();
    auto colours = std::make_shared<std::array<LightRgb, kKeySlots>>();
    const unsigned edits = m_customEdits;
    m_commands.Post(
        "colour page", DeviceCommandWorker::kNoMerge,
        [this, group, colours](CommandContext&) { return ReadColourPage(group, *colours); },
        [this, group, colours, edits, done = std::move(done)](int result) {
            // A key painted or a fill made meanwhile is newer than the page read: it stays,
            // as the profile and the keyboard already have it.
            const bool editedMeanwhile = m_customEdits != edits;
            if (!editedMeanwhile && result == kResultSuccess)
                ApplyColourPage(group, *colours);
            else if (!editedMeanwhile)
                loadCustomColoursFromProfile(group);
            if (done)
                done(result);
        });
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
    return sendLightFrame(false);
}

int CKestravaKeyboardDevice::sendLightFrame(bool leavePending) {
    if (!m_channel.IsOpen())
        return kResultNoReply;
    if (KeyboardLightEngine::KeyboardRenders(m_engine.Setting().mode))
        return kResultSuccess;
    const std::array<uint8_t, kStreamFrameBytes> frame = BuildStreamFrame();
    return leavePending ? m_channel.Cmd12BeginFrame(frame.data(), frame.size())
                        : m_channel.Cmd12WriteFrame(frame.data(), frame.size());
}

bool CKestravaKeyboardDevice::WantsFrames() const {
    return CKestravaUSBDevice::WantsFrames() && !KeyboardLightEngine::KeyboardRenders(m_engine.Setting().mode);
}

int CKestravaKeyboardDevice::SendFrame() {
    // The frame thread collects the replies when the next frame is due.
    return sendLightFrame(true);
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
    auto status = std::make_shared<std::array<uint8_t, kStatusSize>>();
    m_commands.Post(
        "status", DeviceCommandWorker::kMergeStatus,
        [this, status](CommandContext&) -> int {
            if (!IsOnline())
                return kResultNoReply;
            return m_channel.Cmd1AReadStatus(status->data(), status->size());
        },
        [this, status](int result) {
            if (result != kResultSuccess)
                return;
            (*status)[kStatusWirelessByte] = m_wirelessCapable ? 1 : 0;
            if (m_host)
                m_host->showBatteryStatus(status->data(), status->size());
            if (m_mainWindow)
                m_mainWindow->sendMessage(kMsgStatusByte, (*status)[kStatusMainWindowByte], 0);
        });
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
    // A burst of these asks for one refresh: the host merges the requests.
    if (m_host)
        m_host->requestPageRefresh();
}

void CKestravaKeyboardDevice::SettingsSync() {
    auto read = std::make_shared<RecordRead>();
    m_commands.Post(
        "settings sync", DeviceCommandWorker::kMergeSettingsSync,
        [this, read](CommandContext&) {
            *read = ReadRecordBytes();
            return read->result;
        },
        [this, read](int) {
            ApplyRecord(*read);
            RefreshPage();
        });
}

// ---- profiles ----

int CKestravaKeyboardDevice::PageStart(const std::string& uuid, bool startLightThread, DeviceCommandWorker::Done done) {
    // Each step's handler posts the next one, so the order stays that of the page start
    // while the interface thread stays free; without a worker thread it all runs here. A
    // cancel between two steps (unplugged, closed, asleep) ends the chain: the next
    // attach starts the page afresh.
    auto answer = std::make_shared<int>(0);
    const uint64_t generation = m_commands.CancelGeneration();
    auto current = [this, generation] { return m_commands.CancelGeneration() == generation; };
    m_commands.Post(
        "key table", DeviceCommandWorker::kNoMerge,
        [this](CommandContext& context) {
            if (context.Cancelled())
                return kResultNoReply;
            ReadKeyTable();
            return HasKeyTable() ? kResultSuccess : kResultNoReply;
        },
        [this, uuid, startLightThread, answer, current, done = std::move(done)](int) mutable {
            if (!current())
                return;
            // The answer comes with the write; nothing here needs it sooner.
            loadAndWriteProfile(uuid,
                                [this, startLightThread, answer, current, done = std::move(done)](int written) mutable {
                                    *answer = written;
                                    if (!current())
                                        return;
                                    auto read = std::make_shared<RecordRead>();
                                    m_commands.Post(
                                        "light record", DeviceCommandWorker::kNoMerge,
                                        [this, read](CommandContext&) {
                                            *read = ReadRecordBytes();
                                            return read->result;
                                        },
                                        [this, read, startLightThread, answer, current, done = std::move(done)](int) {
                                            if (!current())
                                                return;
                                            ApplyRecord(*read);
                                            RefreshPage();
                                            if (startLightThread)
                                                StartLightThread();
                                            WakeFrames();
                                            if (done)
                                                done(*answer);
                                        });
                                });
        });
    return *answer;
}

int CKestravaKeyboardDevice::ApplyProfile(const std::string& uuid) {
    return loadAndWriteProfile(
        uuid, [this](int) { RefreshPage(); }, true);
}

int CKestravaKeyboardDevice::loadAndWriteProfile(const std::string& uuid, DeviceCommandWorker::Done written,
                                                 bool answerAtOnce) {
    const std::string folder = ProfileFolder();
    const std::string path = ProfileDocumentPath(folder, uuid);
    auto fail = [&written] {
        if (written)
            written(-1);
        return -1;
    };
    if (path.empty())
        return fail();
    m_profile.SetEntryIndex(0);
    m_profile.SetProfilePath(path);
    m_profile.SetDefaultPath(DefaultDocumentPath(FamilyName()));
    m_profile.SetMacroPath(JoinPath(folder, MacroLibrary::kIndexFileName));
    m_profile.SetCustomEffectLibraryPath(JoinPath(folder, LightFilePrefix() + ".config"));
    if (!m_profile.LoadDeviceEntry().isObject())
        return fail();
    m_profileUuid = uuid;
    m_profileLoaded = true;
    LoadLists();
    return writeProfileToKeyboard(std::move(written), answerAtOnce);
}

void CKestravaKeyboardDevice::ReapplySettings() {
    if (m_profileLoaded)
        writeProfileToKeyboard({}, false);
}

int CKestravaKeyboardDevice::writeProfileToKeyboard(DeviceCommandWorker::Done written, bool answerAtOnce) {
    const LightInfo light = m_profile.GetLightInfo();
    const KeyList keys = m_profile.GetKeyList();
    m_settings = KeyboardSettings::FromWords(m_profile.GetSystemStages());
    const AudioLightInfo audio = m_profile.GetAudioLightInfo();
    m_engine.SetAudioColours(LightRgb{audio.bkRed, audio.bkGreen, audio.bkBlue},
                             LightRgb{audio.fgRed, audio.fgGreen, audio.fgBlue}, audio.sevenColor != 0);
    bool coloursKnown = false;
    if (ModeValueOfPreset(light.selectItem, m_modeValues) == kCustomMode &&
        profileHasCustomColours(light.customGroup)) {
        loadCustomColoursFromProfile(light.customGroup);
        coloursKnown = true;
    }
    // With a worker thread and a caller that needs it at once (the profile bar), the answer
    // is worked out before the write: whether the macro image fits is decided from the
    // library and the memory size the keyboard reported. Others get it from the write.
    const bool predicted = answerAtOnce && m_commands.Running();
    auto answer = std::make_shared<int>(predicted ? MacroAnswer(keys) : 0);
    m_commands.Post(
        "profile", DeviceCommandWorker::kMergeProfileWrite,
        [this, keys, inputs = CurrentRecordInputs(), coloursKnown](CommandContext& context) {
            // Macros first: the assignment block numbers macros by their place in the image.
            // The block goes out only when the image did (or none was needed), so no key
            // points at macros the keyboard does not hold.
            if (m_channel.IsOpen())
                refreshInfo();
            int sent = kResultSuccess;
            const int macros = planMacros(UsedMacrosOf(keys), true, &sent);
            if (context.Cancelled())
                return macros;
            if (macros == 0 && sent == kResultSuccess)
                WriteKeyAssignments(0, keys);
            WriteRecord(0, 0, inputs);
            if (coloursKnown)
                WriteKeyColours();
            return macros;
        },
        [this, light, coloursKnown, answer, predicted, written = std::move(written)](int macros) {
            if (!predicted)
                *answer = macros;
            applyLighting(light, coloursKnown);
            if (written)
                written(macros);
        });
    return *answer;
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
    WakeFrames();
    if (restarted && setting.mode == kCustomMode && !coloursKnown) {
        // Entering the custom mode shows what the keyboard holds; without a keyboard the
        // profile's colours stand in.
        const int group = light.customGroup;
        auto colours = std::make_shared<std::array<LightRgb, kKeySlots>>();
        m_commands.Post(
            "colour page", DeviceCommandWorker::kNoMerge,
            [this, group, colours](CommandContext&) { return ReadColourPage(group, *colours); },
            [this, group, colours](int result) {
                if (result == kResultSuccess)
                    ApplyColourPage(group, *colours);
                else
                    loadCustomColoursFromProfile(group);
            });
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

void CKestravaKeyboardDevice::ChangeLighting(const LightInfo& light, DeviceCommandWorker::Done done) {
    m_profile.SetLightInfo(light);
    if (m_profileLoaded)
        m_profile.SaveProfile();
    PostRecordWrite(std::move(done));
    applyLighting(light, false);
}

void CKestravaKeyboardDevice::ChangeAudioLighting(const AudioLightInfo& audio) {
    m_profile.SetAudioLightInfo(audio);
    if (m_profileLoaded)
        m_profile.SaveProfile();
    m_engine.SetAudioColours(LightRgb{audio.bkRed, audio.bkGreen, audio.bkBlue},
                             LightRgb{audio.fgRed, audio.fgGreen, audio.fgBlue}, audio.sevenColor != 0);
}

bool CKestravaKeyboardDevice::ShowsAudioMode() const {
    return m_engine.Setting().mode == kMusicMode;
}

void CKestravaKeyboardDevice::OnAudioFrame(const AudioInput& input) {
    m_engine.SetAudioFrame(input);
}

void CKestravaKeyboardDevice::OnAudioStopped() {
    m_engine.ClearAudio();
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

void CKestravaKeyboardDevice::ChangeSetting(SettingControl control, int value, DeviceCommandWorker::Done done) {
    KeyboardSettings settings = m_settings;
    SetSettingValue(settings, control, value);
    SetSettings(settings.ToWords());
    if (m_profileLoaded)
        m_profile.SaveProfile();
    if (SettingReachesKeyboard(control))
        PostRecordWrite(std::move(done));
    else if (done)
        done(kResultSuccess);
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
    if (m_profileLoaded)
        m_profile.SaveProfile();
    return true;
}

void CKestravaKeyboardDevice::ShowFunctionTab(int mode) {
    CKestravaUSBDevice::ShowFunctionTab(mode);
    if (mode != 1 && mode != 2)
        return;
    if (kFnKeySlot < static_cast<int>(m_keyButtons.size()) && m_keyButtons[kFnKeySlot])
        m_keyButtons[kFnKeySlot]->setEnabled(mode == 1);
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
