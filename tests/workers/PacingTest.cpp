// The pacing of the software effects and the synchronised effect, stepped with a manual
// clock.

#include <gtest/gtest.h>

#include "device/LightPacer.h"
#include "device/LightSyncEffect.h"
#include "device/LightSyncThread.h"
#include "device/transport/DeviceIdentification.h"
#include "platform/Clock.h"

namespace talyx {
namespace {

// Steps taken over `ms` milliseconds when the thread wakes exactly when told to.
int stepsOver(int pace, uint64_t ms) {
    ManualClock clock;
    clock.setTick(5000);
    LightPacer pacer;
    pacer.Restart(clock.tickMs());
    const uint64_t end = clock.tickMs() + ms;
    int steps = 0;
    while (true) {
        const int wait = pacer.MsUntilNextStep(clock.tickMs(), pace);
        if (clock.tickMs() + static_cast<uint64_t>(wait) > end)
            break;
        clock.advance(static_cast<uint64_t>(wait));
        steps += pacer.StepsDue(clock.tickMs(), pace);
    }
    return steps;
}

TEST(LightPacer, StepsPerSecondFollowTheSpeedTable) {
    // 64 ticks a second; one step every `pace` ticks.
    const int expected[5] = {8, 10, 16, 32, 64};
    for (int speed = 0; speed < 5; ++speed) {
        const int pace = LightPacer::PaceForSpeed(speed);
        EXPECT_EQ(stepsOver(pace, 1000), expected[speed]) << "speed " << speed << " pace " << pace;
    }
    // Out of range speeds are clamped; pace 0 (the keyboard's fastest) steps every tick.
    EXPECT_EQ(LightPacer::PaceForSpeed(-3), 8);
    EXPECT_EQ(LightPacer::PaceForSpeed(9), 1);
    EXPECT_EQ(stepsOver(0, 1000), 64);
}

TEST(LightPacer, BreathingCycleTakesSixteenSecondsSlowestAndTwoFastest) {
    // 128 steps per breath.
    EXPECT_EQ(stepsOver(8, 16000), 128);
    EXPECT_EQ(stepsOver(8, 15990), 127);
    EXPECT_EQ(stepsOver(1, 2000), 128);
}

TEST(LightPacer, WaitsUntilTheNextStepAndCatchesUpWithACap) {
    LightPacer pacer;
    pacer.Restart(1000);
    // Pace 4: the first step is due at tick 4 = 62.5 ms, rounded up to 63.
    EXPECT_EQ(pacer.MsUntilNextStep(1000, 4), 63);
    EXPECT_EQ(pacer.StepsDue(1062, 4), 0);
    EXPECT_EQ(pacer.StepsDue(1063, 4), 1);
    // The next one counts from the tick of the last step, not from the late wake-up.
    EXPECT_EQ(pacer.MsUntilNextStep(1070, 4), 1125 - 1070);

    // Woke 3 steps late: all three run.
    EXPECT_EQ(pacer.StepsDue(1063 + 3 * 63, 4), 3);
    // A long stall runs only the cap, then counts on from now without a backlog.
    EXPECT_EQ(pacer.StepsDue(60000, 4), LightPacer::kMaxCatchUpSteps);
    EXPECT_EQ(pacer.StepsDue(60001, 4), 0);
    EXPECT_GE(pacer.MsUntilNextStep(60001, 4), 60);

    // The tick wait of a thread that must run its overlays every tick.
    pacer.Restart(0);
    EXPECT_EQ(pacer.MsUntilNextTick(0), 16);
    EXPECT_EQ(pacer.MsUntilNextTick(16), 16); // tick 2 starts at 31.25 → 32
    EXPECT_EQ(pacer.MsUntilNextTick(31), 1);
}

TEST(LightPacer, ASpeedChangeTakesEffectFromTheLastStep) {
    LightPacer pacer;
    pacer.Restart(0);
    EXPECT_EQ(pacer.StepsDue(125, 8), 1); // tick 8
    // Faster now: the next step is one tick after the last, not eight.
    EXPECT_EQ(pacer.MsUntilNextStep(125, 1), 141 - 125);
    EXPECT_EQ(pacer.StepsDue(141, 1), 1);
}

TEST(LightSyncEffect, ModesMapToEffectTypesPerFamily) {
    const int keyboard[] = {5, 6, 23, 4, 28};
    const int mouse[] = {2, 3, 4, 1, 10};
    const int padAndHeadset[] = {2, 3, 4, 1, 8};
    for (int type = 0; type < 5; ++type) {
        EXPECT_EQ(LightSyncEffect::TypeForMode(DeviceTypeKeyboard, keyboard[type]), type);
        EXPECT_EQ(LightSyncEffect::TypeForMode(DeviceTypeMouse, mouse[type]), type);
        EXPECT_EQ(LightSyncEffect::TypeForMode(DeviceTypeMousePad, padAndHeadset[type]), type);
        EXPECT_EQ(LightSyncEffect::TypeForMode(DeviceTypeHeadset, padAndHeadset[type]), type);
    }
    EXPECT_EQ(LightSyncEffect::TypeForMode(DeviceTypeKeyboard, 7), -1);
    EXPECT_EQ(LightSyncEffect::TypeForMode(DeviceTypeMouse, 8), -1);
    EXPECT_EQ(LightSyncEffect::TypeForMode(-1, 5), -1);

    // An unmapped mode leaves the process-wide settings as they were.
    ASSERT_TRUE(LightSyncThread::SetSettingsFromRecord(DeviceTypeMouse, 4, 3, 1, 0, 1, 10, 20, 30));
    EXPECT_FALSE(LightSyncThread::SetSettingsFromRecord(DeviceTypeKeyboard, 7, 0, 0, 1, 0, 0, 0, 0));
    const LightSyncSettings s = LightSyncThread::Settings();
    EXPECT_EQ(s.type, kSyncBlinking);
    EXPECT_EQ(s.brightnessLevel, 3);
    EXPECT_EQ(s.speedIndex, 1);
    EXPECT_FALSE(s.direction);
    EXPECT_TRUE(s.useColourWheel);
    EXPECT_EQ(s.colour.b, 30);
}

TEST(LightSyncEffect, BreathingMovesTheHueNearTheDarkEnd) {
    LightSyncEffect effect;
    LightSyncSettings s;
    s.type = kSyncBreathing;
    s.brightnessLevel = 4;
    s.useColourWheel = true;
    LightColour c;
    ASSERT_TRUE(effect.Step(s, 0, c)); // step 1: below 2, the hue moves on
    EXPECT_EQ(effect.BreathingStep(), 1);
    EXPECT_EQ(effect.ColourIndex(), 16);
    EXPECT_EQ(c.brightness, 255 * kBreathingCurve[1] / 256);
    const LightRgb wheel16 = WheelColour(16);
    EXPECT_EQ(c.r, wheel16.r);
    EXPECT_EQ(c.g, wheel16.g);
    for (int i = 0; i < 62; ++i)
        effect.Step(s, 0, c);
    EXPECT_EQ(effect.BreathingStep(), 63);
    EXPECT_EQ(c.brightness, 255 * 255 / 256);
    EXPECT_EQ(effect.ColourIndex(), 16);

    // Backward with the custom colour: 127, 126 … and the colour stays the custom one.
    LightSyncEffect back;
    s.direction = false;
    s.useColourWheel = false;
    s.colour = {1, 2, 3};
    s.brightnessLevel = 2;
    back.Step(s, 0, c);
    EXPECT_EQ(back.BreathingStep(), 127);
    EXPECT_EQ(back.ColourIndex(), 0);
    EXPECT_EQ(c.r, 1);
    EXPECT_EQ(c.brightness, 135 * kBreathingCurve[127] / 256);
}

TEST(LightSyncEffect, BlinkFlipsByTimeAndMovesFourteenHueSteps) {
    LightSyncEffect effect;
    LightSyncSettings s;
    s.type = kSyncBlinking;
    s.speedIndex = 3; // 2 × 200 ms
    s.brightnessLevel = 1;
    s.useColourWheel = true;
    LightColour c;
    uint64_t now = 10000;
    effect.Step(s, now, c);
    EXPECT_TRUE(effect.BlinkPhase());
    EXPECT_EQ(effect.BlinkPosition(), 14);
    EXPECT_EQ(c.brightness, 80);
    EXPECT_EQ(c.r, WheelColour(14).r);
    effect.Step(s, now + 399, c);
    EXPECT_TRUE(effect.BlinkPhase());
    effect.Step(s, now + 400, c);
    EXPECT_FALSE(effect.BlinkPhase());
    EXPECT_EQ(c.r | c.g | c.b | c.brightness, 0);
    EXPECT_EQ(effect.BlinkPosition(), 28);
    // 14 does not divide the wheel: the position that would pass its end starts at 0.
    for (int i = 2; i <= 12; ++i)
        effect.Step(s, now + 400 * i, c);
    EXPECT_EQ(effect.BlinkPosition(), 182);
    effect.Step(s, now + 400 * 13, c);
    EXPECT_EQ(effect.BlinkPosition(), 0);

    // A type outside the five steps nothing.
    s.type = 5;
    c = LightColour{1, 1, 1, 1};
    EXPECT_FALSE(effect.Step(s, now + 400 * 14, c));
    EXPECT_EQ(c.brightness, 1);
    EXPECT_EQ(effect.BlinkPosition(), 0);
}

} // namespace
} // namespace talyx
