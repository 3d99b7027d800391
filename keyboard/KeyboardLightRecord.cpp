#include "keyboard/KeyboardLightRecord.h"

#include <algorithm>

namespace talyx {
namespace {

constexpr int kMaxSpeed = 4;

enum RecordByte : size_t {
    kIndex = 0,
    kMode = 1,
    kBrightness = 2,
    kSpeed = 3,
    kDirection = 4,
    kMultiColor = 5,
    kRed = 6,
    kGreen = 7,
    kBlue = 8,
    kZero = 16,
    kExtraMode = 18,
    kWFlag = 19,
    kSixKey = 20,
    kWinLock = 21,
    kReportRate = 22,
    kCustomGroup = 25,
};

} // namespace

int ModeValueOfPreset(int selectItem, const std::vector<int>& modeValues) {
    if (selectItem >= 0 && selectItem < static_cast<int>(modeValues.size()))
        return modeValues[static_cast<size_t>(selectItem)];
    return selectItem;
}

uint8_t ModeWireValue(int modeValue) {
    if (modeValue == 29 || modeValue == 30)
        return kHostLightingMode;
    return static_cast<uint8_t>(modeValue);
}

LightRecordBytes EncodeLightRecord(const LightRecordBytes& kept, uint8_t value, const LightInfo& light,
                                   const KeyboardSettings& settings, const std::vector<int>& modeValues) {
    LightRecordBytes r = kept;
    r[kIndex] = value;
    r[kMode] = ModeWireValue(ModeValueOfPreset(light.selectItem, modeValues));
    r[kBrightness] = light.light;
    // The keyboard counts its speed the other way round: 0 is its fastest.
    r[kSpeed] = static_cast<uint8_t>(kMaxSpeed - std::min<int>(light.speed, kMaxSpeed));
    r[kDirection] = light.fx;
    r[kMultiColor] = light.multiColor;
    r[kRed] = light.red;
    r[kGreen] = light.green;
    r[kBlue] = light.blue;
    r[kZero] = 0;
    r[kExtraMode] = light.zzccLedMode;
    r[kWFlag] = static_cast<uint8_t>(settings.wFlag);
    r[kSixKey] = static_cast<uint8_t>(settings.key6Flag);
    r[kWinLock] = static_cast<uint8_t>(settings.winFlag);
    r[kReportRate] = static_cast<uint8_t>(settings.pollingRate);
    r[kCustomGroup] = light.customGroup;
    return r;
}

void DecodeLightRecord(const LightRecordBytes& r, const std::vector<int>& modeValues, LightInfo& light,
                       KeyboardSettings& settings) {
    const auto found = std::find(modeValues.begin(), modeValues.end(), static_cast<int>(r[kMode]));
    if (found != modeValues.end())
        light.selectItem = static_cast<uint8_t>(found - modeValues.begin());
    light.light = r[kBrightness];
    light.speed = static_cast<uint8_t>(r[kSpeed] <= kMaxSpeed ? kMaxSpeed - r[kSpeed] : 0);
    light.fx = r[kDirection];
    light.multiColor = r[kMultiColor] ? 1 : 0;
    light.red = r[kRed];
    light.green = r[kGreen];
    light.blue = r[kBlue];
    light.zzccLedMode = r[kExtraMode];
    light.customGroup = r[kCustomGroup];
    settings.wFlag = r[kWFlag];
    settings.key6Flag = r[kSixKey];
    settings.winFlag = r[kWinLock];
}

} // namespace talyx
