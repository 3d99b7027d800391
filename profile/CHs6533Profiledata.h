#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "profile/CBasicProfiledata.h"

namespace talyx {

// The headset's profile document: the base members plus the sound settings
// ("SystemSetStages"), the ten-band equaliser of each of the 14 presets, and the
// user's named custom equaliser presets. A band the document lacks reads as 0, a flat
// band, so a preset with missing entries never boosts or cuts anything.
class CHs6533Profiledata : public CBasicProfiledata {
public:
    static constexpr size_t kEqBands = 10;
    static constexpr int kEqPresets = 14;
    using EqBands = std::array<int32_t, kEqBands>;

    HeadsetSettings GetHeadsetSettings();
    void SetHeadsetSettings(const HeadsetSettings& settings);

    // "EQHzValueInfo"[preset]; preset is EqType, 0 to 13.
    EqBands GetEqBands(int preset);
    void SetEqBands(int preset, const EqBands& bands);

    // "CustomEQNameInfo" and "CustomEQHzValueInfo".
    std::vector<std::string> GetCustomEqNames();
    void SetCustomEqNames(const std::vector<std::string>& names);
    EqBands GetCustomEqBands(int index);
    void SetCustomEqBands(int index, const EqBands& bands);

private:
    HeadsetSettings m_settings;
};

} // namespace talyx
