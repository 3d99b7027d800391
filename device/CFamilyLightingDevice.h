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
//
// A family whose mode table has a row for kEffectAudio lights up with sound in that mode:
// the recorder's frames go through the automatic gain and the meter's fall shared with the
// keyboard (device/AudioGain) and are drawn at once, so the next frame sent shows them.
// Each light shows a band, the lowest on the first light, mixed with the level: in the
// foreground colour (or the colour wheel, green to red as it rises), blended over the
// background colour at a quarter of the brightness, which is all the lights show in
// silence. The colours are the profile's "AudioLightInfo".
class CFamilyLightingDevice : public CKestravaUSBDevice, public IProfileTarget {
public:
    // The families' own effect beyond the base's software effects: sound-driven lights.
    static constexpr int kEffectAudio = kEffectDark + 1;

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
    // The audio-lighting record (colours of the sound-driven mode): kept in the profile
    // (saved) and shown.
    void ChangeAudioLighting(const AudioLightInfo& audio);

    bool ShowsAudioMode() const override;
    void OnAudioFrame(const AudioInput& input) override;
    void OnAudioStopped() override;
    // The sound-driven mode steps the meter's fall (frames that stop coming sink to the
    // background); the other effects as the base runs them.
    void LightStep() override;

protected:
    void applyLighting();
    void applyAudioColours();
    // Draws the meter into the lights (caller holds the frame lock).
    void drawAudio(uint64_t nowMs);

    std::unique_ptr<CBasicProfiledata> m_profile;
    std::vector<ModeEffect> m_effects;
    std::vector<PresetLightMode> m_presets;
    LightInfo m_light;

    // The sound-driven mode's state, guarded by the frame lock (the interface thread
    // gives frames, the light thread steps the fall).
    AudioGain m_audioGain;
    AudioFall m_audioFall;
    AudioShown m_audioShown;
    uint64_t m_audioFrameMs = 0;
    bool m_audioFrames = false; // frames have come since the mode or the recorder started
    std::vector<int> m_audioHeights;
    LightRgb m_audioBackground = kAudioDefaultBackground;
    LightRgb m_audioForeground = kAudioDefaultForeground;
    bool m_audioWheel = kAudioDefaultWheel;
};

// The mode values of the mouse pad and the headset and their effects.
const std::vector<CFamilyLightingDevice::ModeEffect>& PadAndHeadsetEffects();

} // namespace talyx
