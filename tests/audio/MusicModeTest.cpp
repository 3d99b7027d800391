// The keyboard's music mode fed with the recorder's frames: the automatic gain at low and
// high volume, the gate that keeps a quiet room dark, the bands across the keyboard, the
// fall of the bars and frames that stop coming.

#include <cstring>

#include <gtest/gtest.h>

#include "keyboard/KeyboardLightEngine.h"
#include "keyboard/KeyboardLightTables.h"
#include "platform/Clock.h"
#include "tests/audio/AudioTone.h"

namespace talyx {
namespace {

constexpr LightRgb kBackground{0, 0, 100};
constexpr LightRgb kBar{255, 0, 0};

class MusicMode : public ::testing::Test {
protected:
    void SetUp() override {
        SetCurrentClock(&clock);
        clock.setTick(1000);
        KeyboardLightSetting s;
        s.mode = 29;
        s.brightness = 4;
        engine.Apply(s);
        engine.SetAudioColours(kBackground, kBar, false);
    }
    void TearDown() override { SetCurrentClock(nullptr); }

    // `ms` of frames every 10 ms, as the recorder sends them on the cable.
    void play(const AudioInput& in, int ms) {
        for (int t = 0; t < ms; t += 10) {
            clock.advance(10);
            engine.SetAudioFrame(in);
        }
    }
    // Lit rows of a column: rows in the bar colour, from the bottom.
    int litRows(int column) const {
        const KeyFrame f = engine.BaseFrame();
        int lit = 0;
        for (int r = 0; r < kLightRows; ++r) {
            const int slot = kColumnTable[column][r];
            if (slot < kKeySlots && f[slot].r == kBar.r && f[slot].b == 0)
                ++lit;
        }
        return lit;
    }
    bool allBackground() const {
        const KeyFrame f = engine.BaseFrame();
        for (int c = 0; c < kLightColumns; ++c)
            for (int r = 0; r < kLightRows; ++r) {
                const int slot = kColumnTable[c][r];
                if (slot < kKeySlots && (f[slot].b != kBackground.b || f[slot].r != 0))
                    return false;
            }
        return true;
    }

    ManualClock clock;
    KeyboardLightEngine engine;
};

TEST_F(MusicMode, QuietAndLoudMusicBothFillTheBarsAndSilenceRestsAtTheBackground) {
    // Column 13 shows band 4, column 0 band 0.
    for (double amplitude : {0.03, 0.5}) {
        SCOPED_TRACE(amplitude);
        engine.ClearAudio();
        clock.advance(1000);
        engine.Step();
        ASSERT_TRUE(allBackground());
        play(test::Tone(amplitude), 200);
        // Drawn as each frame came, without a step of the light thread.
        EXPECT_EQ(litRows(13), kLightRows) << "the tone's band is a full bar at any volume";
        EXPECT_LE(litRows(0), 1) << "a band without sound stays low";
        EXPECT_GT(engine.ShownAudio().level, 240);
        // Silence: the bars fall back to the background within the fall time.
        play(AudioInput{}, KeyboardLightEngine::kBarFallMs + 10);
        EXPECT_TRUE(allBackground());
    }
    // Below the gate (a quiet room, the hiss of an amplifier) nothing lights, even from a
    // fresh gain that would lift the quietest sound.
    engine.ClearAudio();
    play(test::Tone(0.002), 500);
    EXPECT_TRUE(allBackground());
}

TEST_F(MusicMode, TheGainFollowsTheMusicDownAndFramesThatStopCountAsSilence) {
    play(test::Tone(0.5), 1000);
    // A sudden quiet passage shows small at first (once the loud bars have fallen) ...
    play(test::Tone(0.05), 500);
    EXPECT_LT(engine.ShownAudio().bands[4], 40);
    EXPECT_LT(litRows(13), kLightRows);
    // ... and fills the bars again once the gain has come back up (several release times).
    play(test::Tone(0.05), 10000);
    EXPECT_GT(engine.ShownAudio().bands[4], 240);
    EXPECT_EQ(litRows(13), kLightRows);
    // The recorder stops sending (it hangs or died): the light thread's steps let the bars
    // sink, and no bar stays up on the last frame.
    for (int i = 0; i < 50; ++i) {
        clock.advance(16);
        engine.Step();
    }
    EXPECT_TRUE(allBackground());
    // Frames in another mode only update the values; the mode's own picture is untouched.
    KeyboardLightSetting s;
    s.mode = 6;
    engine.Apply(s);
    engine.Step();
    const KeyFrame before = engine.BaseFrame();
    play(test::Tone(0.5), 50);
    const KeyFrame after = engine.BaseFrame();
    for (int slot = 0; slot < kKeySlots; ++slot)
        ASSERT_EQ(std::memcmp(&before[slot], &after[slot], sizeof(LightColour)), 0) << "slot " << slot;
}

} // namespace
} // namespace talyx
