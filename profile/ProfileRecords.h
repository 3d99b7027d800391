#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// The in-memory records a profile document is read into. Field order and widths are
// those the device code packs and sends; values wider than a field are cut to its
// width when read (a stored brightness of 300 becomes 300 & 0xFF = 44).
namespace talyx {

// The current lighting effect ("LightInfo"). Fourteen bytes; the device code hands it
// over as three 32-bit words and one 16-bit word, little-endian, so byte n of the record
// is byte (n mod 4) of word n / 4.
struct LightInfo {
    uint8_t selectItem = 0; // "SelectItem": position in the family's preset list
    uint8_t light = 0;      // "Light": brightness level 0-4
    uint8_t speed = 0;      // "Speed": 0-4, 4 fastest
    uint8_t fx = 0;         // "Fx": direction, 1 forward
    uint8_t multiColor = 0; // "MultiColor": colours from the wheel instead of red/green/blue
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
    std::array<uint8_t, 3> spare{}; // bytes 8-10: the device code's own, never in the file
    uint8_t zzccLedMode = 0;        // "ZZCCLedMode": extra mode byte, passed through to the keyboard
    uint8_t customGroup = 0;        // "CustomGroup": per-key colour page of the custom mode
    uint8_t oldLedMode = 0;         // "OldLedmode"

    static constexpr size_t kSize = 14;
    std::array<uint8_t, kSize> bytes() const;
    static LightInfo fromBytes(const std::array<uint8_t, kSize>& b);
    // Packing used by the setters: words w0..w2 carry bytes 0-11, half carries 12-13.
    static LightInfo fromWords(uint32_t w0, uint32_t w1, uint32_t w2, uint16_t half);
    void toWords(uint32_t& w0, uint32_t& w1, uint32_t& w2, uint16_t& half) const;
    bool operator==(const LightInfo& o) const { return bytes() == o.bytes(); }
};

// Audio-reactive lighting ("AudioLightInfo"), nine bytes: two 32-bit words and one byte.
struct AudioLightInfo {
    uint8_t audioMode = 0;
    uint8_t bkRed = 0, bkGreen = 0, bkBlue = 0; // background colour
    uint8_t fgRed = 0, fgGreen = 0, fgBlue = 0; // foreground colour
    uint8_t sevenColor = 0;                     // "7ColorFlags"
    uint8_t colorType = 0;                      // "ColorTypeFlags": 1 while the foreground is edited

    static AudioLightInfo fromWords(uint32_t w0, uint32_t w1, uint8_t last);
    void toWords(uint32_t& w0, uint32_t& w1, uint8_t& last) const;
    bool operator==(const AudioLightInfo& o) const;
};

// One lighting zone of "LightList". A null array element is a zone the document leaves
// out: all fields 0 and present = 0; it is written back as null.
struct LedZone {
    uint8_t regMode = 0;    // "LEDREGMode"
    uint8_t brightness = 0; // "LEDBrightness"
    uint8_t speed = 0;      // "LEDSpeed"
    uint8_t direction = 0;  // "LEDDirection"
    uint8_t multiColor = 0; // "LEDMultiColor"
    uint8_t red = 0, green = 0, blue = 0;
    std::array<uint8_t, 2> spare{}; // not in the file
    uint8_t present = 0;            // 1 when the array element is an object
};

// One key of "KeyList", at array index = key position. Codes are 24 bits: type in
// bits 16-23, high byte, low byte.
struct KeyRecord {
    uint16_t index = 0;
    uint8_t type = 0, high = 0, low = 0;
    uint16_t defaultIndex = 0;
    uint8_t defaultType = 0, defaultHigh = 0, defaultLow = 0;

    uint32_t code() const { return (uint32_t(type) << 16) | (uint32_t(high) << 8) | low; }
    uint32_t defaultCode() const {
        return (uint32_t(defaultType) << 16) | (uint32_t(defaultHigh) << 8) | defaultLow;
    }
    void setCode(uint32_t c) {
        type = uint8_t(c >> 16);
        high = uint8_t(c >> 8);
        low = uint8_t(c);
    }
};

// One per-key custom colour, 4 bytes in the order red, green, blue, alpha.
struct KeyColour {
    uint8_t red = 0, green = 0, blue = 0, alpha = 0;
    bool operator==(const KeyColour& o) const {
        return red == o.red && green == o.green && blue == o.blue && alpha == o.alpha;
    }
};

// One step of a user-made effect file (".light").
struct EffectStep {
    uint8_t regMode = 0, brightness = 0, speed = 0, direction = 0, multiColor = 0;
    uint8_t red = 0, green = 0, blue = 0;
    uint32_t time = 0; // "Time"
    uint32_t cycle = 0; // "Cyle" (the stored key is spelled so)
};

// One mouse DPI stage.
struct DpiStage {
    uint8_t active = 0; // "StageActive"
    uint8_t xy = 0;     // "StageXY": 1 when X and Y resolutions are set apart
    uint16_t dpiX = 0, dpiY = 0;
    uint8_t red = 0, green = 0, blue = 0;
};

// One mouse sensor-correction entry of "CorrectInfo".
struct CorrectEntry {
    int32_t pixThresh = 0; // "CorrectPixThresh"
    int32_t minSq = 0;     // "CorrectMinSq"
    int32_t select = 0;    // "CorrectSelect"
    std::string name;      // "CorrectName"
};

// The headset's "SystemSetStages", eight 32-bit values in this order.
struct HeadsetSettings {
    int32_t magicEnable = 0, magicType = 0, eqType = 0, customEqSelectIndex = 0;
    int32_t micInSelect = 0, micInValue = 0, micMonitorSelect = 0, micMonitorValue = 0;

    std::array<int32_t, 8> values() const;
    static HeadsetSettings fromValues(const std::array<int32_t, 8>& v);
};

using KeyList = std::vector<KeyRecord>;

} // namespace talyx
