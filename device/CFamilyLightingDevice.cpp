#include "device/CFamilyLightingDevice.h"

#include <algorithm>

#include "platform/Clock.h"
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
    applyAudioColours();
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
    const int effect = EffectForMode(mode);
    SetSoftwareEffect(effect);
    if (effect == kEffectAudio) {
        // The mode starts at rest: the background until the recorder's frames come.
        std::lock_guard<std::mutex> lock(m_frameLock);
        m_audioGain.Reset();
        m_audioFall.Reset();
        m_audioShown = AudioShown{};
        m_audioFrames = false;
        m_audioHeights.assign(m_colours.size(), 0);
        drawAudio(GetTickCount());
    }
}

void CFamilyLightingDevice::applyAudioColours() {
    std::lock_guard<std::mutex> lock(m_frameLock);
    // A profile made before the family had a sound-driven mode has no record: the
    // defaults then, rather than a black record's dark lights.
    if (!m_profile->DeviceEntry().isMember("AudioLightInfo")) {
        m_audioBackground = kAudioDefaultBackground;
        m_audioForeground = kAudioDefaultForeground;
        m_audioWheel = kAudioDefaultWheel;
        return;
    }
    const AudioLightInfo audio = m_profile->GetAudioLightInfo();
    m_audioBackground = LightRgb{audio.bkRed, audio.bkGreen, audio.bkBlue};
    m_audioForeground = LightRgb{audio.fgRed, audio.fgGreen, audio.fgBlue};
    m_audioWheel = audio.sevenColor != 0;
}

void CFamilyLightingDevice::ChangeAudioLighting(const AudioLightInfo& audio) {
    m_profile->SetAudioLightInfo(audio);
    m_profile->SaveProfile();
    applyAudioColours();
}

bool CFamilyLightingDevice::ShowsAudioMode() const {
    return SoftwareEffect() == kEffectAudio;
}

void CFamilyLightingDevice::OnAudioFrame(const AudioInput& input) {
    std::lock_guard<std::mutex> lock(m_frameLock);
    const uint64_t now = GetTickCount();
    m_audioFrameMs = now;
    m_audioShown = m_audioGain.Apply(input, now);
    m_audioFrames = true;
    if (SoftwareEffect() == kEffectAudio)
        drawAudio(now);
}

void CFamilyLightingDevice::OnAudioStopped() {
    std::lock_guard<std::mutex> lock(m_frameLock);
    m_audioShown = AudioShown{};
    m_audioFrames = false;
    m_audioGain.Reset();
    if (SoftwareEffect() == kEffectAudio)
        drawAudio(GetTickCount());
}

void CFamilyLightingDevice::LightStep() {
    if (SoftwareEffect() != kEffectAudio) {
        CKestravaUSBDevice::LightStep();
        return;
    }
    std::lock_guard<std::mutex> lock(m_frameLock);
    drawAudio(GetTickCount());
}

void CFamilyLightingDevice::drawAudio(uint64_t nowMs) {
    const int lights = static_cast<int>(m_colours.size());
    if (static_cast<int>(m_audioHeights.size()) != lights)
        m_audioHeights.assign(m_colours.size(), 0);
    const int fall = m_audioFall.Step(nowMs);
    const bool silent = !m_audioFrames || nowMs - m_audioFrameMs > kAudioStaleMs;
    const int full = BrightnessForLevel(m_brightnessLevel);
    const int rest = full / 4;
    for (int i = 0; i < lights; ++i) {
        const int band = m_audioShown.bands[static_cast<size_t>(AudioBandFor(i, lights))];
        const int target = silent ? 0 : AudioMix(band, m_audioShown.level);
        int& height = m_audioHeights[static_cast<size_t>(i)];
        height = std::max(target, height - fall);
        // Green at rest to red at the top when the lights take the wheel.
        const LightRgb top = m_audioWheel ? WheelColour(64 - height * 60 / 255) : m_audioForeground;
        const auto blend = [height](uint8_t from, uint8_t to) {
            return static_cast<uint8_t>((from * (255 - height) + to * height) / 255);
        };
        m_colours[static_cast<size_t>(i)] =
            LightColour{blend(m_audioBackground.r, top.r), blend(m_audioBackground.g, top.g),
                        blend(m_audioBackground.b, top.b), static_cast<uint8_t>(rest + (full - rest) * height / 255)};
    }
}

} // namespace talyx
