#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// What a key button of the keyboard page shows for the assignment it carries: language
// keys that the page turns into display text (then joins with "+"), or, for a macro, the
// macro's own name.
namespace talyx {

inline constexpr const char* kNoActionCaption = "close_text";

struct KeyCaption {
    // Language keys, shown joined with "+" (a key with modifiers: "keyboard_key_LCtrl",
    // "keyboard_key_C"). Empty when `text` is used or nothing is known about the code.
    std::vector<std::string> keys;
    // Literal text (a macro's name); shown as it is.
    std::string text;
    bool operator==(const KeyCaption& o) const { return keys == o.keys && text == o.text; }
};

// The caption of an assignment code. `macroNames` is the macro library in list order; a
// macro code whose number is not in it shows the caption of `defaultCode`, since that is
// what the keyboard will be given.
KeyCaption CaptionForAssignment(uint32_t code, uint32_t defaultCode, const std::vector<std::string>& macroNames);

// The display text: each language key translated, joined with "+"; or the literal text.
std::string CaptionText(const KeyCaption& caption, const std::function<std::string(const std::string&)>& translate);

} // namespace talyx
