#include "vdev/KeyboardFirmware.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "keyboard/KeyTables.h"
#include "vdev/VdevFraming.h"

namespace talyx::vdev {
namespace {

constexpr uint8_t kStatusOk = 0x00;
constexpr uint8_t kStatusFailed = 0xFE;
constexpr uint8_t kUnreachable = 0xAA;

// Firmware version 1.05 in information bytes 0 and 1.
constexpr uint8_t kFirmwareMajor = 0x01;
constexpr uint8_t kFirmwareMinor = 0x05;

// The keys of the full-size layout, as slot ranges of the key slot table: function row,
// number row, top letter row, home row (with the keypad's 4 to 6), shift row (with the
// arrow up and the keypad's 1 to 3), bottom row. 104 keys.
struct SlotRange {
    int first;
    int last;
};
constexpr SlotRange kFullSizeSlots[] = {{0, 15}, {21, 41}, {42, 61}, {63, 78}, {84, 99}, {105, 119}};

// The rows of the keyboard by slot number. The keyboard numbers its keys in matrix order,
// bottom row first, and its LEDs top row first, so neither numbering is the slot order.
constexpr int kRowStarts[] = {0, 21, 42, 62, 84, 105, 170};

int rowOfSlot(int slot) {
    for (int r = 0; r < 6; ++r) {
        if (slot >= kRowStarts[r] && slot < kRowStarts[r + 1])
            return r;
    }
    return 5;
}

// The record every index starts with: breathing (mode value 5) at full brightness, speed 2,
// forward, single colour red. The bytes the program does not interpret carry recognisable
// values so that a write that does not keep them shows.
std::vector<uint8_t> defaultRecord() {
    std::vector<uint8_t> r(KeyboardFirmware::kRecordSize, 0);
    r[1] = 5;    // mode value
    r[2] = 4;    // brightness
    r[3] = 2;    // speed (inverted on the wire)
    r[4] = 1;    // direction
    r[5] = 0;    // seven-colour flag
    r[6] = 0xFF; // red
    r[7] = 0x00;
    r[8] = 0x00;
    for (int i = 9; i <= 15; ++i)
        r[i] = static_cast<uint8_t>(0x30 + i);
    r[17] = 0x41;
    r[22] = 3; // report rate index
    r[23] = 0x51;
    r[24] = 0x52;
    for (int i = 26; i <= 33; ++i)
        r[i] = static_cast<uint8_t>(0x40 + i);
    return r;
}

} // namespace

KeyboardFirmware::KeyboardFirmware(const KeyboardOptions& options) : m_options(options) {
    m_options.keyCount = std::clamp(m_options.keyCount, 1, 255);
    m_options.macroUnits = std::clamp(m_options.macroUnits, 0, 255);
    m_info.assign(kInfoSize, 0);
    m_info[0] = kFirmwareMajor;
    m_info[1] = kFirmwareMinor;
    m_info[3] = 1; // per-key RGB lighting
    m_info[5] = static_cast<uint8_t>(m_options.keyCount);
    m_info[6] = static_cast<uint8_t>(m_options.macroUnits);
    m_info[32] = static_cast<uint8_t>(m_options.productId & 0xFF);
    m_info[33] = static_cast<uint8_t>(m_options.productId >> 8);
    buildKeys();
    m_assignments = m_factoryCodes;
    m_macroImage.assign(static_cast<size_t>(m_options.macroUnits) * 128, 0);
    m_records.assign(kRecordCount * kRecordStride + 1, 0);
    const std::vector<uint8_t> record = defaultRecord();
    for (size_t i = kRecordCount; i-- > 0;)
        std::memcpy(m_records.data() + i * kRecordStride, record.data(), kRecordSize);
    for (size_t i = 0; i < kRecordCount; ++i)
        m_records[i * kRecordStride] = static_cast<uint8_t>(i);
    m_records[0] = 0; // active record index
    m_colourPages.assign(kPageCount * kPageStride, 0);
    // Status as the battery indicator reads it: byte 0 the charge in percent, byte 1
    // charging (1) or not (0). The program puts its own wireless flag into byte 3 and
    // hands byte 4 to the main window; the keyboard leaves both 0.
    m_status = {100, 0x00, 0x00, 0x00, 0x00, 0x00};
}

void KeyboardFirmware::buildKeys() {
    std::vector<int> slots;
    for (const SlotRange& range : kFullSizeSlots) {
        for (int s = range.first; s <= range.last; ++s)
            slots.push_back(s);
    }
    const int keys = m_options.keyCount;
    if (keys < static_cast<int>(slots.size())) {
        slots.resize(static_cast<size_t>(keys));
    } else {
        for (int s = 0; s < talyx::kKeySlots && static_cast<int>(slots.size()) < keys; ++s) {
            if (talyx::kKeySlotTable[s] != talyx::kEmptySlot && std::find(slots.begin(), slots.end(), s) == slots.end())
                slots.push_back(s);
        }
    }
    // Device key numbers: bottom row first, then up; within a row left to right.
    std::vector<int> byKey = slots;
    std::stable_sort(byKey.begin(), byKey.end(), [](int a, int b) {
        const int ra = rowOfSlot(a);
        const int rb = rowOfSlot(b);
        return ra != rb ? ra > rb : a < b;
    });
    // LED positions: top row first.
    std::vector<int> byLed = slots;
    std::sort(byLed.begin(), byLed.end());

    m_keySlots.assign(static_cast<size_t>(keys), -1);
    m_factoryCodes.assign(static_cast<size_t>(keys) * 3, 0);
    m_ledPositions.assign(static_cast<size_t>(keys), 0);
    for (int k = 0; k < keys; ++k) {
        uint32_t code = talyx::kEmptySlot;
        int slot = -1;
        if (k < static_cast<int>(byKey.size())) {
            slot = byKey[k];
            code = talyx::kKeySlotTable[slot];
        }
        m_keySlots[k] = slot;
        m_factoryCodes[3 * k + 0] = talyx::AssignmentType(code);
        m_factoryCodes[3 * k + 1] = talyx::AssignmentHigh(code);
        m_factoryCodes[3 * k + 2] = talyx::AssignmentLow(code);
        size_t led = static_cast<size_t>(k);
        if (slot >= 0)
            led = static_cast<size_t>(std::find(byLed.begin(), byLed.end(), slot) - byLed.begin());
        // Keys without a place in the picture get the positions after the ones that have.
        m_ledPositions[k] = static_cast<uint8_t>(led % 128);
    }
}

int KeyboardFirmware::SlotOfKey(int key) const {
    return key >= 0 && key < static_cast<int>(m_keySlots.size()) ? m_keySlots[key] : -1;
}

std::vector<uint8_t> KeyboardFirmware::readArea(const uint8_t* request, const std::vector<uint8_t>& area, size_t base) {
    const uint8_t length = request[4];
    const uint16_t offset = static_cast<uint16_t>(request[5] | request[6] << 8);
    if (offset < base || offset - base + length > area.size())
        return MakeReply(request[3], length, offset, kStatusFailed);
    return MakeReply(request[3], length, offset, kStatusOk, area.data() + (offset - base), length);
}

std::vector<uint8_t> KeyboardFirmware::writeArea(const uint8_t* request, std::vector<uint8_t>& area, size_t base,
                                                 size_t limit) {
    const uint8_t length = request[4];
    const uint16_t offset = static_cast<uint16_t>(request[5] | request[6] << 8);
    if (offset < base || offset - base + length > std::min(limit, area.size()))
        return MakeReply(request[3], length, offset, kStatusFailed);
    std::memcpy(area.data() + (offset - base), request + kDataStart, length);
    return MakeReply(request[3], length, offset, kStatusOk);
}

std::vector<uint8_t> KeyboardFirmware::Execute(const uint8_t* request) {
    const uint8_t command = request[3];
    const uint8_t length = request[4];
    const uint16_t offset = static_cast<uint16_t>(request[5] | request[6] << 8);

    if (m_options.receiver && !m_online) {
        // The receiver cannot reach the keyboard: it answers in its place.
        if (command == kUnreachable) {
            const uint8_t offline = 0x00;
            return MakeReply(command, length, offset, kStatusOk, &offline, 1);
        }
        return MakeReply(kUnreachable, length, offset, kStatusOk);
    }

    switch (command) {
    case 0x01:
        m_batchOpen = true;
        return MakeReply(command, length, offset, kStatusOk);
    case 0x02:
        m_batchOpen = false;
        return MakeReply(command, length, offset, kStatusOk);
    case 0x1C:
        m_lightControl = true;
        return MakeReply(command, length, offset, kStatusOk);
    case 0x03:
        return readArea(request, m_info, 0);
    case 0x07:
        return readArea(request, m_factoryCodes, 0);
    case 0x1B:
        return readArea(request, m_ledPositions, 0);
    case 0x09:
        return writeArea(request, m_assignments, 0, m_assignments.size());
    case 0x15: {
        std::vector<uint8_t> reply = writeArea(request, m_macroImage, 0, m_macroImage.size());
        if (reply[7] == kStatusOk)
            m_macroBytesWritten = std::max<size_t>(m_macroBytesWritten, offset + length);
        return reply;
    }
    case 0x05:
        return readArea(request, m_records, 0);
    case 0x06:
        return writeArea(request, m_records, 0, m_records.size());
    case 0x0A:
        return readArea(request, m_colourPages, 0);
    case 0x0B:
        return writeArea(request, m_colourPages, 0, m_colourPages.size());
    case 0x12:
        return MakeReply(request[3], request[4], static_cast<uint16_t>(request[5] | request[6] << 8),
                         m_frames.Chunk(request) ? kStatusOk : kStatusFailed);
    case 0x1A:
        return readArea(request, m_status, 0);
    case kUnreachable: {
        const uint8_t online = 0xFF;
        return MakeReply(command, length, offset, kStatusOk, &online, 1);
    }
    case 0x17:
    case 0x27:
        return MakeReply(command, length, offset, kStatusOk);
    default:
        return MakeReply(command, length, offset, kStatusFailed);
    }
}

Json::Value KeyboardFirmware::DumpState() const {
    Json::Value out = FirmwareModel::DumpState();
    out["model"] = m_options.receiver ? "keyboard-receiver" : "keyboard";
    out["keyCount"] = m_options.keyCount;
    out["macroUnits"] = m_options.macroUnits;
    out["online"] = m_online;
    out["lightControl"] = m_lightControl;
    out["batchOpen"] = m_batchOpen;
    out["info"] = ToHex(m_info);
    out["factoryCodes"] = ToHex(m_factoryCodes);
    out["ledPositions"] = ToHex(m_ledPositions);
    out["assignments"] = ToHex(m_assignments);
    out["macroImage"] = ToHex(m_macroImage.data(), m_macroBytesWritten);
    out["macroCapacity"] = Json::UInt64(m_macroImage.size());
    out["records"] = ToHex(m_records);
    out["activeRecord"] = m_records[0];
    out["colourPages"] = ToHex(m_colourPages);
    out["status"] = ToHex(m_status);
    out["frame"] = m_frames.Dump();
    Json::Value keySlots(Json::arrayValue);
    for (int s : m_keySlots)
        keySlots.append(s);
    out["keySlots"] = keySlots;
    return out;
}

bool KeyboardFirmware::SetArea(const std::string& area, size_t offset, const std::vector<uint8_t>& bytes) {
    std::vector<uint8_t>* target = nullptr;
    if (area == "info")
        target = &m_info;
    else if (area == "factoryCodes")
        target = &m_factoryCodes;
    else if (area == "ledPositions")
        target = &m_ledPositions;
    else if (area == "assignments")
        target = &m_assignments;
    else if (area == "macroImage")
        target = &m_macroImage;
    else if (area == "records")
        target = &m_records;
    else if (area == "colourPages")
        target = &m_colourPages;
    else if (area == "status")
        target = &m_status;
    if (!target || offset > target->size() || bytes.size() > target->size() - offset)
        return false;
    std::copy(bytes.begin(), bytes.end(), target->begin() + static_cast<std::ptrdiff_t>(offset));
    return true;
}

} // namespace talyx::vdev
