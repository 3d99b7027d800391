#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "vdev/FirmwareModel.h"
#include "vdev/FrameLog.h"

namespace talyx::vdev {

struct KeyboardOptions {
    // Keys the keyboard reports (information byte 5). 104 is the full-size layout with Fn in
    // place of the right Windows key; more adds the extra keys of the slot table (G-mode,
    // colour, international keys, M1..M5, right Windows) and then keys with the empty code.
    int keyCount = 104;
    // Macro memory in units of 128 bytes (information byte 6).
    int macroUnits = 32;
    // The wireless receiver form: 24-byte chunks, an online state, and "unreachable" (0xAA
    // in byte 3) in place of any reply while the keyboard is offline.
    bool receiver = false;
    uint16_t productId = 0x5078;
};

// A model of the keyboard's firmware: the memory areas of its command set and what each
// command does to them.
//
//   0x01, 0x02          batch begin and end
//   0x1C                the program takes over the lighting
//   0x03                information, 34 bytes
//   0x07                factory key codes, 3 bytes per key
//   0x1B                LED position of each key
//   0x09                key assignments, 3 bytes per key (bank 0)
//   0x15                macro image, up to the macro memory
//   0x05, 0x06          light and settings records: 34 bytes at index × 33
//   0x0A, 0x0B          per-key colour pages, 512 bytes apart
//   0x12                live light frame, 384 bytes; a chunk that reaches byte 384 ends it
//   0x1A                status, 6 bytes: 0 charge in percent, 1 charging (1) or not (0)
//   0xAA                online query: reply byte 8 = 0xFF when the keyboard is reachable
//   0x17, 0x27          accepted without effect
// A read or write outside its area is answered with status 0xFE and changes nothing; an
// unknown command too.
class KeyboardFirmware : public FirmwareModel {
public:
    static constexpr size_t kInfoSize = 34;
    static constexpr size_t kRecordStride = 33;
    static constexpr size_t kRecordSize = 34;
    static constexpr size_t kRecordCount = 16;
    static constexpr size_t kPageStride = 512;
    static constexpr size_t kPageCount = 8;
    static constexpr size_t kFrameSize = 384;
    static constexpr size_t kStatusSize = 6;

    explicit KeyboardFirmware(const KeyboardOptions& options = KeyboardOptions());

    std::vector<uint8_t> Execute(const uint8_t* request) override;
    uint8_t MaxChunk() const override { return m_options.receiver ? 24 : 56; }
    Json::Value DumpState() const override;
    bool SetArea(const std::string& area, size_t offset, const std::vector<uint8_t>& bytes) override;

    bool IsReceiver() const { return m_options.receiver; }
    bool IsOnline() const { return m_online; }
    void SetOnline(bool online) { m_online = online; }

    int KeyCount() const { return m_options.keyCount; }
    const std::vector<uint8_t>& Info() const { return m_info; }
    const std::vector<uint8_t>& FactoryCodes() const { return m_factoryCodes; }
    const std::vector<uint8_t>& LedPositions() const { return m_ledPositions; }
    const std::vector<uint8_t>& Assignments() const { return m_assignments; }
    const std::vector<uint8_t>& MacroImage() const { return m_macroImage; }
    const std::vector<uint8_t>& Records() const { return m_records; }
    const std::vector<uint8_t>& ColourPages() const { return m_colourPages; }
    const std::vector<uint8_t>& Status() const { return m_status; }
    const std::vector<uint8_t>& LastFrame() const { return m_frames.LastFrame(); }
    uint64_t FrameCount() const { return m_frames.Count(); }
    uint64_t PartialFrameCount() const { return m_frames.PartialCount(); }
    // Monotonic microseconds at which the last frames were completed (oldest first).
    const std::deque<uint64_t>& FrameTimes() const { return m_frames.Times(); }
    bool LightControl() const { return m_lightControl; }
    bool BatchOpen() const { return m_batchOpen; }
    // The slot of the key slot table that device key k stands on, or -1 (no slot code).
    int SlotOfKey(int key) const;

private:
    std::vector<uint8_t> readArea(const uint8_t* request, const std::vector<uint8_t>& area, size_t base);
    std::vector<uint8_t> writeArea(const uint8_t* request, std::vector<uint8_t>& area, size_t base, size_t limit);
    void buildKeys();

    KeyboardOptions m_options;
    bool m_online = true;
    bool m_lightControl = false;
    bool m_batchOpen = false;
    std::vector<uint8_t> m_info;
    std::vector<int> m_keySlots;
    std::vector<uint8_t> m_factoryCodes;
    std::vector<uint8_t> m_ledPositions;
    std::vector<uint8_t> m_assignments;
    std::vector<uint8_t> m_macroImage;
    size_t m_macroBytesWritten = 0;
    std::vector<uint8_t> m_records;
    std::vector<uint8_t> m_colourPages;
    std::vector<uint8_t> m_status;
    FrameLog m_frames{kFrameSize};
};

} // namespace talyx::vdev
