#include "keyboard/KeyboardSettings.h"

#include <cstring>

namespace talyx {
namespace {

constexpr int kOptionCount = 4;
constexpr int kDelayUnitMs = 250;

bool optionOf(const std::string& name, const char* prefix, int& option) {
    const size_t len = std::strlen(prefix);
    if (name.size() != len + 1 || name.compare(0, len, prefix) != 0)
        return false;
    const char digit = name[len];
    if (digit < '0' || digit >= '0' + kOptionCount)
        return false;
    option = digit - '0';
    return true;
}

} // namespace

KeyboardSettings KeyboardSettings::FromWords(const std::array<uint32_t, 3>& w) {
    KeyboardSettings s;
    s.repeat = static_cast<uint16_t>(w[0] & 0xFFFF);
    s.repeatDelay = static_cast<uint16_t>(w[0] >> 16);
    s.key6Flag = static_cast<uint16_t>(w[1] & 0xFFFF);
    s.pollingRate = static_cast<uint16_t>(w[1] >> 16);
    s.wFlag = static_cast<uint16_t>(w[2] & 0xFFFF);
    s.winFlag = static_cast<uint16_t>(w[2] >> 16);
    return s;
}

std::array<uint32_t, 3> KeyboardSettings::ToWords() const {
    return {static_cast<uint32_t>(repeat) | (static_cast<uint32_t>(repeatDelay) << 16),
            static_cast<uint32_t>(key6Flag) | (static_cast<uint32_t>(pollingRate) << 16),
            static_cast<uint32_t>(wFlag) | (static_cast<uint32_t>(winFlag) << 16)};
}

bool SettingControlForName(const std::string& name, SettingControl& control, int& option) {
    option = 0;
    if (optionOf(name, kReportRateOptionPrefix, option)) {
        control = SettingControl::ReportRate;
        return true;
    }
    if (optionOf(name, kRepeatDelayOptionPrefix, option)) {
        control = SettingControl::RepeatDelay;
        return true;
    }
    struct Named {
        const char* name;
        SettingControl control;
    };
    static const Named kNamed[] = {{kWinLockOption, SettingControl::WinLock},
                                   {kWFlagOption, SettingControl::WFlag},
                                   {kSixKeyOption, SettingControl::SixKey},
                                   {kRepeatRateSlider, SettingControl::RepeatRate}};
    for (const Named& n : kNamed) {
        if (name == n.name) {
            control = n.control;
            return true;
        }
    }
    return false;
}

void SetSettingValue(KeyboardSettings& s, SettingControl control, int value) {
    const uint16_t v = static_cast<uint16_t>(value);
    const uint16_t flag = value != 0 ? 1 : 0;
    switch (control) {
    case SettingControl::ReportRate:
        s.pollingRate = v;
        break;
    case SettingControl::WinLock:
        s.winFlag = flag;
        break;
    case SettingControl::WFlag:
        s.wFlag = flag;
        break;
    case SettingControl::SixKey:
        s.key6Flag = flag;
        break;
    case SettingControl::RepeatRate:
        s.repeat = v;
        break;
    case SettingControl::RepeatDelay:
        s.repeatDelay = v;
        break;
    }
}

bool SettingReachesKeyboard(SettingControl control) {
    return control != SettingControl::RepeatRate && control != SettingControl::RepeatDelay;
}

int ShownOptionIndex(int stored) {
    return stored >= 0 && stored < kOptionCount ? stored : 0;
}

int RepeatDelayMs(int stored) {
    return ShownOptionIndex(stored) * kDelayUnitMs + kDelayUnitMs;
}

std::string RepeatDelayLabelText(const std::string& translation, int stored) {
    return translation + std::to_string(RepeatDelayMs(stored)) + "ms";
}

} // namespace talyx
