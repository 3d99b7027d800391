#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "keyboard/KeyboardSettings.h"
#include "profile/DefaultLightNames.h"

// The words of the automation interface: key names, actions, lighting modes and settings
// as scripts write them, turned into what the key page, the lighting page and the
// settings tab would choose. Plain functions, so the command line's words are tested
// without a bus.
namespace talyx {

// The key slot of a key by its caption ("A", "F1", "Esc", "Space"), compared without
// regard to case; -1 when no written slot carries that key.
int KeySlotOfName(const std::string& name);
// The caption of a slot's key ("A"), empty when it has none.
std::string KeyNameOfSlot(int slot);

// An action as scripts write it:
//   key:NAME[+NAME...]   a keyboard key with modifiers, e.g. key:B, key:Ctrl+C, key:RShift
//   mouse:left|middle|right|forward|back
//   media:play-pause|stop|previous|next|volume-up|volume-down|mute|player|browser|refresh|
//         web-stop|back|forward|favourites|search|computer|calculator|mail
//   system:power|sleep|wake
//   macro:NAME           a macro of the library, played once
//   disabled             the key does nothing
//   default              the key's own function
// Turned into an assignment code through the key page's form. False, with `error`, for a
// word it does not know.
bool ParseKeyAction(const std::string& action, uint32_t current, uint32_t defaultCode,
                    const std::vector<std::string>& macroNames, uint32_t& code, std::string& error);
// The words of an assignment code; "code:0xXXXXXX" for a code no word stands for.
std::string KeyActionName(uint32_t code, const std::vector<std::string>& macroNames);

// The preset position of a lighting mode given by its name ("static", the language key
// "light_mode_static", or its shown text `shown[i]`) or by its position; only shown
// presets count. -1 when there is none.
int LightModeOfName(const std::string& name, const std::vector<PresetLightMode>& presets,
                    const std::vector<std::string>& shown);
// "static" for "light_mode_static".
std::string LightModeWord(const PresetLightMode& preset);

// "RRGGBB" or "#RRGGBB" into its bytes; false for anything else.
bool ParseColour(const std::string& text, uint8_t& red, uint8_t& green, uint8_t& blue);

// A settings value as scripts write it, into the value the settings tab's control takes:
//   report-rate   125|250|500|1000 (Hz)      repeat-delay  250|500|750|1000 (ms)
//   repeat-rate   0 to 31                    win-lock      on|off|1|0
// False, with `error`, for an unknown name or a value out of range.
bool ParseSettingValue(const std::string& name, const std::string& value, SettingControl& control, int& out,
                       std::string& error);
// The report rate in Hz of a stored index (0 when unknown).
int ReportRateHz(int stored);

} // namespace talyx
