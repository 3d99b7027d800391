#pragma once

#include <array>
#include <string>

namespace talyx {

// The four named colour styles of the sound-driven lighting, kept in "AudioFile.json"
// under "AudioLightInfo" (the file's other parts, such as "Device", are kept as they are).
// Each colour component is 0 to 9.
struct AudioStyles {
    static constexpr int kStyles = 4;
    static constexpr int kComponentMax = 9;
    static constexpr size_t kNameMax = 32; // bytes of UTF-8 kept of a name
    int selected = 0;
    std::array<std::string, kStyles> names{"Style 1", "Style 2", "Style 3", "Style 4"};
    std::array<std::array<int, 3>, kStyles> colours{{{9, 0, 0}, {0, 9, 0}, {0, 0, 9}, {9, 9, 9}}};

    // A style's colour as the lights take it, 0 to 255 per component.
    std::array<int, 3> LightColour(int style) const;
};

// The file is outside input: a selection or component out of range is clamped, a name
// that is no string keeps the default, a long one is cut at a character boundary.
class AudioStyleFile {
public:
    static constexpr const char* kFileName = "AudioFile.json";
    // The user's copy (in the product's data folder) and the program's (beside the
    // program, in DefaultData) that stands in until the user has saved one.
    AudioStyleFile(std::string userPath, std::string programPath);
    static AudioStyleFile ForUser();
    AudioStyles Load() const;
    // Into the user's copy, atomically. False when it cannot be written.
    bool Save(const AudioStyles& styles) const;
    const std::string& UserPath() const { return m_user; }

private:
    std::string m_user;
    std::string m_program;
};

} // namespace talyx
