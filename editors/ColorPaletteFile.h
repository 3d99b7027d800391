#pragma once

#include <array>
#include <cstdint>
#include <string>

#include <json/value.h>

namespace talyx {

// The colour picker's swatches as the user left them: 20 presets with the last one
// chosen, and 20 collected colours the user fills, with the one selected. One file for
// every device family, since the picker serves them all: "color_option_info.config"
// directly in the product's per-user folder.
//
// File layout ("coloroptioninfo"): "palletDialogcoloroption" and
// "palletDialogcollectcoloroption" are arrays of objects whose "color" is the ARGB value
// written as a signed decimal (so opaque colours are negative) and read back as the same
// 32 bits; collected slots carry "UserData" "1" when filled. "..._selectitem" hold the
// two selections (the collected one absent when none).
//
// The file is outside data: text where numbers go, short arrays, out-of-range selections
// and damaged files are read as the defaults for what is wrong, and a damaged file is
// kept aside before a good one replaces it.
struct ColourPalette {
    static constexpr int kSwatches = 20;
    static constexpr int kDefaultPreset = 4;

    std::array<uint32_t, kSwatches> presets{};
    int presetSelected = kDefaultPreset;
    std::array<uint32_t, kSwatches> collected{};
    std::array<bool, kSwatches> filled{};
    int collectedSelected = -1; // none

    // The built-in palette, used when neither the user's nor the shipped file is readable.
    static ColourPalette BuiltIn();
    // The values of a file's document; what is missing or wrong comes from `defaults`.
    static ColourPalette FromJson(const Json::Value& document, const ColourPalette& defaults);
    // Writes the values into a document, keeping whatever else it holds.
    void ToJson(Json::Value& document) const;
};

// "%d" of the 32 bits, and back: a decimal from -2147483648 to 4294967295 (nothing
// else, no trailing text) gives those 32 bits; false otherwise.
std::string ColourToText(uint32_t argb);
bool ColourFromText(const std::string& text, uint32_t& argb);

// A colour field's text as a component: its leading decimal digits (none gives 0), held to
// 0..255 without overflow however many digits there are.
int ColourComponentFromText(const std::string& text);

class ColourPaletteFile {
public:
    static constexpr const char* kFileName = "color_option_info.config";

    // The user's file and the shipped default ("DefaultData/" of the program data).
    ColourPaletteFile(std::string userPath, std::string defaultPath);
    // The places the program uses.
    static ColourPaletteFile ForUser();

    // The user's palette. When the user's file cannot be read, the shipped default is
    // read (the built-in palette when that fails too) and written to the user's place.
    ColourPalette Load();
    // Reads the file, writes the palette into it and writes it back (atomically).
    bool Save(const ColourPalette& palette);

    const std::string& UserPath() const { return m_userPath; }

private:
    std::string m_userPath;
    std::string m_defaultPath;
};

} // namespace talyx
