#pragma once

#include <memory>
#include <string>
#include <vector>

#include "device/CKestravaUSBDevice.h"
#include "profile/CBasicProfiledata.h"
#include "profile/DefaultLightNames.h"
#include "profile/ProfileOperations.h"

namespace talyx {

// The devices whose protocol beyond the shared command exchange is not known here (the
// mouse, the mouse pad, the headset): their lighting is the program's own software
// effects, streamed as frames, chosen by the selected profile's "LightInfo". Nothing is
// sent to them that the shared exchange does not define.
class CFamilyLightingDevice : public CKestravaUSBDevice, public IProfileTarget {
public:
    // One row per mode value: the software effect that shows it.
    struct ModeEffect {
        int modeValue;
        int effect; // a SoftwareEffect
    };

    CFamilyLightingDevice(std::unique_ptr<CBasicProfiledata> profile, std::vector<ModeEffect> effects);

    // Loads the family's selected profile (making the profile list and the document when
    // missing) and shows its lighting. False when no document could be had.
    bool LoadProfile();
    // Loads the profile document of this UUID from the family's folder and shows its
    // lighting: 0, or -1 when no document could be had (the lighting stays).
    int ApplyProfile(const std::string& uuid) override;
    // The family's per-user folder (no trailing slash).
    std::string ProfileFolder() const;
    // A lighting change from the lighting page: kept in the profile (saved) and shown.
    void ChangeLighting(const LightInfo& light);
    LightInfo CurrentLightInfo() const { return m_light; }
    // The modes the lighting page offers for this family ("default_light.json").
    const std::vector<PresetLightMode>& PresetModes() const { return m_presets; }
    // The effect a mode value is shown with; static for a value without a row.
    int EffectForMode(int modeValue) const;
    CBasicProfiledata& Profile() { return *m_profile; }

protected:
    void applyLighting();

    std::unique_ptr<CBasicProfiledata> m_profile;
    std::vector<ModeEffect> m_effects;
    std::vector<PresetLightMode> m_presets;
    LightInfo m_light;
};

// The mode values of the mouse pad and the headset and their effects.
const std::vector<CFamilyLightingDevice::ModeEffect>& PadAndHeadsetEffects();

} // namespace talyx
