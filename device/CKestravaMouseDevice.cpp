#include "device/CKestravaMouseDevice.h"

#include "profile/CMouseProfiledata.h"

namespace talyx {

// The mouse's mode values and the effects that show them. Breathing (2), static (3),
// blinking (4), the colour cycle (1) and dark (10) are the modes the lighting of several
// devices is synchronised by; music (11) lights up with sound; the others show as their
// nearest software effect.
CKestravaMouseDevice::CKestravaMouseDevice()
    : CFamilyLightingDevice(std::make_unique<CMouseProfiledata>(), {{0, kEffectColourWheel},
                                                                    {1, kEffectColourWheel},
                                                                    {2, kEffectBreathing},
                                                                    {3, kEffectStatic},
                                                                    {4, kEffectBlinking},
                                                                    {5, kEffectBlinkingFourColours},
                                                                    {7, kEffectBreathingFourColours},
                                                                    {8, kEffectBreathing},
                                                                    {10, kEffectDark},
                                                                    {11, kEffectAudio}}) {}

} // namespace talyx
