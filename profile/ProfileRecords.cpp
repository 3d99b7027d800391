#include "profile/ProfileRecords.h"

namespace talyx {
namespace {

uint8_t byteOf(uint32_t word, int n) { return static_cast<uint8_t>(word >> (8 * n)); }

uint32_t wordOf(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3) {
    return uint32_t(b0) | (uint32_t(b1) << 8) | (uint32_t(b2) << 16) | (uint32_t(b3) << 24);
}

} // namespace

std::array<uint8_t, LightInfo::kSize> LightInfo::bytes() const {
    return {selectItem, light, speed, fx,       multiColor,  red,         green,
            blue,       spare[0], spare[1], spare[2], zzccLedMode, customGroup, oldLedMode};
}

LightInfo LightInfo::fromBytes(const std::array<uint8_t, kSize>& b) {
    LightInfo li;
    li.selectItem = b[0];
    li.light = b[1];
    li.speed = b[2];
    li.fx = b[3];
    li.multiColor = b[4];
    li.red = b[5];
    li.green = b[6];
    li.blue = b[7];
    li.spare = {b[8], b[9], b[10]};
    li.zzccLedMode = b[11];
    li.customGroup = b[12];
    li.oldLedMode = b[13];
    return li;
}

LightInfo LightInfo::fromWords(uint32_t w0, uint32_t w1, uint32_t w2, uint16_t half) {
    std::array<uint8_t, kSize> b{};
    const uint32_t words[3] = {w0, w1, w2};
    for (size_t n = 0; n < 12; ++n)
        b[n] = byteOf(words[n / 4], static_cast<int>(n % 4));
    b[12] = static_cast<uint8_t>(half);
    b[13] = static_cast<uint8_t>(half >> 8);
    return fromBytes(b);
}

void LightInfo::toWords(uint32_t& w0, uint32_t& w1, uint32_t& w2, uint16_t& half) const {
    const auto b = bytes();
    w0 = wordOf(b[0], b[1], b[2], b[3]);
    w1 = wordOf(b[4], b[5], b[6], b[7]);
    w2 = wordOf(b[8], b[9], b[10], b[11]);
    half = static_cast<uint16_t>(b[12] | (b[13] << 8));
}

AudioLightInfo AudioLightInfo::fromWords(uint32_t w0, uint32_t w1, uint8_t last) {
    AudioLightInfo a;
    a.audioMode = byteOf(w0, 0);
    a.bkRed = byteOf(w0, 1);
    a.bkGreen = byteOf(w0, 2);
    a.bkBlue = byteOf(w0, 3);
    a.fgRed = byteOf(w1, 0);
    a.fgGreen = byteOf(w1, 1);
    a.fgBlue = byteOf(w1, 2);
    a.sevenColor = byteOf(w1, 3);
    a.colorType = last;
    return a;
}

void AudioLightInfo::toWords(uint32_t& w0, uint32_t& w1, uint8_t& last) const {
    w0 = wordOf(audioMode, bkRed, bkGreen, bkBlue);
    w1 = wordOf(fgRed, fgGreen, fgBlue, sevenColor);
    last = colorType;
}

bool AudioLightInfo::operator==(const AudioLightInfo& o) const {
    uint32_t a0, a1, b0, b1;
    uint8_t a2, b2;
    toWords(a0, a1, a2);
    o.toWords(b0, b1, b2);
    return a0 == b0 && a1 == b1 && a2 == b2;
}

std::array<int32_t, 8> HeadsetSettings::values() const {
    return {magicEnable, magicType, eqType, customEqSelectIndex, micInSelect, micInValue, micMonitorSelect,
            micMonitorValue};
}

HeadsetSettings HeadsetSettings::fromValues(const std::array<int32_t, 8>& v) {
    HeadsetSettings s;
    s.magicEnable = v[0];
    s.magicType = v[1];
    s.eqType = v[2];
    s.customEqSelectIndex = v[3];
    s.micInSelect = v[4];
    s.micInValue = v[5];
    s.micMonitorSelect = v[6];
    s.micMonitorValue = v[7];
    return s;
}

} // namespace talyx
