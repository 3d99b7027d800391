#pragma once

#include <cstdint>

namespace talyx {

// What the lighting page shows for each mode of each lighting table. A lighting table is
// chosen by the device (1 keyboard, 2 mouse, 3 mouse pad, 7 headset; 4 and 5 are further
// tables a device may use). Plain data, no controls: the page applies it.

// A group in a row: enabled, disabled, or left as the table's reset made it.
enum class GroupState : uint8_t { Keep, On, Off };

// Which texts the two direction options carry.
enum class DirectionTexts : uint8_t {
    Keep,
    RightLeft, // "right to left" / "left to right"
    Clockwise, // "clockwise" / "anticlockwise"
    DownUp,    // "bottom to top" / "top to bottom"
    UpDown,    // "top to bottom" / "bottom to top"
    OutsideIn, // "outside in" / "inside out"
};

struct LightModeRow {
    GroupState sevenColour;
    GroupState colour;
    GroupState palette;
    GroupState direction;
    GroupState brightness;
    GroupState speed;
    bool sync = false;          // the synchronise button may show
    bool colourSideOff = false; // the whole colour side disabled
    bool speedHidden = false;   // the speed row hidden (not only disabled)
    bool zoneSelector = false;  // the keyboard's zone pattern selector shown
    bool customRow = false;     // the keyboard's custom group row shown
    bool audioSelector = false; // the sound selector shown and the audio colours page
    DirectionTexts texts = DirectionTexts::Keep;
};

// What a table's reset does before a row is applied.
struct LightModeReset {
    bool applies = false;          // type 5 and unknown types have none
    bool touchesDirection = false; // direction group enabled, sync button hidden
    bool keyboardRows = false;     // zone, custom rows hidden; colour side enabled
    bool audioRow = false;         // sound selector hidden, colours page 0
    bool speedShown = false;       // speed row visible again
    DirectionTexts texts = DirectionTexts::Keep;
};

// The row for a mode of a lighting table; false when the table is unknown (the page then
// leaves its controls as they are).
bool LightModeRowFor(int lightType, int mode, LightModeRow& row);
LightModeReset LightModeResetFor(int lightType);

// The language keys of the first ("deng_FXL_check") and second direction option.
const char* DirectionTextFirst(DirectionTexts texts);
const char* DirectionTextSecond(DirectionTexts texts);

} // namespace talyx
