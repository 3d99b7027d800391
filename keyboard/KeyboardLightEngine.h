#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <vector>

#include "device/AudioGain.h"
#include "device/LightEffect.h"
#include "device/LightTables.h"
#include "keyboard/KeyTables.h"
#include "keyboard/KeyboardLightTables.h"

namespace talyx {

// The lighting values the engine animates: the device's mode value and the profile's
// brightness level, speed, direction, seven-colour flag and fixed colour.
struct KeyboardLightSetting {
    int mode = 0;            // mode value (1 to 30; 0 and unknown values are dark)
    int brightness = 4;      // level 0 to 4
    int speed = 2;           // 0 to 4, 4 fastest
    bool forward = true;     // "Fx"
    bool multiColor = false; // colours from the wheel instead of the fixed colour
    LightRgb colour{255, 255, 255};
};

// A per-key overlay: one key (slot) runs its own little effect on top of the mode.
struct SlotEffect {
    // 0 breathes the key, 1 holds the colour, 2 blinks it, 3 cycles it through the wheel.
    uint8_t mode = 0;
    uint8_t brightness = 4; // level 0 to 4
    uint8_t speed = 2;      // 0 to 4
    uint8_t direction = 1;  // the colour cycle runs backwards with 0
    uint8_t multiColor = 0;
    uint8_t red = 0, green = 0, blue = 0;
    bool enabled = false;
};

// One frame: red, green, blue and alpha (brightness 0 to 255) for each of the 170 slots.
using KeyFrame = std::array<LightColour, kKeySlots>;

// The keyboard's lighting engine: computes one colour per key slot at the pace of the light
// thread.
//
// What the modes show (by mode value; "wheel" means the hue wheel with the seven-colour
// flag, else the fixed colour):
//   1  wave across the columns          16  a long rainbow snake along the path (keyboard)
//   2  fast wave across the columns     17  four coloured blocks of columns moving on (kb.)
//   3  wave along the path              18  waves running in from both edges (keyboard)
//   4  whole keyboard through the wheel 19  a double heartbeat pulse
//   5  breathing                        20  the per-key colours (keyboard)
//   6  static                           21  bright bands falling down the rows
//   7  pressed keys light up (keyboard) 22  fireworks: rings bursting from random keys
//   8  ripple rings from pressed keys   23  blink
//      (keyboard)
//   9  ripples along the pressed key's  24  vortex: the wheel turning round the middle
//      row and column (keyboard)        25  pressed keys light up and send a ripple
//  10  sparkles on the main block       26  breathing through the four colours
//  11  every key on its own hue         27  blink through the four colours
//  12  rainbow rows                     28  dark
//  13  rain falling down the columns    29  sound bars (the audio level from outside)
//  14  diagonal flow                    30  ambient: a slow drifting glow
//  15  meteor with a fading tail
// "(keyboard)": the keyboard renders the mode itself; the frame only paints the page.
//
// The engine does no I/O: the keyboard device feeds it settings and key events, and
// streams or shows the frame it computes.
//
// Layers: the mode routine (Step) writes the base frame; the overlays (Overlays) put the
// per-key effects on top, fade a new mode in, and keep slots without a key dark. The frame
// the device sends is base plus overlays, recomposed whenever either moves.
//
// Time comes from platform/Clock.h (blink periods, overlay ticks); randomness from a
// seedable generator, so two engines with one seed compute the same frames.
//
// Thread-safe: the light thread steps it, the listener feeds key events and the
// user-interface thread applies settings and reads frames, each under the engine's lock.
class KeyboardLightEngine {
public:
    // One tick of the light thread, in microseconds (1/64 s).
    static constexpr uint64_t kTickMicros = 15625;
    // Fade-in of a new mode, alpha added per tick (full after five ticks, ~80 ms).
    static constexpr int kRampPerTick = 51;
    static constexpr int kMaxRipples = 12;
    static constexpr int kMaxBursts = 6;
    static constexpr int kSparklesPerStep = 6;
    static constexpr int kBarFallMs = AudioFall::kFallMs;
    static constexpr uint64_t kAudioStaleMs = talyx::kAudioStaleMs;

    explicit KeyboardLightEngine(uint32_t seed = 0x7A1F5EEDu);

    // Restarts the random sequence (tests pass a fixed seed).
    void SetSeed(uint32_t seed);

    // Takes new values. When the mode differs from the current one, or is the custom mode
    // 20 (whose colours are re-read each time it is entered), the engine's per-key state is
    // reset and the mode's start routine runs. True when that happened.
    bool Apply(const KeyboardLightSetting& setting);
    // Resets the per-key state and runs the current mode's start routine.
    void Restart();
    KeyboardLightSetting Setting() const;

    // Ticks between two steps of the current mode at its speed (0: every pass).
    int Pace() const;
    // One step of the current mode's routine.
    void Step();
    // Advances the per-key overlays by the ticks elapsed since the last call (any call
    // rate works: the overlays keep their own time) and recomposes the frame.
    void Overlays();
    // True while the overlays change on their own from tick to tick (a mode fading in, a
    // per-key effect running), so they are worth running every tick.
    bool WantsEachTick() const;

    // A key of the keyboard itself was pressed (state 1) or released (state 2); `slot` is
    // the key's slot. Only the reactive modes (7, 8, 9, 25) take key events.
    void KeyEvent(int slot, int state);

    void SetSlotEffect(int slot, const SlotEffect& effect);
    SlotEffect GetSlotEffect(int slot) const;
    void ClearSlotEffects();

    // Colours of the custom per-key mode (20), by slot.
    void SetCustomColours(const std::array<LightRgb, kKeySlots>& colours);
    void SetCustomColour(int slot, const LightRgb& colour);
    std::array<LightRgb, kKeySlots> CustomColours() const;

    // Slots that hold a key on this keyboard; the others are kept dark. Until this is
    // called every slot counts as present.
    void SetPresentSlots(const std::array<bool, kKeySlots>& present);

    // The music mode (29): bars that rise with the sound over the background colour and
    // sink back (a full bar in kBarFallMs) when it stops.
    // A level already scaled for the lights (0 to 255), without bands: every bar follows it.
    void SetAudioLevel(uint8_t level);
    // One frame of the audio recorder: the level and bands pass through the engine's
    // automatic gain; the bars spread the bands from the lowest on the left to the highest
    // on the right, with the level lifting them all a little. In the music mode the frame
    // is redrawn at once, so the next frame sent shows the sound without waiting for the
    // light thread's step. Frames that stop coming for kAudioStaleMs count as silence.
    void SetAudioFrame(const AudioInput& input);
    // The recorder is gone: silence, and the gain starts afresh.
    void ClearAudio();
    // Background, bars, and whether the bars take the colour wheel instead.
    void SetAudioColours(const LightRgb& background, const LightRgb& foreground, bool wheel);
    AudioShown ShownAudio() const;

    // Writes one slot's colour straight into the frame (lighting driven from outside, such
    // as the synchronised effects of several devices).
    void SetSlotColour(int slot, const LightColour& colour);
    LightColour SlotColour(int slot) const;

    // The frame to send or show, and the mode routine's own output beneath the overlays.
    KeyFrame Frame() const;
    KeyFrame BaseFrame() const;

    // State, for the tests and the page.
    int Phase() const;       // the shared step index of the current mode
    int ColourIndex() const; // the colour index of the breathing and blinking modes
    uint8_t Intensity(int slot) const;

    // Modes the keyboard animates by itself: the program streams no frame for them; its
    // frame only paints the page's light buttons.
    static bool KeyboardRenders(int mode);

private:
    struct Ripple {
        int column;
        int row;
        int age;
        int wheel;
    };
    struct Drop {
        int head;
        int wheel;
    };
    struct Burst {
        int column;
        int row;
        int age;
        int wheel;
    };
    struct OverlayState {
        int step = 0;
        int wheel = 0;
        bool on = true;
        uint64_t lastBlink = 0;
    };

    using Routine = void (KeyboardLightEngine::*)();
    struct ModeRoutine {
        int mode;
        Routine step;
        Routine start;
    };
    static const ModeRoutine kRoutines[];
    const ModeRoutine* routineFor(int mode) const;

    uint32_t random();
    int randomBelow(int n);
    uint8_t level() const;
    LightRgb colourOf(int wheelIndex) const;
    void setBase(int slot, const LightRgb& rgb, int alpha);
    void clearBase();
    void stepShared(int limit);
    // One step of a shared effect into every slot; limit is the range of its step (0: none).
    void uniformStep(LightEffectKind kind, int limit);
    void restartLocked();
    void compose();

    // Mode routines.
    void stepDark();
    void stepWaveColumns();
    void stepFastWave();
    void stepPathWave();
    void stepColourCycle();
    void stepBreathing();
    void stepBreathingFour();
    void stepStatic();
    void stepReactive();
    void stepRipple();
    void stepReactiveRipple();
    void stepSparkle();
    void stepAurora();
    void stepRainbowRows();
    void stepRain();
    void stepFlow();
    void stepMeteor();
    void stepTrail();
    void stepZones();
    void stepConverge();
    void stepHeartbeat();
    void stepCustom();
    void stepWaterfall();
    void stepFireworks();
    void stepBlink();
    void stepBlinkFour();
    void stepVortex();
    void stepMusic();
    void stepAmbient();
    // Start routines.
    void startCommon();
    void startRain();
    void startMeteor();
    void startTrail();
    void startFireworks();

    void renderKeyStates(std::array<int, kKeySlots>& intensity, std::array<int, kKeySlots>& wheel);
    void renderRipples(bool cross, std::array<int, kKeySlots>& intensity, std::array<int, kKeySlots>& wheel);
    void launchBurst();

    mutable std::mutex m_lock;
    uint32_t m_random = 1;
    KeyboardLightSetting m_setting;

    // Shared state of the mode routines.
    int m_a = 0;
    int m_colourIndex = 0;
    bool m_blinkOn = true;
    uint64_t m_lastBlink = 0;
    int m_head = 0;

    // Per-key state.
    std::array<uint8_t, kKeySlots> m_keyState{};
    std::array<int, kKeySlots> m_intensity{};
    std::array<int, kKeySlots> m_wheel{};
    std::vector<Ripple> m_ripples;
    std::vector<Drop> m_drops;
    std::vector<Burst> m_bursts;

    std::array<LightRgb, kKeySlots> m_custom{};
    std::array<bool, kKeySlots> m_present{};
    AudioGain m_gain;
    AudioShown m_audio;
    bool m_audioBands = false; // the shown values come with bands (from the recorder)
    uint64_t m_audioFrameMs = 0;
    std::array<int, kLightColumns> m_barHeight{};
    AudioFall m_barFall;
    LightRgb m_audioBackground = kAudioDefaultBackground;
    LightRgb m_audioForeground = kAudioDefaultForeground;
    bool m_audioWheel = kAudioDefaultWheel;

    std::array<SlotEffect, kKeySlots> m_effects{};
    std::array<OverlayState, kKeySlots> m_overlay{};
    uint64_t m_lastOverlayMs = 0;
    uint64_t m_tickRemainder = 0; // microseconds of an unfinished tick
    int m_ramp = 255;

    KeyFrame m_base{};
    KeyFrame m_frame{};
};

} // namespace talyx
