#include "app/AutomationActions.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "keyboard/AssignmentTables.h"
#include "keyboard/KeyAssignmentForm.h"
#include "keyboard/KeyTables.h"

namespace talyx {
namespace {

constexpr const char* kKeyPrefix = "keyboard_key_";
constexpr const char* kModePrefix = "light_mode_";

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::string trimmed(const std::string& s) {
    const size_t a = s.find_first_not_of(" \t");
    if (a == std::string::npos)
        return std::string();
    return s.substr(a, s.find_last_not_of(" \t") - a + 1);
}

std::string withoutPrefix(const char* name, const char* prefix) {
    const std::string n(name);
    const std::string p(prefix);
    return n.compare(0, p.size(), p) == 0 ? n.substr(p.size()) : n;
}

// Words of the rows of the action tables, in their order.
const char* const kMouseWords[5] = {"left", "middle", "right", "forward", "back"};
const char* const kMediaWords[18] = {"player",    "play-pause", "stop",    "previous", "next",       "volume-down",
                                     "volume-up", "mute",       "browser", "refresh",  "web-stop",   "back",
                                     "forward",   "favourites", "search",  "computer", "calculator", "mail"};
const char* const kSystemWords[3] = {"power", "sleep", "wake"};
static_assert(TableSize(kMouseWords) == TableSize(kMouseButtonActions));
static_assert(TableSize(kMediaWords) == TableSize(kMediaActions));
static_assert(TableSize(kSystemWords) == TableSize(kSystemActions));

template <size_t N> int wordRow(const char* const (&words)[N], const std::string& word) {
    for (size_t i = 0; i < N; ++i)
        if (word == words[i])
            return static_cast<int>(i);
    return -1;
}

// The key name row of a plain key by its caption; the plain modifier words stand for the
// left keys.
int plainRowOfName(const std::string& name) {
    std::string n = lower(trimmed(name));
    if (n == "ctrl" || n == "shift" || n == "alt" || n == "win")
        n = "l" + n;
    if (n.empty())
        return -1;
    for (int row = 0; row < kPlainKeyRows; ++row)
        if (lower(withoutPrefix(kKeyNameTable[row].name, kKeyPrefix)) == n)
            return row;
    return -1;
}

} // namespace

int KeySlotOfName(const std::string& name) {
    const int row = plainRowOfName(name);
    if (row < 0)
        return -1;
    for (int slot = 0; slot < kWrittenKeySlots; ++slot)
        if (kKeySlotTable[slot] == kKeyNameTable[row].code)
            return slot;
    return -1;
}

std::string KeyNameOfSlot(int slot) {
    if (slot < 0 || slot >= kKeySlots || kKeySlotTable[slot] == kEmptySlot)
        return std::string();
    const int row = FindKeyNameRow(kKeySlotTable[slot]);
    return row < 0 ? std::string() : withoutPrefix(kKeyNameTable[row].name, kKeyPrefix);
}

bool ParseKeyAction(const std::string& action, uint32_t current, uint32_t defaultCode,
                    const std::vector<std::string>& macroNames, uint32_t& code, std::string& error) {
    const std::string text = trimmed(action);
    const size_t colon = text.find(':');
    const std::string kind = lower(text.substr(0, colon));
    const std::string rest = colon == std::string::npos ? std::string() : trimmed(text.substr(colon + 1));
    const std::string word = lower(rest);
    const int macroCount = static_cast<int>(macroNames.size());
    KeyAssignmentForm form;
    if (colon == std::string::npos) {
        if (kind == "default") {
            code = defaultCode & 0xFFFFFF;
            return true;
        }
        if (kind == "disabled") {
            code = MakeAssignment(kAssignNone, 0, 0);
            return true;
        }
        error = "unknown action '" + text + "'";
        return false;
    }
    if (kind == "key") {
        form.category = kCategoryKeyboardKey;
        std::vector<std::string> parts;
        for (size_t start = 0;;) {
            const size_t plus = rest.find('+', start);
            parts.push_back(rest.substr(start, plus == std::string::npos ? std::string::npos : plus - start));
            if (plus == std::string::npos)
                break;
            start = plus + 1;
        }
        int keys = 0;
        for (const std::string& part : parts) {
            const int row = plainRowOfName(part);
            if (row < 0) {
                error = "unknown key '" + trimmed(part) + "'";
                return false;
            }
            const uint32_t c = kKeyNameTable[row].code;
            form.modifierMask = static_cast<uint8_t>(form.modifierMask | AssignmentHigh(c));
            if (AssignmentLow(c) != 0) {
                if (++keys > 1) {
                    error = "more than one key in '" + rest + "'";
                    return false;
                }
                form.keyUsage = AssignmentLow(c);
            }
        }
    } else if (kind == "mouse") {
        form.category = kCategoryMouseButton;
        form.mouseButton = wordRow(kMouseWords, word);
        if (form.mouseButton < 0) {
            error = "unknown mouse button '" + rest + "'";
            return false;
        }
    } else if (kind == "media") {
        form.category = kCategoryMedia;
        form.media = wordRow(kMediaWords, word);
        if (form.media < 0) {
            error = "unknown media action '" + rest + "'";
            return false;
        }
    } else if (kind == "system") {
        form.category = kCategorySystem;
        form.system = wordRow(kSystemWords, word);
        if (form.system < 0) {
            error = "unknown system action '" + rest + "'";
            return false;
        }
    } else if (kind == "macro") {
        form.category = kCategoryMacro;
        for (int i = 0; i < macroCount && form.macro < 0; ++i)
            if (lower(trimmed(macroNames[i])) == word)
                form.macro = i;
        if (form.macro < 0 || form.macro > 0xFF) {
            error = "no macro named '" + rest + "'";
            return false;
        }
    } else {
        error = "unknown action '" + text + "'";
        return false;
    }
    code = BuildAssignmentCode(form, current, defaultCode, macroCount) & 0xFFFFFF;
    return true;
}

std::string KeyActionName(uint32_t code, const std::vector<std::string>& macroNames) {
    code &= 0xFFFFFF;
    const uint8_t type = AssignmentType(code);
    const uint8_t high = AssignmentHigh(code);
    if (code == 0)
        return "disabled";
    if (type == kAssignKeyboardKey) {
        std::string out;
        for (int row = 0; row < 8; ++row) {
            if (high & AssignmentHigh(kKeyNameTable[row].code)) {
                out += out.empty() ? "" : "+";
                out += withoutPrefix(kKeyNameTable[row].name, kKeyPrefix);
            }
        }
        const int row =
            AssignmentLow(code) ? FindKeyNameRow(MakeAssignment(kAssignKeyboardKey, 0, AssignmentLow(code)), true) : -1;
        if (row >= 0) {
            out += out.empty() ? "" : "+";
            out += withoutPrefix(kKeyNameTable[row].name, kKeyPrefix);
        }
        if (!out.empty() && (row >= 0 || AssignmentLow(code) == 0))
            return "key:" + out;
    }
    if (int row = FindNamedCode(kMouseButtonActions, code); row >= 0)
        return std::string("mouse:") + kMouseWords[row];
    if (int row = FindNamedCode(kMediaActions, code); row >= 0)
        return std::string("media:") + kMediaWords[row];
    if (int row = FindNamedCode(kSystemActions, code); row >= 0)
        return std::string("system:") + kSystemWords[row];
    if ((type == kAssignMacroPlayMode || type == kAssignMacroRepeat) && high < macroNames.size())
        return "macro:" + macroNames[high];
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "code:0x%06X", static_cast<unsigned>(code));
    return buffer;
}

std::string LightModeWord(const PresetLightMode& preset) {
    return withoutPrefix(preset.name.c_str(), kModePrefix);
}

int LightModeOfName(const std::string& name, const std::vector<PresetLightMode>& presets,
                    const std::vector<std::string>& shown) {
    const std::string n = lower(trimmed(name));
    if (n.empty())
        return -1;
    if (std::all_of(n.begin(), n.end(), [](unsigned char c) { return std::isdigit(c); })) {
        const long index = n.size() > 4 ? -1 : std::strtol(n.c_str(), nullptr, 10);
        return index >= 0 && index < static_cast<long>(presets.size()) && presets[index].visible
                   ? static_cast<int>(index)
                   : -1;
    }
    for (size_t i = 0; i < presets.size(); ++i) {
        if (!presets[i].visible)
            continue;
        if (lower(presets[i].name) == n || lower(LightModeWord(presets[i])) == n ||
            (i < shown.size() && lower(trimmed(shown[i])) == n))
            return static_cast<int>(i);
    }
    return -1;
}

bool ParseColour(const std::string& text, uint8_t& red, uint8_t& green, uint8_t& blue) {
    std::string t = trimmed(text);
    if (!t.empty() && t[0] == '#')
        t.erase(0, 1);
    if (t.size() != 6 || !std::all_of(t.begin(), t.end(), [](unsigned char c) { return std::isxdigit(c); }))
        return false;
    const unsigned long v = std::strtoul(t.c_str(), nullptr, 16);
    red = static_cast<uint8_t>(v >> 16);
    green = static_cast<uint8_t>(v >> 8);
    blue = static_cast<uint8_t>(v);
    return true;
}

int ReportRateHz(int stored) {
    static const int kHz[4] = {125, 250, 500, 1000};
    return stored >= 0 && stored < 4 ? kHz[stored] : 0;
}

bool ParseSettingValue(const std::string& name, const std::string& value, SettingControl& control, int& out,
                       std::string& error) {
    const std::string n = lower(trimmed(name));
    const std::string v = lower(trimmed(value));
    char* end = nullptr;
    const long number = v.empty() || v.size() > 6 ? -1 : std::strtol(v.c_str(), &end, 10);
    const bool isNumber = !v.empty() && end && *end == '\0' && number >= 0;
    auto bad = [&](const char* range) {
        error = "bad value '" + value + "' for " + n + " (" + range + ")";
        return false;
    };
    if (n == "report-rate") {
        control = SettingControl::ReportRate;
        for (int i = 0; i < 4; ++i)
            if (isNumber && number == ReportRateHz(i))
                return out = i, true;
        return bad("125, 250, 500 or 1000");
    }
    if (n == "repeat-delay") {
        control = SettingControl::RepeatDelay;
        for (int i = 0; i < 4; ++i)
            if (isNumber && number == RepeatDelayMs(i))
                return out = i, true;
        return bad("250, 500, 750 or 1000");
    }
    if (n == "repeat-rate") {
        control = SettingControl::RepeatRate;
        if (isNumber && number <= 31)
            return out = static_cast<int>(number), true;
        return bad("0 to 31");
    }
    if (n == "win-lock") {
        control = SettingControl::WinLock;
        if (v == "on" || v == "1")
            return out = 1, true;
        if (v == "off" || v == "0")
            return out = 0, true;
        return bad("on or off");
    }
    error = "unknown setting '" + name + "'";
    return false;
}

} // namespace talyx
