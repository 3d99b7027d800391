#include "keyboard/MacroImage.h"

namespace talyx {
namespace {

constexpr size_t kOffsetEntry = 2;
constexpr size_t kRecordHeader = 4;
constexpr size_t kEventSize = 4;
constexpr uint8_t kPressBit = 0x80;
constexpr size_t kMaxImage = 0xFFFF;

void put16(std::vector<uint8_t>& image, size_t at, size_t value) {
    image[at] = static_cast<uint8_t>(value & 0xFF);
    image[at + 1] = static_cast<uint8_t>((value >> 8) & 0xFF);
}

} // namespace

size_t MacroImageSize(const std::vector<size_t>& eventCounts) {
    size_t total = kMacroImageHeader + (kOffsetEntry + kRecordHeader) * eventCounts.size();
    for (size_t count : eventCounts)
        total += kEventSize * count;
    return total;
}

int MacroOverflowCount(size_t total, size_t capacity) {
    if (total <= capacity)
        return 0;
    return static_cast<int>((total - capacity) / kEventSize) + 1;
}

void EncodeMacroEvent(const MacroEvent& event, uint8_t* out) {
    out[0] = static_cast<uint8_t>(event.delay & 0xFF);
    out[1] = static_cast<uint8_t>(event.delay >> 8);
    out[2] = static_cast<uint8_t>(event.down ? (event.type | kPressBit) : (event.type & ~kPressBit));
    out[3] = event.button;
}

std::vector<uint8_t> BuildMacroImage(const std::vector<std::vector<MacroEvent>>& macros) {
    std::vector<size_t> counts;
    counts.reserve(macros.size());
    for (const auto& m : macros)
        counts.push_back(m.size());
    const size_t total = MacroImageSize(counts);
    if (total > kMaxImage)
        return {};

    std::vector<uint8_t> image(total, 0);
    put16(image, 0, kMacroImageSignature);
    put16(image, 2, total);
    put16(image, 4, macros.size());
    size_t record = kMacroImageHeader + kOffsetEntry * macros.size();
    for (size_t k = 0; k < macros.size(); ++k) {
        put16(image, kMacroImageHeader + kOffsetEntry * k, record);
        put16(image, record, macros[k].size());
        size_t at = record + kRecordHeader;
        for (const MacroEvent& e : macros[k]) {
            EncodeMacroEvent(e, &image[at]);
            at += kEventSize;
        }
        record = at;
    }
    return image;
}

} // namespace talyx
