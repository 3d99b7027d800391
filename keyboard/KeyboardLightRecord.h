#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "keyboard/KeyboardSettings.h"
#include "profile/ProfileRecords.h"

// The keyboard's light and settings record: 34 bytes at offset index × 33 of its record
// area, holding the lighting it renders by itself and four system settings.
//
//   0      record index          10-15  not interpreted (kept)   22     report rate index
//   1      mode value            16     always 0                 23-24  not interpreted (kept)
//   2      brightness level      17     not interpreted (kept)   25     custom colour page
//   3      4 - speed             18     extra mode byte          26-33  not interpreted (kept)
//   4      direction             19     W-key flag
//   5      seven-colour flag     20     six-key flag
//   6-8    red, green, blue      21     Windows-key lock
//   9      not interpreted (kept)
//
// Bytes the program does not interpret belong to the keyboard: a record is always written
// over a copy of the last one read, so they go back as they came.
namespace talyx {

constexpr size_t kLightRecordSize = 34;
constexpr int kLightRecordStride = 33;
using LightRecordBytes = std::array<uint8_t, kLightRecordSize>;

// The mode value the keyboard takes for a mode value of the presets: the two modes the
// program drives from outside (music 29, ambient 30) are one "host lighting" value there.
constexpr uint8_t kHostLightingMode = 0xFE;

// The mode value of preset `selectItem` ("value" of the preset list); an index the list
// does not hold is taken as the value itself.
int ModeValueOfPreset(int selectItem, const std::vector<int>& modeValues);
// The wire byte of a mode value (29 and 30 become 0xFE).
uint8_t ModeWireValue(int modeValue);

// A record to write: `kept` with the fields of `light` and `settings` put in, byte 0 set
// to `value`.
LightRecordBytes EncodeLightRecord(const LightRecordBytes& kept, uint8_t value, const LightInfo& light,
                                   const KeyboardSettings& settings, const std::vector<int>& modeValues);

// Takes the lighting fields and the three switches from a record read from the keyboard.
// The mode byte becomes the position of its value in the preset list; a byte the list
// does not hold (0xFE, or a mode of newer firmware) leaves "SelectItem" as it was rather
// than storing a position no preset has. The report rate and the repeat values are not in
// the keyboard's keeping and stay as they are.
void DecodeLightRecord(const LightRecordBytes& record, const std::vector<int>& modeValues, LightInfo& light,
                       KeyboardSettings& settings);

} // namespace talyx
