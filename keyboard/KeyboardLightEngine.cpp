#include "keyboard/KeyboardLightEngine.h"

#include <algorithm>
#include <cstdlib>

#include "device/CKestravaUSBDevice.h"
#include "keyboard/KeyboardLightTables.h"
#include "platform/Clock.h"

namespace talyx {
namespace {

constexpr int kCustomMode = 20;
constexpr int kMusicMode = 29;
// The middle column, towards which the converge mode runs.
constexpr int kMiddleColumn = 11;
// Rows a rain drop falls below the picture before it starts again from the top.
constexpr int kLastRow = kLightRows - 1;
// A ripple front moves one column every two steps and stays lit for ten.
constexpr int kRippleStepsPerColumn = 2;
constexpr int kRippleCurveStride = 8;
// Trail length of the keyboard's own trail mode, and how much of it burns at full light.
constexpr int kTrailLength = 24;
constexpr int kTrailFull = 16;
constexpr int kBurstLife = 16;
constexpr int kMaxOverlayTicks = 64;

int wrapWheel(int index) {
    index %= kWheelSteps;
    return index < 0 ? index + kWheelSteps : index;
}

LightRgb fourColour(int index) {
    return kFourColours[((index % 4) + 4) % 4];
}

} // namespace

// Which routine draws each mode and which start routine begins it. Modes that are not
// listed are dark.
const KeyboardLightEngine::ModeRoutine KeyboardLightEngine::kRoutines[] = {
    {1, &KeyboardLightEngine::stepWaveColumns, &KeyboardLightEngine::startCommon},
    {2, &KeyboardLightEngine::stepFastWave, &KeyboardLightEngine::startCommon},
    {3, &KeyboardLightEngine::stepPathWave, &KeyboardLightEngine::startCommon},
    {4, &KeyboardLightEngine::stepColourCycle, &KeyboardLightEngine::startCommon},
    {5, &KeyboardLightEngine::stepBreathing, &KeyboardLightEngine::startCommon},
    {6, &KeyboardLightEngine::stepStatic, &KeyboardLightEngine::startCommon},
    {7, &KeyboardLightEngine::stepReactive, &KeyboardLightEngine::startCommon},
    {8, &KeyboardLightEngine::stepRipple, &KeyboardLightEngine::startCommon},
    {9, &KeyboardLightEngine::stepRipple, &KeyboardLightEngine::startCommon},
    {10, &KeyboardLightEngine::stepSparkle, &KeyboardLightEngine::startCommon},
    {11, &KeyboardLightEngine::stepAurora, &KeyboardLightEngine::startCommon},
    {12, &KeyboardLightEngine::stepRainbowRows, &KeyboardLightEngine::startCommon},
    {13, &KeyboardLightEngine::stepRain, &KeyboardLightEngine::startRain},
    {14, &KeyboardLightEngine::stepFlow, &KeyboardLightEngine::startCommon},
    {15, &KeyboardLightEngine::stepMeteor, &KeyboardLightEngine::startMeteor},
    {16, &KeyboardLightEngine::stepTrail, &KeyboardLightEngine::startTrail},
    {17, &KeyboardLightEngine::stepZones, &KeyboardLightEngine::startCommon},
    {18, &KeyboardLightEngine::stepConverge, &KeyboardLightEngine::startCommon},
    {19, &KeyboardLightEngine::stepHeartbeat, &KeyboardLightEngine::startCommon},
    {20, &KeyboardLightEngine::stepCustom, &KeyboardLightEngine::startCommon},
    {21, &KeyboardLightEngine::stepWaterfall, &KeyboardLightEngine::startCommon},
    {22, &KeyboardLightEngine::stepFireworks, &KeyboardLightEngine::startFireworks},
    {23, &KeyboardLightEngine::stepBlink, &KeyboardLightEngine::startCommon},
    {24, &KeyboardLightEngine::stepVortex, &KeyboardLightEngine::startCommon},
    {25, &KeyboardLightEngine::stepReactiveRipple, &KeyboardLightEngine::startCommon},
    {26, &KeyboardLightEngine::stepBreathingFour, &KeyboardLightEngine::startCommon},
    {27, &KeyboardLightEngine::stepBlinkFour, &KeyboardLightEngine::startCommon},
    {28, &KeyboardLightEngine::stepDark, &KeyboardLightEngine::startCommon},
    {29, &KeyboardLightEngine::stepMusic, &KeyboardLightEngine::startCommon},
    {30, &KeyboardLightEngine::stepAmbient, &KeyboardLightEngine::startCommon},
};

KeyboardLightEngine::KeyboardLightEngine(uint32_t seed) {
    SetSeed(seed);
    m_present.fill(true);
    m_custom.fill(LightRgb{255, 255, 255});
    m_lastOverlayMs = GetTickCount();
    std::lock_guard<std::mutex> lock(m_lock);
    restartLocked();
}

void KeyboardLightEngine::SetSeed(uint32_t seed) {
    std::lock_guard<std::mutex> lock(m_lock);
    // xorshift must not start from 0.
    m_random = seed ? seed : 0x9E3779B9u;
}

uint32_t KeyboardLightEngine::random() {
    // xorshift32: the same sequence on every platform and library, unlike the standard
    // distributions.
    uint32_t x = m_random;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    m_random = x;
    return x;
}

int KeyboardLightEngine::randomBelow(int n) {
    return n > 0 ? static_cast<int>(random() % static_cast<uint32_t>(n)) : 0;
}

const KeyboardLightEngine::ModeRoutine* KeyboardLightEngine::routineFor(int mode) const {
    for (const ModeRoutine& r : kRoutines) {
        if (r.mode == mode)
            return &r;
    }
    return nullptr;
}

bool KeyboardLightEngine::KeyboardRenders(int mode) {
    switch (mode) {
    case 7:
    case 8:
    case 9:
    case 16:
    case 17:
    case 18:
    case 20:
        return true;
    default:
        return false;
    }
}

bool KeyboardLightEngine::Apply(const KeyboardLightSetting& setting) {
    std::lock_guard<std::mutex> lock(m_lock);
    const bool restart = setting.mode != m_setting.mode || setting.mode == kCustomMode;
    m_setting = setting;
    m_setting.brightness = std::clamp(m_setting.brightness, 0, kBrightnessLevels - 1);
    m_setting.speed = std::clamp(m_setting.speed, 0, kBrightnessLevels - 1);
    if (restart)
        restartLocked();
    return restart;
}

void KeyboardLightEngine::Restart() {
    std::lock_guard<std::mutex> lock(m_lock);
    restartLocked();
}

void KeyboardLightEngine::restartLocked() {
    m_keyState.fill(0);
    m_intensity.fill(0);
    m_wheel.fill(0);
    m_ripples.clear();
    m_drops.clear();
    m_bursts.clear();
    m_a = 0;
    m_colourIndex = 0;
    m_head = 0;
    m_barHeight.fill(0);
    m_barFall.Reset();
    m_blinkOn = true;
    m_lastBlink = GetTickCount();
    // The fade-in counts from now, not from whenever the overlays last ran.
    m_lastOverlayMs = m_lastBlink;
    m_tickRemainder = 0;
    m_ramp = 0;
    clearBase();
    const ModeRoutine* r = routineFor(m_setting.mode);
    (this->*(r ? r->start : &KeyboardLightEngine::startCommon))();
    compose();
}

KeyboardLightSetting KeyboardLightEngine::Setting() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_setting;
}

int KeyboardLightEngine::Pace() const {
    std::lock_guard<std::mutex> lock(m_lock);
    // The music mode follows the sound rather than the speed: it steps as soon as more
    // than one tick has passed.
    if (m_setting.mode == kMusicMode)
        return 2;
    return ModePace(m_setting.mode, m_setting.speed);
}

void KeyboardLightEngine::Step() {
    std::lock_guard<std::mutex> lock(m_lock);
    const ModeRoutine* r = routineFor(m_setting.mode);
    (this->*(r ? r->step : &KeyboardLightEngine::stepDark))();
    compose();
}

// ---- helpers ----

uint8_t KeyboardLightEngine::level() const {
    return BrightnessForLevel(m_setting.brightness);
}

LightRgb KeyboardLightEngine::colourOf(int wheelIndex) const {
    return m_setting.multiColor ? WheelColour(wrapWheel(wheelIndex)) : m_setting.colour;
}

void KeyboardLightEngine::setBase(int slot, const LightRgb& rgb, int alpha) {
    if (slot < 0 || slot >= kKeySlots)
        return;
    m_base[slot] = LightColour{rgb.r, rgb.g, rgb.b, static_cast<uint8_t>(std::clamp(alpha, 0, 255))};
}

void KeyboardLightEngine::clearBase() {
    m_base.fill(LightColour{});
}

void KeyboardLightEngine::stepShared(int limit) {
    m_a = CKestravaUSBDevice::StepWrapped(m_a % limit, limit, m_setting.forward);
}

// ---- start routines ----

void KeyboardLightEngine::startCommon() {
    // Every key starts on its own hue, so the per-key cycle (11) shows a spread of colours
    // from the first step instead of the whole keyboard in one.
    for (int slot = 0; slot < kKeySlots; ++slot)
        m_wheel[slot] = randomBelow(kWheelSteps);
}

void KeyboardLightEngine::startRain() {
    startCommon();
    // One drop per column, staggered above the top row so they do not fall in a line.
    m_drops.assign(kLightColumns, Drop{0, 0});
    for (Drop& d : m_drops) {
        d.head = -randomBelow(8);
        d.wheel = randomBelow(kWheelSteps);
    }
}

void KeyboardLightEngine::startMeteor() {
    startCommon();
    m_head = 0;
    m_colourIndex = randomBelow(kWheelSteps);
}

void KeyboardLightEngine::startTrail() {
    startCommon();
    m_head = 0;
    m_colourIndex = 0;
}

void KeyboardLightEngine::startFireworks() {
    startCommon();
    // The first rocket goes up at once; waiting for chance would leave the keys dark.
    launchBurst();
}

// ---- routines of the preset table ----

void KeyboardLightEngine::stepDark() {
    clearBase();
}

void KeyboardLightEngine::stepWaveColumns() {
    const bool multi = m_setting.multiColor;
    stepShared(multi ? kWheelSteps : kWaveSteps);
    for (int c = 0; c < kLightColumns; ++c) {
        for (int r = 0; r < kLightRows; ++r) {
            const int slot = kColumnTable[c][r];
            if (multi)
                setBase(slot, WheelColour((m_a + 1 + 7 * c) % kWheelSteps), level());
            else
                setBase(slot, m_setting.colour, (level() * kWaveCurve[(m_a + 1 + 7 * c) % kWaveSteps]) >> 8);
        }
    }
}

void KeyboardLightEngine::stepFastWave() {
    const bool multi = m_setting.multiColor;
    stepShared(multi ? kWheelSteps : kRippleSteps);
    for (int c = 0; c < kLightColumns; ++c) {
        for (int r = 0; r < kLightRows; ++r) {
            const int slot = kColumnTable[c][r];
            if (multi)
                setBase(slot, WheelColour((m_a + 2 * c) % kWheelSteps), level());
            else
                setBase(slot, m_setting.colour, (level() * kRippleCurve[(m_a + 7 * c) % kRippleSteps]) >> 8);
        }
    }
}

void KeyboardLightEngine::stepPathWave() {
    const bool multi = m_setting.multiColor;
    stepShared(multi ? kWheelSteps : kWaveSteps);
    clearBase();
    for (int k = 0; k < kLightPathLength; ++k) {
        const int slot = kLightPath[k];
        if (multi)
            setBase(slot, WheelColour((m_a + 5 * k) % kWheelSteps), level());
        else
            setBase(slot, m_setting.colour, (level() * kWaveCurve[(m_a + 5 * k) % kWaveSteps]) >> 8);
    }
}

void KeyboardLightEngine::uniformStep(LightEffectKind kind, int limit) {
    // The keyboard's breathing hue visits 192 before it wraps; its blinks move the colour
    // index on. The shared position a of the other modes is the effect's step.
    static constexpr LightEffectStyle kStyle{false, true, 16, false, false};
    const LightEffectSetting setting{m_setting.brightness, m_setting.speed, m_setting.forward, m_setting.multiColor,
                                     m_setting.colour};
    LightEffectState state{limit > 0 ? m_a % limit : m_a, m_colourIndex, m_blinkOn, m_lastBlink};
    const LightColour colour = StepLightEffect(kind, kStyle, setting, state, GetTickCount());
    m_a = state.step;
    m_colourIndex = state.colourIndex;
    m_blinkOn = state.blinkOn;
    m_lastBlink = state.lastBlinkMs;
    for (int slot = 0; slot < kKeySlots; ++slot)
        setBase(slot, LightRgb{colour.r, colour.g, colour.b}, colour.brightness);
}

void KeyboardLightEngine::stepColourCycle() {
    uniformStep(LightEffectKind::ColourWheel, kWheelSteps);
}

void KeyboardLightEngine::stepBreathing() {
    uniformStep(LightEffectKind::Breathing, kBreathingSteps);
}

void KeyboardLightEngine::stepBreathingFour() {
    uniformStep(LightEffectKind::BreathingFourColours, kBreathingSteps);
}

void KeyboardLightEngine::stepStatic() {
    uniformStep(LightEffectKind::Static, 0);
}

void KeyboardLightEngine::stepBlink() {
    uniformStep(LightEffectKind::Blinking, 0);
}

void KeyboardLightEngine::stepBlinkFour() {
    uniformStep(LightEffectKind::BlinkingFourColours, 0);
}

// ---- reactive modes ----

void KeyboardLightEngine::KeyEvent(int slot, int state) {
    if (slot < 0 || slot >= kKeySlots || (state != 1 && state != 2))
        return;
    std::lock_guard<std::mutex> lock(m_lock);
    const int mode = m_setting.mode;
    if (mode == 7 || mode == 25) {
        m_keyState[slot] = static_cast<uint8_t>(state);
        // A release only lets the key fade: giving it a new colour then would make it
        // flash another hue as the finger lifts.
        if (state == 1) {
            m_intensity[slot] = 255;
            m_wheel[slot] = randomBelow(kWheelSteps);
        }
    }
    if ((mode == 8 || mode == 9 || mode == 25) && state == 1) {
        const int column = SlotColumn(slot);
        if (column < 0)
            return;
        if (static_cast<int>(m_ripples.size()) >= kMaxRipples)
            m_ripples.erase(m_ripples.begin());
        m_ripples.push_back(Ripple{column, SlotRow(slot), 0, randomBelow(kWheelSteps)});
    }
}

void KeyboardLightEngine::renderKeyStates(std::array<int, kKeySlots>& intensity, std::array<int, kKeySlots>& wheel) {
    const int fade = ReactiveFadeAmount(7);
    for (int slot = 0; slot < kKeySlots; ++slot) {
        if (m_keyState[slot] == 1) {
            m_intensity[slot] = std::min(255, m_intensity[slot] + 15);
        } else if (m_keyState[slot] == 2) {
            m_intensity[slot] = std::max(0, m_intensity[slot] - fade);
            if (m_intensity[slot] == 0)
                m_keyState[slot] = 0;
        }
        intensity[slot] = m_intensity[slot];
        wheel[slot] = m_wheel[slot];
    }
}

void KeyboardLightEngine::renderRipples(bool cross, std::array<int, kKeySlots>& intensity,
                                        std::array<int, kKeySlots>& wheel) {
    for (Ripple& ripple : m_ripples) {
        for (int c = 0; c < kLightColumns; ++c) {
            for (int r = 0; r < kLightRows; ++r) {
                const int slot = kColumnTable[c][r];
                if (slot >= kKeySlots)
                    continue;
                const int dc = std::abs(c - ripple.column);
                const int dr = std::abs(r - ripple.row);
                int distance;
                if (cross) {
                    // Along the pressed key's row and column only.
                    if (dc != 0 && dr != 0)
                        continue;
                    distance = dc + dr;
                } else {
                    distance = std::max(dc, dr);
                }
                const int local = ripple.age - kRippleStepsPerColumn * distance;
                const int index = (local + 1) * kRippleCurveStride;
                if (local < 0 || index >= kRippleSteps)
                    continue;
                const int value = kRippleCurve[index];
                if (value > intensity[slot]) {
                    intensity[slot] = value;
                    wheel[slot] = ripple.wheel;
                }
            }
        }
        ++ripple.age;
    }
    // A ripple is over once its front has left the widest keyboard behind.
    constexpr int kLife = kRippleStepsPerColumn * kLightColumns + kRippleSteps / kRippleCurveStride;
    m_ripples.erase(std::remove_if(m_ripples.begin(), m_ripples.end(), [](const Ripple& r) { return r.age > kLife; }),
                    m_ripples.end());
}

void KeyboardLightEngine::stepReactive() {
    std::array<int, kKeySlots> intensity{};
    std::array<int, kKeySlots> wheel{};
    renderKeyStates(intensity, wheel);
    for (int slot = 0; slot < kKeySlots; ++slot)
        setBase(slot, colourOf(wheel[slot]), (level() * intensity[slot]) >> 8);
}

void KeyboardLightEngine::stepRipple() {
    std::array<int, kKeySlots> intensity{};
    std::array<int, kKeySlots> wheel{};
    renderRipples(m_setting.mode == 9, intensity, wheel);
    for (int slot = 0; slot < kKeySlots; ++slot)
        setBase(slot, colourOf(wheel[slot]), (level() * intensity[slot]) >> 8);
}

void KeyboardLightEngine::stepReactiveRipple() {
    std::array<int, kKeySlots> intensity{};
    std::array<int, kKeySlots> wheel{};
    renderKeyStates(intensity, wheel);
    renderRipples(false, intensity, wheel);
    for (int slot = 0; slot < kKeySlots; ++slot)
        setBase(slot, colourOf(wheel[slot]), (level() * intensity[slot]) >> 8);
}

// ---- the keyboard's further routines ----

void KeyboardLightEngine::stepSparkle() {
    for (int i = 0; i < kSparklesPerStep; ++i) {
        const int slot = kSparkleSlots[randomBelow(kSparkleSlotCount)];
        m_wheel[slot] = randomBelow(kWheelSteps);
        m_intensity[slot] = 255;
    }
    const int fade = ReactiveFadeAmount(10);
    for (int slot = 0; slot < kKeySlots; ++slot) {
        m_intensity[slot] = std::max(0, m_intensity[slot] - fade);
        setBase(slot, colourOf(m_wheel[slot]), (level() * m_intensity[slot]) >> 8);
    }
}

void KeyboardLightEngine::stepAurora() {
    for (int slot = 0; slot < kKeySlots; ++slot) {
        m_wheel[slot] = (m_wheel[slot] + 1) % kWheelSteps;
        setBase(slot, WheelColour(m_wheel[slot]), level());
    }
}

void KeyboardLightEngine::stepRainbowRows() {
    stepShared(kWheelSteps);
    for (int c = 0; c < kLightColumns; ++c) {
        for (int r = 0; r < kLightRows; ++r)
            setBase(kColumnTable[c][r], WheelColour((m_a + 1 + 24 * r) % kWheelSteps), level());
    }
}

void KeyboardLightEngine::stepRain() {
    clearBase();
    for (int c = 0; c < static_cast<int>(m_drops.size()) && c < kLightColumns; ++c) {
        Drop& drop = m_drops[c];
        ++drop.head;
        if (drop.head - (kRainTailLength - 1) > kLastRow) {
            drop.head = -randomBelow(6);
            drop.wheel = randomBelow(kWheelSteps);
        }
        for (int r = 0; r < kLightRows; ++r) {
            // Backwards, the rain rises.
            const int row = m_setting.forward ? r : kLastRow - r;
            const int behind = drop.head - row;
            if (behind < 0 || behind >= kRainTailLength)
                continue;
            setBase(kColumnTable[c][r], colourOf(drop.wheel), (level() * kRainTail[behind]) >> 8);
        }
    }
}

void KeyboardLightEngine::stepFlow() {
    stepShared(kWheelSteps);
    for (int c = 0; c < kLightColumns; ++c) {
        for (int r = 0; r < kLightRows; ++r) {
            const int slot = kColumnTable[c][r];
            if (m_setting.multiColor)
                setBase(slot, WheelColour((m_a + 6 * c + 12 * r) % kWheelSteps), level());
            else
                setBase(slot, m_setting.colour, (level() * kWaveCurve[(m_a + 4 * c + 8 * r) % kWaveSteps]) >> 8);
        }
    }
}

void KeyboardLightEngine::stepMeteor() {
    clearBase();
    // The head runs the path, then on past its end until the tail has left it too.
    if (++m_head >= kLightPathLength + kMeteorTailLength) {
        m_head = 0;
        m_colourIndex = (m_colourIndex + 32) % kWheelSteps;
    }
    for (int k = 0; k < kLightPathLength; ++k) {
        const int position = m_setting.forward ? k : kLightPathLength - 1 - k;
        const int behind = m_head - position;
        if (behind < 0 || behind >= kMeteorTailLength)
            continue;
        setBase(kLightPath[k], colourOf(m_colourIndex + 6 * behind), (level() * kMeteorTail[behind]) >> 8);
    }
}

void KeyboardLightEngine::stepTrail() {
    clearBase();
    m_head = (m_head + 1) % kLightPathLength;
    m_colourIndex = (m_colourIndex + 2) % kWheelSteps;
    for (int behind = kTrailLength - 1; behind >= 0; --behind) {
        int position = (m_head - behind) % kLightPathLength;
        if (position < 0)
            position += kLightPathLength;
        const int k = m_setting.forward ? position : kLightPathLength - 1 - position;
        const int alpha =
            behind < kTrailFull ? level() : level() * (kTrailLength - behind) / (kTrailLength - kTrailFull + 1);
        setBase(kLightPath[k], colourOf(m_colourIndex - 8 * behind), alpha);
    }
}

void KeyboardLightEngine::stepZones() {
    // Four blocks of columns, each in one of the four colours; the colours move on one
    // block every 32 steps.
    stepShared(kBreathingSteps);
    for (int c = 0; c < kLightColumns; ++c) {
        const int zone = c * 4 / kLightColumns;
        const int pick = (zone + m_a / 32) % 4;
        const LightRgb rgb = m_setting.multiColor ? WheelColour(pick * 48) : fourColour(pick);
        for (int r = 0; r < kLightRows; ++r)
            setBase(kColumnTable[c][r], rgb, level());
    }
}

void KeyboardLightEngine::stepConverge() {
    stepShared(kWaveSteps);
    for (int c = 0; c < kLightColumns; ++c) {
        const int d = std::abs(c - kMiddleColumn);
        const LightRgb rgb = m_setting.multiColor ? WheelColour((2 * m_a + 16 * d) % kWheelSteps) : m_setting.colour;
        const int alpha = (level() * kWaveCurve[(m_a + 8 * d) % kWaveSteps]) >> 8;
        for (int r = 0; r < kLightRows; ++r)
            setBase(kColumnTable[c][r], rgb, alpha);
    }
}

void KeyboardLightEngine::stepHeartbeat() {
    m_a = (m_a + 1) % kHeartbeatSteps;
    if (m_a == 0)
        m_colourIndex = (m_colourIndex + 24) % kWheelSteps;
    const int alpha = (level() * kHeartbeatCurve[m_a]) >> 8;
    const LightRgb rgb = colourOf(m_colourIndex);
    for (int slot = 0; slot < kKeySlots; ++slot)
        setBase(slot, rgb, alpha);
}

void KeyboardLightEngine::stepCustom() {
    for (int slot = 0; slot < kKeySlots; ++slot)
        setBase(slot, m_custom[slot], level());
}

void KeyboardLightEngine::stepWaterfall() {
    stepShared(kWaveSteps);
    for (int c = 0; c < kLightColumns; ++c) {
        const LightRgb rgb = colourOf(8 * c + 2 * m_a);
        for (int r = 0; r < kLightRows; ++r) {
            // The bright band of a row is where the row above was 12 steps earlier.
            const int phase = ((12 * r - m_a) % kWaveSteps + kWaveSteps) % kWaveSteps;
            setBase(kColumnTable[c][r], rgb, (level() * kWaveCurve[phase]) >> 8);
        }
    }
}

void KeyboardLightEngine::launchBurst() {
    if (static_cast<int>(m_bursts.size()) >= kMaxBursts)
        return;
    const int slot = kSparkleSlots[randomBelow(kSparkleSlotCount)];
    m_bursts.push_back(Burst{SlotColumn(slot), SlotRow(slot), 0, randomBelow(kWheelSteps)});
}

void KeyboardLightEngine::stepFireworks() {
    if (m_bursts.empty() || randomBelow(5) == 0)
        launchBurst();
    std::array<int, kKeySlots> intensity{};
    std::array<int, kKeySlots> wheel{};
    for (Burst& b : m_bursts) {
        const int radius = b.age / 2;
        const int strength = std::max(0, 255 - 15 * b.age);
        for (int c = 0; c < kLightColumns; ++c) {
            for (int r = 0; r < kLightRows; ++r) {
                const int slot = kColumnTable[c][r];
                if (slot >= kKeySlots)
                    continue;
                const int d = std::max(std::abs(c - b.column), std::abs(r - b.row));
                // A bright ring with a dimmer one just inside it.
                const int value = d == radius ? strength : (d + 1 == radius ? strength / 2 : 0);
                if (value > intensity[slot]) {
                    intensity[slot] = value;
                    wheel[slot] = b.wheel;
                }
            }
        }
        ++b.age;
    }
    m_bursts.erase(std::remove_if(m_bursts.begin(), m_bursts.end(), [](const Burst& b) { return b.age > kBurstLife; }),
                   m_bursts.end());
    for (int slot = 0; slot < kKeySlots; ++slot)
        setBase(slot, colourOf(wheel[slot]), (level() * intensity[slot]) >> 8);
}

void KeyboardLightEngine::stepVortex() {
    stepShared(kWheelSteps);
    for (int c = 0; c < kLightColumns; ++c) {
        for (int r = 0; r < kLightRows; ++r) {
            const int slot = kColumnTable[c][r];
            if (slot >= kKeySlots)
                continue;
            const int angle = (kVortexAngle[slot] + m_a) % kWheelSteps;
            if (m_setting.multiColor)
                setBase(slot, WheelColour(angle), level());
            else
                setBase(slot, m_setting.colour, (level() * kWaveCurve[angle / 2]) >> 8);
        }
    }
}

void KeyboardLightEngine::stepMusic() {
    // The bars jump up with the sound and sink at a steady pace, as a level meter does;
    // the pace is by the clock, as frames come both from the recorder and from the steps.
    const uint64_t now = GetTickCount();
    const int fall = m_barFall.Step(now);
    const bool stale = m_audioBands && now - m_audioFrameMs > kAudioStaleMs;
    for (int c = 0; c < kLightColumns; ++c) {
        int target = m_audio.level * kMusicBarShape[c] / 255;
        if (m_audioBands)
            target = AudioMix(m_audio.bands[static_cast<size_t>(AudioBandFor(c, kLightColumns))], target);
        if (stale)
            target = 0;
        int& height = m_barHeight[static_cast<size_t>(c)];
        height = std::max(target, height - fall);
        const int litRows = (height * kLightRows + 254) / 255;
        for (int r = 0; r < kLightRows; ++r) {
            const int fromBottom = kLastRow - r;
            if (fromBottom < litRows) {
                // Green at the bottom to red at the top when the bars take the wheel.
                const LightRgb rgb = m_audioWheel ? WheelColour(64 - fromBottom * 12) : m_audioForeground;
                setBase(kColumnTable[c][r], rgb, level());
            } else {
                setBase(kColumnTable[c][r], m_audioBackground, level() / 4);
            }
        }
    }
}

void KeyboardLightEngine::stepAmbient() {
    stepShared(kWheelSteps);
    for (int c = 0; c < kLightColumns; ++c) {
        const LightRgb rgb = colourOf(m_a + 2 * c);
        // A soft glow that drifts across the columns between three quarters and full light.
        const int glow = 192 + kBreathingCurve[(2 * m_a + 9 * c) % kBreathingSteps] / 4;
        for (int r = 0; r < kLightRows; ++r)
            setBase(kColumnTable[c][r], rgb, (level() * glow) >> 8);
    }
}

// ---- overlays ----

void KeyboardLightEngine::SetSlotEffect(int slot, const SlotEffect& effect) {
    if (slot < 0 || slot >= kKeySlots)
        return;
    std::lock_guard<std::mutex> lock(m_lock);
    m_effects[slot] = effect;
    m_effects[slot].brightness = static_cast<uint8_t>(std::min<int>(effect.brightness, kBrightnessLevels - 1));
    m_effects[slot].speed = static_cast<uint8_t>(std::min<int>(effect.speed, kBrightnessLevels - 1));
    m_overlay[slot] = OverlayState{};
    m_overlay[slot].lastBlink = GetTickCount();
    compose();
}

SlotEffect KeyboardLightEngine::GetSlotEffect(int slot) const {
    std::lock_guard<std::mutex> lock(m_lock);
    return slot >= 0 && slot < kKeySlots ? m_effects[slot] : SlotEffect{};
}

void KeyboardLightEngine::ClearSlotEffects() {
    std::lock_guard<std::mutex> lock(m_lock);
    m_effects.fill(SlotEffect{});
    m_overlay.fill(OverlayState{});
    compose();
}

void KeyboardLightEngine::Overlays() {
    std::lock_guard<std::mutex> lock(m_lock);
    const uint64_t now = GetTickCount();
    const uint64_t elapsedMs = now >= m_lastOverlayMs ? now - m_lastOverlayMs : 0;
    m_lastOverlayMs = now;
    const uint64_t micros = m_tickRemainder + elapsedMs * 1000;
    const int ticks = static_cast<int>(std::min<uint64_t>(micros / kTickMicros, kMaxOverlayTicks));
    m_tickRemainder = micros % kTickMicros;

    for (int slot = 0; slot < kKeySlots; ++slot) {
        const SlotEffect& e = m_effects[slot];
        if (!e.enabled)
            continue;
        OverlayState& s = m_overlay[slot];
        switch (e.mode) {
        case 0: // breathing: faster with speed; each breath takes the next hue
            s.step += (e.speed + 4) * ticks;
            while (s.step >= kBreathingSteps) {
                s.step -= kBreathingSteps;
                s.wheel = (s.wheel + 16) % kWheelSteps;
            }
            break;
        case 2:
            if (now - s.lastBlink >= static_cast<uint64_t>(kOverlayBlinkFactor[e.speed]) * kBlinkUnitMs) {
                s.on = !s.on;
                s.lastBlink = now;
                if (s.on)
                    s.wheel = (s.wheel + 16) % kWheelSteps;
            }
            break;
        case 3:
            s.wheel = wrapWheel(s.wheel + (e.direction ? 1 : -1) * kOverlayCycleStep[e.speed] * ticks);
            break;
        default:
            break;
        }
    }
    m_ramp = std::min(255, m_ramp + kRampPerTick * ticks);
    compose();
}

bool KeyboardLightEngine::WantsEachTick() const {
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_ramp < 255)
        return true;
    return std::any_of(m_effects.begin(), m_effects.end(), [](const SlotEffect& e) { return e.enabled; });
}

void KeyboardLightEngine::compose() {
    m_frame = m_base;
    // First step: the per-key effects replace the mode's colour on their keys.
    for (int slot = 0; slot < kKeySlots; ++slot) {
        const SlotEffect& e = m_effects[slot];
        if (!e.enabled)
            continue;
        const OverlayState& s = m_overlay[slot];
        const LightRgb fixed{e.red, e.green, e.blue};
        const LightRgb rgb = e.multiColor ? WheelColour(s.wheel) : fixed;
        const uint8_t bright = BrightnessForLevel(e.brightness);
        LightColour out{};
        switch (e.mode) {
        case 0:
            out = {rgb.r, rgb.g, rgb.b, static_cast<uint8_t>((kBreathingCurve[s.step] * bright) >> 8)};
            break;
        case 1:
            out = {rgb.r, rgb.g, rgb.b, bright};
            break;
        case 2:
            if (s.on)
                out = {rgb.r, rgb.g, rgb.b, bright};
            break;
        case 3: {
            const LightRgb w = WheelColour(s.wheel);
            out = {w.r, w.g, w.b, bright};
            break;
        }
        default:
            out = m_base[slot];
            break;
        }
        m_frame[slot] = out;
    }
    // Second: a new mode fades in over a few ticks instead of switching with a hard cut.
    if (m_ramp < 255) {
        for (LightColour& c : m_frame)
            c.brightness = static_cast<uint8_t>(c.brightness * m_ramp / 255);
    }
    // Third: slots with no key on this keyboard stay dark, so the page never shows light
    // where the keyboard has none.
    for (int slot = 0; slot < kKeySlots; ++slot) {
        if (!m_present[slot])
            m_frame[slot] = LightColour{};
    }
}

// ---- inputs and outputs ----

void KeyboardLightEngine::SetCustomColours(const std::array<LightRgb, kKeySlots>& colours) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_custom = colours;
}

void KeyboardLightEngine::SetCustomColour(int slot, const LightRgb& colour) {
    if (slot < 0 || slot >= kKeySlots)
        return;
    std::lock_guard<std::mutex> lock(m_lock);
    m_custom[slot] = colour;
}

std::array<LightRgb, kKeySlots> KeyboardLightEngine::CustomColours() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_custom;
}

void KeyboardLightEngine::SetPresentSlots(const std::array<bool, kKeySlots>& present) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_present = present;
    compose();
}

void KeyboardLightEngine::SetAudioLevel(uint8_t level) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_audio = AudioShown{};
    m_audio.level = level;
    m_audioBands = false;
}

void KeyboardLightEngine::SetAudioFrame(const AudioInput& input) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_audioFrameMs = GetTickCount();
    m_audio = m_gain.Apply(input, m_audioFrameMs);
    m_audioBands = true;
    if (m_setting.mode == kMusicMode) {
        stepMusic();
        compose();
    }
}

void KeyboardLightEngine::ClearAudio() {
    std::lock_guard<std::mutex> lock(m_lock);
    m_audio = AudioShown{};
    m_audioBands = false;
    m_gain.Reset();
    if (m_setting.mode == kMusicMode) {
        stepMusic();
        compose();
    }
}

AudioShown KeyboardLightEngine::ShownAudio() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_audio;
}

void KeyboardLightEngine::SetAudioColours(const LightRgb& background, const LightRgb& foreground, bool wheel) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_audioBackground = background;
    m_audioForeground = foreground;
    m_audioWheel = wheel;
}

void KeyboardLightEngine::SetSlotColour(int slot, const LightColour& colour) {
    if (slot < 0 || slot >= kKeySlots)
        return;
    std::lock_guard<std::mutex> lock(m_lock);
    m_base[slot] = colour;
    m_frame[slot] = m_present[slot] ? colour : LightColour{};
}

LightColour KeyboardLightEngine::SlotColour(int slot) const {
    std::lock_guard<std::mutex> lock(m_lock);
    return slot >= 0 && slot < kKeySlots ? m_frame[slot] : LightColour{};
}

KeyFrame KeyboardLightEngine::Frame() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_frame;
}

KeyFrame KeyboardLightEngine::BaseFrame() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_base;
}

int KeyboardLightEngine::Phase() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_a;
}

int KeyboardLightEngine::ColourIndex() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_colourIndex;
}

uint8_t KeyboardLightEngine::Intensity(int slot) const {
    std::lock_guard<std::mutex> lock(m_lock);
    return slot >= 0 && slot < kKeySlots ? static_cast<uint8_t>(m_intensity[slot]) : 0;
}

} // namespace talyx
