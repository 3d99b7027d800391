#pragma once

#include <string>
#include <vector>

// The built-in lighting effects of each device family, read from the shipped
// "default_light.json". Rows are indexed by the family index (0 mouse, 1 keyboard,
// 2 mouse pad, 3 headset); entry i of a row is lighting mode i of that family.
namespace talyx {

struct PresetLightMode {
    std::string name; // language key of the mode's name
    bool visible = false;
    int value = 0; // mode value sent to the device
};

// "DefaultLightName"[row]; empty when the file or the row is missing.
std::vector<PresetLightMode> ReadPresetLightModes(int row, const std::string& path);
// "AreaLightName"[row]: the names of the lighting zones.
std::vector<std::string> ReadAreaLightNames(int row, const std::string& path);

} // namespace talyx
