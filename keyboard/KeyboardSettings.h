#pragma once

#include <array>
#include <cstdint>
#include <string>

// The keyboard's system settings: report rate, the three switches and the key-repeat
// values, as the device keeps them, the profile stores them under "SystemStages" and the
// settings tab shows them. The rules here are pure so the page and the tests share them.
namespace talyx {

struct KeyboardSettings {
    uint16_t repeat = 0;      // "Repeat": key-repeat rate, the slider's value
    uint16_t repeatDelay = 0; // "RepeatDelay": 0 to 3 for 250, 500, 750, 1000 ms
    uint16_t key6Flag = 0;    // "Key6Flag": six-key mode, light and settings record byte 20
    uint16_t pollingRate = 0; // "PollingRate": report rate index 0 to 3, record byte 22
    uint16_t wFlag = 0;       // "WFlag": record byte 19
    uint16_t winFlag = 0;     // "WinFlag": Windows-key lock, record byte 21

    // The settings triple: (RepeatDelay << 16) | Repeat, (PollingRate << 16) | Key6Flag,
    // (WinFlag << 16) | WFlag.
    static KeyboardSettings FromWords(const std::array<uint32_t, 3>& words);
    std::array<uint32_t, 3> ToWords() const;
    bool operator==(const KeyboardSettings& o) const { return ToWords() == o.ToWords(); }
};

// The controls of the settings tab.
enum class SettingControl {
    ReportRate,  // options "polling_rate_option_0" to "_3"
    WinLock,     // "winlockflag_option"
    WFlag,       // "wflag_option"
    SixKey,      // "6flag_option"
    RepeatRate,  // "repeat_rate_slider"
    RepeatDelay, // options "repeat_delay_check_0" to "_3"
};

inline constexpr const char* kReportRateOptionPrefix = "polling_rate_option_";
inline constexpr const char* kRepeatDelayOptionPrefix = "repeat_delay_check_";
inline constexpr const char* kWinLockOption = "winlockflag_option";
inline constexpr const char* kWFlagOption = "wflag_option";
inline constexpr const char* kSixKeyOption = "6flag_option";
inline constexpr const char* kRepeatRateSlider = "repeat_rate_slider";
inline constexpr const char* kRepeatDelayLabel = "repeat_delay_time_label1";
inline constexpr const char* kRepeatDelayTextKey = "Repeat_Delay_Time";
inline constexpr const char* kRepeatTestBox = "repeat_input_richedit";
inline constexpr const char* kRepeatTestPromptKey = "Repeat_input_text";
inline constexpr const char* kResetRepeatButton = "reset_repeat_btn";

// The control a settings-tab name stands for; for option groups also the option's index.
// False for any other name.
bool SettingControlForName(const std::string& name, SettingControl& control, int& option);

// Puts a control's new value (option index, switch state 0/1, slider value) into its word.
void SetSettingValue(KeyboardSettings& settings, SettingControl control, int value);

// Whether a change of this control is sent to the keyboard (in the light and settings
// record). The repeat values are the program's own and never reach it.
bool SettingReachesKeyboard(SettingControl control);

// The option shown for a stored report-rate or repeat-delay index: one outside 0 to 3 shows
// as option 0 (the stored value itself is kept and sent unchanged).
int ShownOptionIndex(int stored);

// Milliseconds of a repeat-delay index as shown: (n × 250 + 250), n out of range as 0.
int RepeatDelayMs(int stored);

// The delay label: the translated text, then the milliseconds, then "ms", with no spaces.
std::string RepeatDelayLabelText(const std::string& translation, int stored);

} // namespace talyx
