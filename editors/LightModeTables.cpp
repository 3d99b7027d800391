#include "editors/LightModeTables.h"

#include <cstddef>

namespace talyx {
namespace {

constexpr GroupState E = GroupState::On;
constexpr GroupState D = GroupState::Off;
constexpr GroupState K = GroupState::Keep;
constexpr int kAbove = 255; // a range that runs to the end of the byte

struct Range {
    int first;
    int last;
    LightModeRow row;
};

// Columns: seven-colour, colour, palette, direction, brightness, speed, then sync and the
// extras.
constexpr LightModeRow plain(GroupState s, GroupState c, GroupState p, GroupState d, GroupState b, GroupState v,
                             bool sync = false) {
    return LightModeRow{s, c, p, d, b, v, sync, false, false, false, false, false, DirectionTexts::Keep};
}

constexpr LightModeRow withTexts(LightModeRow r, DirectionTexts texts) {
    r.texts = texts;
    return r;
}

constexpr LightModeRow colourOff(LightModeRow r) {
    r.colourSideOff = true;
    return r;
}

constexpr LightModeRow allOff(bool sync = false) {
    return plain(D, D, D, D, D, D, sync);
}

LightModeRow keyboardZone() {
    LightModeRow r = colourOff(plain(D, D, D, D, E, E));
    r.speedHidden = true;
    r.zoneSelector = true;
    return r;
}

LightModeRow keyboardCustom() {
    LightModeRow r = plain(D, E, E, D, E, D);
    r.customRow = true;
    r.speedHidden = true;
    return r;
}

LightModeRow audio() {
    LightModeRow r = plain(E, E, E, K, E, D);
    r.speedHidden = true;
    r.audioSelector = true;
    return r;
}

// The keyboard. Modes 0, 19 and beyond 30 have nothing to set.
const Range kKeyboard[] = {
    {1, 2, plain(E, E, E, K, E, E)},
    {3, 3, withTexts(plain(E, E, E, K, E, E), DirectionTexts::Clockwise)},
    {24, 24, withTexts(plain(E, E, E, K, E, E), DirectionTexts::Clockwise)},
    {4, 4, colourOff(plain(D, D, D, D, E, E, true))},
    {5, 5, plain(E, E, E, D, E, E, true)},
    {23, 23, plain(E, E, E, D, E, E, true)},
    {6, 6, plain(E, E, E, D, E, D, true)},
    {7, 10, plain(E, E, E, D, E, E)},
    {13, 15, plain(E, E, E, D, E, E)},
    {22, 22, plain(E, E, E, D, E, E)},
    {25, 25, plain(E, E, E, D, E, E)},
    {11, 11, colourOff(plain(D, D, D, D, E, E))},
    {26, 26, colourOff(plain(D, D, D, D, E, E))},
    {12, 12, withTexts(plain(D, D, D, K, E, E), DirectionTexts::DownUp)},
    {16, 16, plain(E, E, E, D, E, D)},
    {17, 17, keyboardZone()},
    {18, 18, withTexts(colourOff(plain(D, D, D, E, E, D)), DirectionTexts::OutsideIn)},
    {20, 20, keyboardCustom()},
    {21, 21, withTexts(plain(E, E, E, K, E, E), DirectionTexts::UpDown)},
    {27, 27, plain(D, D, D, D, E, E)},
    {28, 28, allOff(true)},
    {29, 29, audio()},
    {30, 30, colourOff(plain(D, D, D, D, E, D))},
    {0, 0, allOff()},
    {19, 19, allOff()},
    {31, kAbove, allOff()},
};

// The mouse; its sync button never shows.
const Range kMouse[] = {
    {0, 0, plain(E, E, E, K, E, E)},
    {5, 5, plain(E, E, E, K, E, E)},
    {1, 1, plain(D, D, D, D, E, E)},
    {2, 2, plain(E, E, E, D, E, E)},
    {4, 4, plain(E, E, E, D, E, E)},
    {6, 6, plain(E, E, E, D, E, E)},
    {3, 3, plain(D, E, E, D, E, D)},
    {7, 8, plain(D, D, D, D, E, E)},
    {11, 11, audio()},
    {9, 10, allOff()},
    {12, kAbove, allOff()},
};

// The mouse pad, the headset and table 4.
const Range kPadAndHeadset[] = {
    {0, 0, plain(E, E, E, K, E, E)},
    {1, 1, plain(D, D, D, D, E, E, true)},
    {2, 2, plain(E, E, E, D, E, E, true)},
    {4, 4, plain(E, E, E, D, E, E, true)},
    {3, 3, plain(D, E, E, D, E, D, true)},
    {8, 8, allOff(true)},
    {5, 7, allOff()},
    {9, kAbove, allOff()},
};

// Table 5 leaves the direction group alone.
const Range kTable5[] = {
    {0, 0, plain(E, E, E, K, E, E)}, {2, 3, plain(E, E, E, K, E, E)},      {1, 1, plain(D, E, E, K, E, D)},
    {4, 4, plain(D, D, D, K, E, E)}, {5, kAbove, plain(D, D, D, K, D, D)},
};

template <size_t N> bool find(const Range (&table)[N], int mode, LightModeRow& row) {
    for (const Range& r : table) {
        if (mode >= r.first && mode <= r.last) {
            row = r.row;
            return true;
        }
    }
    return false;
}

struct TextPair {
    DirectionTexts texts;
    const char* first;
    const char* second;
};

const TextPair kTexts[] = {
    {DirectionTexts::RightLeft, "light_set_right_to_left_text", "light_set_left_to_right_text"},
    {DirectionTexts::Clockwise, "light_set_clockwise_text", "light_set_anticlockwise_text"},
    {DirectionTexts::DownUp, "light_set_down_to_up_text", "light_set_up_to_down_text"},
    {DirectionTexts::UpDown, "light_set_up_to_down_text", "light_set_down_to_up_text"},
    {DirectionTexts::OutsideIn, "light_set_outside_to_inside_text", "light_set_inside_to_outside_text"},
};

const TextPair* textPair(DirectionTexts texts) {
    for (const TextPair& t : kTexts)
        if (t.texts == texts)
            return &t;
    return nullptr;
}

} // namespace

bool LightModeRowFor(int lightType, int mode, LightModeRow& row) {
    if (mode < 0)
        mode = kAbove;
    switch (lightType) {
    case 1:
        return find(kKeyboard, mode, row);
    case 2:
        return find(kMouse, mode, row);
    case 3:
    case 4:
    case 7:
        return find(kPadAndHeadset, mode, row);
    case 5:
        return find(kTable5, mode, row);
    default:
        return false;
    }
}

LightModeReset LightModeResetFor(int lightType) {
    LightModeReset r;
    switch (lightType) {
    case 1:
        r = {true, true, true, true, true, DirectionTexts::RightLeft};
        break;
    case 2:
        r = {true, true, false, true, true, DirectionTexts::DownUp};
        break;
    case 3:
    case 4:
    case 7:
        r = {true, true, false, false, false, DirectionTexts::Keep};
        break;
    default:
        break;
    }
    return r;
}

const char* DirectionTextFirst(DirectionTexts texts) {
    const TextPair* t = textPair(texts);
    return t ? t->first : nullptr;
}

const char* DirectionTextSecond(DirectionTexts texts) {
    const TextPair* t = textPair(texts);
    return t ? t->second : nullptr;
}

} // namespace talyx
