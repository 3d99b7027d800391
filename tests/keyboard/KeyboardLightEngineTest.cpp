// The keyboard's lighting engine: pacing, the routines of the preset table, the reactive
// modes, the keyboard's own effects and the overlays, stepped with a manual clock.

#include "keyboard/KeyboardLightEngine.h"

#include <algorithm>
#include <set>

#include <gtest/gtest.h>

#include "keyboard/KeyboardLightTables.h"
#include "platform/Clock.h"

namespace talyx {
namespace {

constexpr int kTickMs = 16; // a little more than one 15.625 ms tick

class LightEngine : public ::testing::Test {
protected:
    void SetUp() override { SetCurrentClock(&clock); }
    void TearDown() override { SetCurrentClock(nullptr); }

    KeyboardLightSetting setting(int mode, bool multi = false) {
        KeyboardLightSetting s;
        s.mode = mode;
        s.brightness = 4;
        s.speed = 2;
        s.forward = true;
        s.multiColor = multi;
        s.colour = LightRgb{200, 100, 50};
        return s;
    }
    // Runs the overlays long enough for a new mode to have faded in.
    void settle(KeyboardLightEngine& e) {
        clock.advance(200);
        e.Overlays();
    }
    // The alpha at a place of the picture; 0 where the picture has no key.
    static int alphaAt(const KeyFrame& f, int column, int row) {
        const int slot = kColumnTable[column][row];
        return slot < kKeySlots ? f[slot].brightness : 0;
    }

    ManualClock clock;
};

TEST_F(LightEngine, PaceFollowsTheTableAndSpeedFourStepsEveryPass) {
    KeyboardLightEngine e;
    struct Case {
        int mode;
        int speed;
        int pace;
    };
    const Case cases[] = {{6, 0, 8}, {6, 1, 5},  {6, 2, 3},  {6, 3, 1},  {2, 0, 12}, {2, 2, 5},
                          {2, 3, 0}, {17, 0, 3}, {17, 3, 3}, {19, 1, 3}, {26, 1, 5}, {27, 2, 3}};
    for (const Case& c : cases) {
        KeyboardLightSetting s = setting(c.mode);
        s.speed = c.speed;
        e.Apply(s);
        EXPECT_EQ(e.Pace(), c.pace) << "mode " << c.mode << " speed " << c.speed;
    }
    for (int mode = 1; mode <= 30; ++mode) {
        KeyboardLightSetting s = setting(mode);
        s.speed = 4;
        e.Apply(s);
        if (mode != 29) {
            EXPECT_EQ(e.Pace(), 0) << "speed 4 must step on every pass, mode " << mode;
        }
    }
    // The music mode steps as soon as more than one tick has passed, whatever the speed.
    e.Apply(setting(29));
    EXPECT_EQ(e.Pace(), 2);
}

TEST_F(LightEngine, BreathingBackwardsRunsDownAndTakesTheNextColourAtZero) {
    KeyboardLightEngine e;
    KeyboardLightSetting s = setting(5, true);
    s.forward = false;
    e.Apply(s);
    e.Step();
    EXPECT_EQ(e.Phase(), 127);
    e.Step();
    EXPECT_EQ(e.Phase(), 126);
    for (int i = 0; i < 125; ++i)
        e.Step();
    EXPECT_EQ(e.Phase(), 1);
    EXPECT_EQ(e.ColourIndex(), 0);
    e.Step();
    EXPECT_EQ(e.Phase(), 0);
    EXPECT_EQ(e.ColourIndex(), 16) << "the colour moves on when the phase reaches 0";
    e.Step();
    EXPECT_EQ(e.Phase(), 127);
    // At phase 127 the breathing curve is 0: the keys are dark; the colour is the wheel's.
    const KeyFrame f = e.BaseFrame();
    EXPECT_EQ(f[30].brightness, 0);
    EXPECT_EQ(f[30].r, kColourWheel[16].r);
    EXPECT_EQ(f[30].g, kColourWheel[16].g);
}

TEST_F(LightEngine, BrightnessLevelsScaleEveryMode) {
    for (int mode : {1, 3, 4, 5, 6, 11, 12, 14, 24, 30}) {
        KeyboardLightEngine e;
        KeyboardLightSetting s = setting(mode, true);
        s.brightness = 0;
        e.Apply(s);
        for (int i = 0; i < 5; ++i)
            e.Step();
        settle(e);
        for (const LightColour& c : e.Frame())
            ASSERT_EQ(c.brightness, 0) << "mode " << mode << " lit a key at brightness 0";
    }
    KeyboardLightEngine e;
    e.Apply(setting(6));
    e.Step();
    settle(e);
    const LightColour c = e.Frame()[64];
    EXPECT_EQ(c.brightness, 255);
    EXPECT_EQ(c.r, 200);
    EXPECT_EQ(c.g, 100);
    EXPECT_EQ(c.b, 50);
}

TEST_F(LightEngine, WavesTravelAcrossTheColumns) {
    // Column c + 1 shows now what column c shows seven steps later: the wave moves left.
    KeyboardLightEngine e;
    e.Apply(setting(1));
    std::vector<KeyFrame> frames;
    for (int i = 0; i < 12; ++i) {
        e.Step();
        frames.push_back(e.BaseFrame());
    }
    for (int c = 1; c + 1 < kLightColumns; ++c)
        EXPECT_EQ(alphaAt(frames[1], c + 1, 2), alphaAt(frames[8], c, 2)) << "column " << c;

    // With the wheel the columns are seven hues apart.
    KeyboardLightEngine wheel;
    wheel.Apply(setting(1, true));
    wheel.Step();
    const KeyFrame f = wheel.BaseFrame();
    const LightRgb expected = kColourWheel[(1 + 1 + 7 * 3) % kWheelSteps];
    EXPECT_EQ(f[kColumnTable[3][2]].g, expected.g);
    EXPECT_EQ(f[kColumnTable[3][2]].r, expected.r);
}

TEST_F(LightEngine, BlinkTogglesEveryPeriodAndMovesTheColourOn) {
    KeyboardLightEngine e;
    KeyboardLightSetting s = setting(23, true);
    s.speed = 3; // 2 × 200 ms
    e.Apply(s);
    e.Step();
    EXPECT_GT(e.BaseFrame()[40].brightness, 0) << "a blink starts lit";
    clock.advance(399);
    e.Step();
    EXPECT_GT(e.BaseFrame()[40].brightness, 0);
    clock.advance(1);
    e.Step();
    EXPECT_EQ(e.BaseFrame()[40].brightness, 0);
    EXPECT_EQ(e.ColourIndex(), 16);
    clock.advance(400);
    e.Step();
    EXPECT_EQ(e.BaseFrame()[40].brightness, 255);
    EXPECT_EQ(e.BaseFrame()[40].g, kColourWheel[32].g);

    // The four-colour blink walks the four colours.
    KeyboardLightEngine four;
    s.mode = 27;
    four.Apply(s);
    clock.advance(400);
    four.Step();
    clock.advance(400);
    four.Step();
    EXPECT_EQ(four.ColourIndex(), 2);
    EXPECT_EQ(four.BaseFrame()[40].r, kFourColours[2].r);
}

TEST_F(LightEngine, ReactiveKeysLightOnPressAndFadeAfterRelease) {
    KeyboardLightEngine e;
    e.Apply(setting(7));
    e.KeyEvent(64, 1);
    e.Step();
    EXPECT_EQ(e.Intensity(64), 255);
    EXPECT_EQ(e.BaseFrame()[64].brightness, (255 * 255) >> 8);
    EXPECT_EQ(e.BaseFrame()[65].brightness, 0);
    e.KeyEvent(64, 2);
    e.Step();
    EXPECT_EQ(e.Intensity(64), 250);
    for (int i = 0; i < 60; ++i)
        e.Step();
    EXPECT_EQ(e.Intensity(64), 0);

    // Modes without key reactions ignore key events.
    KeyboardLightEngine calm;
    calm.Apply(setting(6));
    calm.KeyEvent(64, 1);
    EXPECT_EQ(calm.Intensity(64), 0);
}

TEST_F(LightEngine, RippleReachesNeighbouringColumnsLater) {
    KeyboardLightEngine e;
    e.Apply(setting(8));
    const int pressed = kColumnTable[10][3];
    const int neighbour = kColumnTable[11][3];
    const int farther = kColumnTable[14][3];
    e.KeyEvent(pressed, 1);
    e.Step();
    KeyFrame f = e.BaseFrame();
    EXPECT_GT(f[pressed].brightness, 0);
    EXPECT_EQ(f[neighbour].brightness, 0);
    int neighbourStep = -1;
    int fartherStep = -1;
    for (int step = 2; step < 20; ++step) {
        e.Step();
        f = e.BaseFrame();
        if (neighbourStep < 0 && f[neighbour].brightness > 0)
            neighbourStep = step;
        if (fartherStep < 0 && f[farther].brightness > 0)
            fartherStep = step;
    }
    EXPECT_GT(neighbourStep, 1);
    EXPECT_GT(fartherStep, neighbourStep);

    // The cross ripple stays on the pressed key's row and column.
    KeyboardLightEngine cross;
    cross.Apply(setting(9));
    cross.KeyEvent(pressed, 1);
    bool diagonalLit = false;
    bool rowLit = false;
    for (int step = 0; step < 20; ++step) {
        cross.Step();
        f = cross.BaseFrame();
        diagonalLit = diagonalLit || f[kColumnTable[11][2]].brightness > 0;
        rowLit = rowLit || f[neighbour].brightness > 0;
    }
    EXPECT_TRUE(rowLit);
    EXPECT_FALSE(diagonalLit);
}

TEST_F(LightEngine, ReactiveRippleLightsTheKeyAndSpreads) {
    KeyboardLightEngine e;
    e.Apply(setting(25));
    const int pressed = kColumnTable[5][2];
    e.KeyEvent(pressed, 1);
    for (int i = 0; i < 4; ++i)
        e.Step();
    const KeyFrame f = e.BaseFrame();
    EXPECT_EQ(f[pressed].brightness, (255 * 255) >> 8) << "a held key stays lit";
    EXPECT_GT(f[kColumnTable[6][2]].brightness, 0);
}

TEST_F(LightEngine, SparklesPickFromTheMainBlockAndFade) {
    KeyboardLightEngine a(42);
    KeyboardLightEngine b(42);
    KeyboardLightEngine c(43);
    a.Apply(setting(10, true));
    b.Apply(setting(10, true));
    c.Apply(setting(10, true));
    a.Step();
    b.Step();
    c.Step();
    const std::set<int> block(kSparkleSlots, kSparkleSlots + kSparkleSlotCount);
    int lit = 0;
    for (int slot = 0; slot < kKeySlots; ++slot) {
        if (a.Intensity(slot) == 0)
            continue;
        ++lit;
        EXPECT_TRUE(block.count(slot)) << "slot " << slot << " is not in the main block";
        EXPECT_EQ(a.Intensity(slot), 255 - 8) << "a new spark fades by one step at once";
    }
    EXPECT_GE(lit, 1);
    EXPECT_LE(lit, KeyboardLightEngine::kSparklesPerStep);
    bool same = true;
    bool differs = false;
    const KeyFrame fa = a.BaseFrame();
    const KeyFrame fb = b.BaseFrame();
    const KeyFrame fc = c.BaseFrame();
    for (int slot = 0; slot < kKeySlots; ++slot) {
        same = same && fa[slot].brightness == fb[slot].brightness && fa[slot].r == fb[slot].r;
        differs = differs || fa[slot].brightness != fc[slot].brightness;
    }
    EXPECT_TRUE(same) << "one seed, one sequence";
    EXPECT_TRUE(differs);
}

TEST_F(LightEngine, MeteorHasABrightHeadAndAFadingTail) {
    KeyboardLightEngine e;
    e.Apply(setting(15));
    for (int i = 0; i < 30; ++i)
        e.Step();
    const KeyFrame f = e.BaseFrame();
    int head = 0;
    for (int k = 1; k < kLightPathLength; ++k) {
        if (f[kLightPath[k]].brightness > f[kLightPath[head]].brightness)
            head = k;
    }
    EXPECT_EQ(f[kLightPath[head]].brightness, (255 * 255) >> 8) << "the head burns at full brightness";
    ASSERT_GT(head, kMeteorTailLength);
    for (int k = head + 1; k < kLightPathLength; ++k)
        EXPECT_EQ(f[kLightPath[k]].brightness, 0) << "nothing ahead of the head, path step " << k;
    for (int behind = 1; behind < kMeteorTailLength; ++behind)
        EXPECT_LT(f[kLightPath[head - behind]].brightness, f[kLightPath[head - behind + 1]].brightness);
    EXPECT_EQ(f[kLightPath[head - kMeteorTailLength]].brightness, 0);
}

TEST_F(LightEngine, RainFallsWithTheDropBrightestAtItsFoot) {
    KeyboardLightEngine e;
    e.Apply(setting(13));
    int drops = 0;
    for (int step = 0; step < 12; ++step) {
        e.Step();
        const KeyFrame f = e.BaseFrame();
        for (int c = 1; c < kLightColumns; ++c) {
            // The lowest lit key of a column is the drop's head, and the brightest.
            int lowest = -1;
            int brightest = -1;
            for (int r = 0; r < kLightRows; ++r) {
                const int a = alphaAt(f, c, r);
                if (a == 0)
                    continue;
                lowest = r;
                if (brightest < 0 || a > alphaAt(f, c, brightest))
                    brightest = r;
            }
            if (lowest < 0)
                continue;
            ++drops;
            EXPECT_EQ(brightest, lowest) << "column " << c << " step " << step;
        }
    }
    EXPECT_GT(drops, 0);
}

TEST_F(LightEngine, ConvergeIsSymmetricAndFireworksStartAtOnce) {
    KeyboardLightEngine e;
    e.Apply(setting(18));
    for (int i = 0; i < 7; ++i)
        e.Step();
    const KeyFrame f = e.BaseFrame();
    for (int d = 1; d <= 11; ++d)
        EXPECT_EQ(alphaAt(f, 11 - d, 2), alphaAt(f, 11 + d, 2)) << "distance " << d;

    KeyboardLightEngine fireworks(7);
    fireworks.Apply(setting(22));
    fireworks.Step();
    const KeyFrame g = fireworks.BaseFrame();
    EXPECT_TRUE(std::any_of(g.begin(), g.end(), [](const LightColour& c) { return c.brightness > 0; }));
}

TEST_F(LightEngine, MusicBarsFollowTheLevelAndSinkSlowly) {
    KeyboardLightEngine e;
    e.Apply(setting(29));
    e.SetAudioColours(LightRgb{0, 0, 100}, LightRgb{255, 0, 0}, false);
    e.SetAudioLevel(255);
    e.Step();
    KeyFrame f = e.BaseFrame();
    // The middle of the left half is a full bar.
    for (int r = 0; r < kLightRows; ++r) {
        EXPECT_EQ(f[kColumnTable[7][r]].r, 255) << "row " << r;
    }
    e.SetAudioLevel(0);
    clock.advance(kTickMs);
    e.Step();
    f = e.BaseFrame();
    EXPECT_EQ(f[kColumnTable[7][5]].r, 255) << "the bar sinks, it does not vanish";
    for (int i = 0; i < 30; ++i) {
        clock.advance(kTickMs);
        e.Step();
    }
    f = e.BaseFrame();
    EXPECT_EQ(f[kColumnTable[7][5]].b, 100);
    EXPECT_EQ(f[kColumnTable[7][5]].brightness, 255 / 4) << "quiet: the dim background";
}

TEST_F(LightEngine, AModeRestartsOnlyWhenItChangesOrIsTheCustomMode) {
    KeyboardLightEngine e;
    EXPECT_TRUE(e.Apply(setting(4)));
    for (int i = 0; i < 10; ++i)
        e.Step();
    EXPECT_EQ(e.Phase(), 10);
    KeyboardLightSetting brighter = setting(4);
    brighter.brightness = 2;
    EXPECT_FALSE(e.Apply(brighter));
    EXPECT_EQ(e.Phase(), 10) << "a new brightness keeps the animation going";
    EXPECT_TRUE(e.Apply(setting(20)));
    EXPECT_TRUE(e.Apply(setting(20))) << "the custom mode re-reads its colours every time";
    EXPECT_TRUE(KeyboardLightEngine::KeyboardRenders(20));
    for (int mode : {7, 8, 9, 16, 17, 18})
        EXPECT_TRUE(KeyboardLightEngine::KeyboardRenders(mode));
    for (int mode : {1, 4, 5, 6, 10, 25, 29})
        EXPECT_FALSE(KeyboardLightEngine::KeyboardRenders(mode));
}

TEST_F(LightEngine, NewModesFadeInAndKeylessSlotsStayDark) {
    KeyboardLightEngine e;
    e.Apply(setting(6));
    e.Step();
    e.Overlays();
    EXPECT_EQ(e.Frame()[64].brightness, 0) << "no time has passed since the mode started";
    EXPECT_TRUE(e.WantsEachTick());
    clock.advance(2 * kTickMs);
    e.Overlays();
    const int half = e.Frame()[64].brightness;
    EXPECT_GT(half, 0);
    EXPECT_LT(half, 255);
    clock.advance(5 * kTickMs);
    e.Overlays();
    EXPECT_EQ(e.Frame()[64].brightness, 255);
    EXPECT_FALSE(e.WantsEachTick());

    std::array<bool, kKeySlots> present{};
    present.fill(true);
    present[64] = false;
    e.SetPresentSlots(present);
    EXPECT_EQ(e.Frame()[64].brightness, 0);
    EXPECT_EQ(e.Frame()[65].brightness, 255);
}

TEST_F(LightEngine, PerKeyOverlaysRunOnTheirOwnClock) {
    KeyboardLightEngine e;
    e.Apply(setting(6));
    e.Step();
    settle(e);

    SlotEffect breathe;
    breathe.mode = 0;
    breathe.speed = 4; // 8 curve steps per tick
    breathe.red = 255;
    breathe.enabled = true;
    e.SetSlotEffect(30, breathe);
    SlotEffect blink;
    blink.mode = 2;
    blink.speed = 4; // 2 × 200 ms
    blink.blue = 255;
    blink.enabled = true;
    e.SetSlotEffect(31, blink);
    SlotEffect cycle;
    cycle.mode = 3;
    cycle.speed = 0;
    cycle.enabled = true;
    e.SetSlotEffect(32, cycle);
    SlotEffect off = blink;
    off.enabled = false;
    e.SetSlotEffect(33, off);
    EXPECT_TRUE(e.WantsEachTick());

    // Four ticks, however the calls are spread.
    clock.advance(32);
    e.Overlays();
    clock.advance(31);
    e.Overlays();
    KeyFrame f = e.Frame();
    EXPECT_EQ(f[30].brightness, (kBreathingCurve[32] * 255) >> 8);
    EXPECT_EQ(f[30].r, 255);
    EXPECT_EQ(f[31].b, 255) << "a blinking key starts lit";
    EXPECT_EQ(f[32].g, kColourWheel[4].g);
    EXPECT_EQ(f[33].r, 200) << "a disabled entry leaves the mode's colour";
    clock.advance(400);
    e.Overlays();
    f = e.Frame();
    EXPECT_EQ(f[31].brightness, 0);
    EXPECT_EQ(f[64].brightness, 255) << "other keys keep the mode";
    e.ClearSlotEffects();
    EXPECT_EQ(e.Frame()[30].r, 200);
}

TEST_F(LightEngine, EveryModeFillsOnlyTheFrameAndKeepsItsTables) {
    // Every routine runs a long while without leaving the frame (the sanitizer build
    // checks the indices) and the lit keys are always keys of the picture.
    for (int mode = 0; mode <= 30; ++mode) {
        for (bool multi : {false, true}) {
            for (bool forward : {false, true}) {
                KeyboardLightEngine e(static_cast<uint32_t>(mode + 1));
                KeyboardLightSetting s = setting(mode, multi);
                s.forward = forward;
                e.Apply(s);
                e.SetAudioLevel(200);
                for (int i = 0; i < 400; ++i) {
                    if (i % 7 == 0)
                        e.KeyEvent(kSparkleSlots[i % kSparkleSlotCount], 1 + (i / 7) % 2);
                    e.Step();
                    clock.advance(5);
                    e.Overlays();
                }
                // Modes that colour the whole keyboard at once light every slot; the
                // others light only keys of the picture.
                static const std::set<int> wholeKeyboard = {4, 5, 6, 11, 19, 20, 23, 26, 27};
                if (wholeKeyboard.count(mode))
                    continue;
                const KeyFrame f = e.BaseFrame();
                for (int slot = 132; slot < kKeySlots; ++slot)
                    EXPECT_EQ(f[slot].brightness, 0) << "mode " << mode << " lit slot " << slot;
            }
        }
    }
}

} // namespace
} // namespace talyx
