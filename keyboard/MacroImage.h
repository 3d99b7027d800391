#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "profile/MacroLibrary.h"

// The macro image the keyboard stores: only the macros that keys use, numbered 0, 1, 2 …
// in the order of the used-macro list. Little-endian throughout:
//
//   0   2      signature 0x55AA (bytes AA 55)
//   2   2      total size of the image in bytes
//   4   2      number of macros n
//   6   10     reserved, 0
//   16  2 × n  offset of each macro's record from the start of the image
//   …          the records in list order: event count (2), reserved (2), then 4 bytes per
//              event: delay low, delay high, type (bit 7 set for a press), button
namespace talyx {

constexpr size_t kMacroImageHeader = 16;
constexpr uint16_t kMacroImageSignature = 0x55AA;
// The keyboard's macro memory comes in units of 128 bytes (device information byte 6).
constexpr size_t kMacroMemoryUnit = 128;

// Bytes an image of macros with these event counts takes: 16 + 2n + 4n + 4 × events.
size_t MacroImageSize(const std::vector<size_t>& eventCounts);

// How far an image overshoots the memory, in the keyboard's terms: ((total − capacity) ÷ 4)
// + 1, or 0 when it fits.
int MacroOverflowCount(size_t total, size_t capacity);

// The four bytes of one event.
void EncodeMacroEvent(const MacroEvent& event, uint8_t* out);

// The whole image. Empty when it would not fit the 16-bit size field (no keyboard holds
// that much; the capacity check refuses such an image first).
std::vector<uint8_t> BuildMacroImage(const std::vector<std::vector<MacroEvent>>& macros);

} // namespace talyx
