#pragma once

#include <cstddef>
#include <cstdint>

// The named actions the key assignment page offers, in the order of its lists, and the
// caption names the key buttons show for them. The page's combos list the rows of these
// tables in this order; the key captions look the same rows up by code.
namespace talyx {

struct NamedCode {
    uint32_t code;
    const char* name;
};

template <class T, size_t N> constexpr size_t TableSize(const T (&)[N]) {
    return N;
}

// Left, middle, right, forward, back.
extern const NamedCode kMouseButtonActions[5];
// Increase, decrease, cycle.
extern const NamedCode kDpiStepActions[3];
// Power, sleep, wake up.
extern const NamedCode kSystemActions[3];
// Consumer usages, stored low byte first (code high = usage bits 0-7).
extern const NamedCode kMediaActions[18];
// Keyboard keys with the right Ctrl modifier (0x10): open, new, undo, save, copy, cut,
// paste, find, select all, zoom out, zoom in.
extern const NamedCode kShortcutActions[11];
// Recoil patterns 0 to 3 (type 0x72, code high = pattern).
extern const char* const kRecoilPatternNames[4];

// The row of a table with this code, or -1.
template <size_t N> int FindNamedCode(const NamedCode (&table)[N], uint32_t code) {
    for (size_t i = 0; i < N; ++i) {
        if (table[i].code == code)
            return static_cast<int>(i);
    }
    return -1;
}

// The row's code when `row` is inside the table; `fallback` otherwise, so a position
// that no list holds never reaches past a table.
template <size_t N> uint32_t NamedCodeAt(const NamedCode (&table)[N], int row, uint32_t fallback) {
    return row >= 0 && static_cast<size_t>(row) < N ? table[row].code : fallback;
}

} // namespace talyx
