#include "device/CFamilyLightingDevice.h"

#include "platform/Paths.h"
#include "profile/ProfileFiles.h"
#include "profile/ProfileList.h"

namespace talyx {

// Breathing (2), static (3), blinking (4), the colour cycle (1) and dark (8), as the
// synchronised lighting names them; the wave (0) shows as the colour cycle.
const std::vector<CFamilyLightingDevice::ModeEffect>& PadAndHeadsetEffects() {
    static const std::vector<CFamilyLightingDevice::ModeEffect> effects = {
        {0, CKestravaUSBDevice::kEffectColourWheel}, {1, CKestravaUSBDevice::kEffectColourWheel},
        {2, CKestravaUSBDevice::kEffectBreathing},   {3, CKestravaUSBDevice::kEffectStatic},
        {4, CKestravaUSBDevice::kEffectBlinking},    {8, CKestravaUSBDevice::kEffectDark}};
    return effects;
}

CFamilyLightingDevice::CFamilyLightingDevice(std::unique_ptr<CBasicProfiledata> profile,
                                             std::vector<ModeEffect> effects)
    : m_profile(std::move(profile)), m_effects(std::move(effects)) {}

int CFamilyLightingDevice::EffectForMode(int modeValue) const {
    for (const ModeEffect& e : m_effects)
        if (e.modeValue == modeValue)
            return e.effect;
    return kEffectStatic;
}

std::string CFamilyLightingDevice::ProfileFolder() const {
    std::string folder = UserFolder();
    if (!folder.empty() && folder.back() == '/')
        folder.pop_back();
    return folder;
}

bool CFamilyLightingDevice::LoadProfile() {
    ProfileList list(ProfileFolder());
    list.Initialise();
    return ApplyProfile(list.CurrentUUID()) == 0;
}

int CFamilyLightingDevice::ApplyProfile(const std::string& uuid) {
    if (m_presets.empty())
        m_presets = ReadPresetLightModes(FamilyIndex(), JoinPath(ProgramDataDir(), "DefaultData/default_light.json"));
    if (uuid.empty())
        return -1;
    m_profile->SetDefaultPath(DefaultProfilePath());
    m_profile->SetProfilePath(ProfileDocumentPath(ProfileFolder(), uuid));
    if (m_profile->LoadDeviceEntry().isNull())
        return -1;
    m_light = m_profile->GetLightInfo();
    applyLighting();
    return 0;
}

void CFamilyLightingDevice::ChangeLighting(const LightInfo& light) {
    m_light = light;
    m_profile->SetLightInfo(light);
    m_profile->SaveProfile();
    applyLighting();
}

void CFamilyLightingDevice::applyLighting() {
    const int mode = m_light.selectItem < m_presets.size() ? m_presets[m_light.selectItem].value : m_light.selectItem;
    SetLightingValues(m_light.light, m_light.speed, m_light.fx, m_light.multiColor);
    SetCustomColour(m_light.red, m_light.green, m_light.blue);
    ResetEffectState();
    SetSoftwareEffect(EffectForMode(mode));
}

} // namespace talyx
