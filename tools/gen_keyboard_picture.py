#!/usr/bin/env python3
"""Generates the keyboard picture of the keyboard page.

Writes
  skin/XML/DeviceXml/keyboardpicture.xml   the key panel: one "key_N" and one "light_N" button per
                                           used slot of the key slot table, placed like the real keys
  skin/common/keyboard/kb_case.svg         the case behind the keys, drawn to the panel's exact size

The slots come from the key slot table in keyboard/KeyTables.cpp (its "// N name" comments), so a slot
that holds a key but has no place on the picture, or a place for a slot that is empty, stops the script
instead of leaving a key the page cannot bind.

    python3 tools/gen_keyboard_picture.py           # rewrite both files
    python3 tools/gen_keyboard_picture.py --check   # exit 1 if the committed files are out of date
"""

import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
KEY_TABLES = os.path.join(ROOT, "keyboard", "KeyTables.cpp")
OUT_XML = os.path.join(ROOT, "skin", "XML", "DeviceXml", "keyboardpicture.xml")
OUT_SVG = os.path.join(ROOT, "skin", "common", "keyboard", "kb_case.svg")
CASE_IMAGE = "common/keyboard/kb_case.svg"

UNIT = 31          # one key unit (1u) in logical pixels
GAP = 1            # taken off each key's right and bottom edge; the cap draws 1 px inside that
PAD_X = 12         # case border left and right of the keys
PAD_Y = 12         # case border above and below the keys
SLOTS = 170

# Blocks, in key units from the top left of the keys. The M keys stand in their own column,
# then the main block (15u wide), the navigation block and the number pad, each 0.25u apart.
COL_M = 0.0
COL_MAIN = 1.25
COL_NAV = COL_MAIN + 15.25
COL_PAD = COL_NAV + 3.25
ROW_F = 0.0
ROW_1 = 1.25          # number row; rows 2..5 follow at 1u each
WIDTH_U = COL_PAD + 4
HEIGHT_U = ROW_1 + 5

# Key kinds: cap colour and caption colour.
KINDS = {
    "alpha": ("#FF1E222B", "#FFE8EAF0"),
    "mod": ("#FF191C24", "#FFB4BBC9"),
    "macro": ("#FF221E31", "#FFC9B8FF"),
    "special": ("#FF16232C", "#FF7FE6FF"),
    "intl": ("#FF17191F", "#FF8A93A6"),
}

# (slot name, caption, width in units, kind); None is a gap of the given width.
# The width of a tall key is its width; the height goes in TALL below.
ROWS_MAIN = [
    # F row
    [("Esc", "Esc", 1, "mod"), (None, 1), ("F1", "F1", 1, "mod"), ("F2", "F2", 1, "mod"), ("F3", "F3", 1, "mod"),
     ("F4", "F4", 1, "mod"), (None, 0.5), ("F5", "F5", 1, "mod"), ("F6", "F6", 1, "mod"), ("F7", "F7", 1, "mod"),
     ("F8", "F8", 1, "mod"), (None, 0.5), ("F9", "F9", 1, "mod"), ("F10", "F10", 1, "mod"),
     ("F11", "F11", 1, "mod"), ("F12", "F12", 1, "mod")],
    # number row: the yen key of Japanese boards sits before a short Backspace
    [("`", "`", 1, "alpha"), ("1", "1", 1, "alpha"), ("2", "2", 1, "alpha"), ("3", "3", 1, "alpha"),
     ("4", "4", 1, "alpha"), ("5", "5", 1, "alpha"), ("6", "6", 1, "alpha"), ("7", "7", 1, "alpha"),
     ("8", "8", 1, "alpha"), ("9", "9", 1, "alpha"), ("0", "0", 1, "alpha"), ("-", "-", 1, "alpha"),
     ("=", "=", 1, "alpha"), ("K14", "\u00a5", 1, "intl"), ("BackSpace", "BS", 1, "mod")],
    [("Tab", "Tab", 1.5, "mod"), ("Q", "Q", 1, "alpha"), ("W", "W", 1, "alpha"), ("E", "E", 1, "alpha"),
     ("R", "R", 1, "alpha"), ("T", "T", 1, "alpha"), ("Y", "Y", 1, "alpha"), ("U", "U", 1, "alpha"),
     ("I", "I", 1, "alpha"), ("O", "O", 1, "alpha"), ("P", "P", 1, "alpha"), ("[", "[", 1, "alpha"),
     ("]", "]", 1, "alpha"), ("xiegang", "\\", 1.5, "alpha")],
    # home row: the ISO key left of Enter
    [("Caplk", "Caps", 1.75, "mod"), ("A", "A", 1, "alpha"), ("S", "S", 1, "alpha"), ("D", "D", 1, "alpha"),
     ("F", "F", 1, "alpha"), ("G", "G", 1, "alpha"), ("H", "H", 1, "alpha"), ("J", "J", 1, "alpha"),
     ("K", "K", 1, "alpha"), ("L", "L", 1, "alpha"), (";", ";", 1, "alpha"), ("'", "'", 1, "alpha"),
     ("K42", "#", 1, "intl"), ("Enter", "Enter", 1.25, "mod")],
    # shift row: the ISO key right of left Shift, the Japanese ro key left of right Shift
    [("LShift", "Shift", 1.25, "mod"), ("K45", "\\|", 1, "intl"), ("Z", "Z", 1, "alpha"), ("X", "X", 1, "alpha"),
     ("C", "C", 1, "alpha"), ("V", "V", 1, "alpha"), ("B", "B", 1, "alpha"), ("N", "N", 1, "alpha"),
     ("M", "M", 1, "alpha"), ("<", ",", 1, "alpha"), (".", ".", 1, "alpha"), ("/", "/", 1, "alpha"),
     ("K56", "\u308d", 1, "intl"), ("RShift", "Shift", 1.75, "mod")],
    [("LCtrl", "Ctrl", 1.25, "mod"), ("LWin", "Win", 1.25, "mod"), ("LAlt", "Alt", 1.25, "mod"),
     ("Space", "Space", 6.25, "alpha"), ("RAlt", "Alt", 1, "mod"), ("RWin", "Win", 1, "mod"), ("FN", "Fn", 1, "special"),
     ("App", "App", 1, "mod"), ("RCtrl", "Ctrl", 1, "mod")],
]

# The navigation block. Its two free rows hold the Japanese conversion keys and the Korean keys,
# so the picture carries every key the keyboard can report without squeezing the space bar.
ROWS_NAV = [
    [("Print Scr", "Prt", 1, "mod"), ("Scroll Lock", "Scr", 1, "mod"), ("Pause", "Pau", 1, "mod")],
    [("Insert", "Ins", 1, "mod"), ("Home", "Hm", 1, "mod"), ("Page Up", "Pg\u2191", 1, "mod")],
    [("Delete", "Del", 1, "mod"), ("End", "End", 1, "mod"), ("Page Down", "Pg\u2193", 1, "mod")],
    [("K131", "\u7121\u2060\u5909", 1, "intl"), ("K132", "\u5909\u2060\u63db", 1, "intl"),
     ("K133", "\u304b\u2060\u306a", 1, "intl")],
    [("K150", "\ud55c\u2060\uc790", 1, "intl"), ("Up", "\u2191", 1, "mod"), ("K151", "\ud55c\u2060\uc601", 1, "intl")],
    [("Left", "\u2190", 1, "mod"), ("Down", "\u2193", 1, "mod"), ("Right", "\u2192", 1, "mod")],
]

# The number pad; above it, where the status lights usually sit, the keypad comma of Brazilian
# boards and the two lighting and game-mode keys.
ROWS_PAD = [
    [(None, 1), ("K107", ",", 1, "intl"), ("GM", "GM", 1, "special"), ("COLOR", "RGB", 1, "special")],
    [("Num Lock", "NLk", 1, "mod"), ("Num /", "/", 1, "alpha"), ("Num *", "*", 1, "alpha"), ("Num -", "-", 1, "alpha")],
    [("Num 7", "7", 1, "alpha"), ("Num 8", "8", 1, "alpha"), ("Num 9", "9", 1, "alpha"), ("Num +", "+", 1, "alpha")],
    [("Num 4", "4", 1, "alpha"), ("Num 5", "5", 1, "alpha"), ("Num 6", "6", 1, "alpha")],
    [("Num 1", "1", 1, "alpha"), ("Num 2", "2", 1, "alpha"), ("Num 3", "3", 1, "alpha"),
     ("Num Enter", "Ent", 1, "mod")],
    [("Num 0", "0", 2, "alpha"), ("Decimal", ".", 1, "alpha")],
]
TALL = {"Num +": 2, "Num Enter": 2}

ROWS_M = [[("M%d" % i, "M%d" % i, 1, "macro")] for i in range(1, 6)]


def row_top(index):
    return ROW_F if index == 0 else ROW_1 + (index - 1)


def place_block(rows, left, first_row, out):
    for r, row in enumerate(rows):
        x = left
        for item in row:
            if item[0] is None:
                x += item[1]
                continue
            name, caption, width, kind = item
            out.append((name, caption, x, row_top(first_row + r), width, TALL.get(name, 1), kind))
            x += width


def placed_keys():
    keys = []
    place_block(ROWS_MAIN, COL_MAIN, 0, keys)
    place_block(ROWS_NAV, COL_NAV, 0, keys)
    place_block(ROWS_PAD, COL_PAD, 0, keys)
    place_block(ROWS_M, COL_M, 1, keys)
    return keys


def read_slot_table():
    """Slot number → key name, for the slots of the table that hold a key."""
    with open(KEY_TABLES, encoding="utf-8") as f:
        text = f.read()
    body = text[text.index("kKeySlotTable[kKeySlots] = {"):]
    body = body[:body.index("};")]
    slots = {}
    for m in re.finditer(r"^[ \t]*(kEmptySlot|0x[0-9A-Fa-f]+),[ \t]*//[ \t]*(\d+)[ \t]*(.*?)[ \t]*$", body, re.M):
        if m.group(1) != "kEmptySlot":
            slots[int(m.group(2))] = m.group(3)
    return slots


def px(units):
    return int(round(units * UNIT))


def xml_escape(text):
    return (text.replace("&", "&amp;").replace('"', "&quot;").replace("<", "&lt;").replace(">", "&gt;"))


def build(slots):
    keys = placed_keys()
    by_name = {}
    for key in keys:
        if key[0] in by_name:
            sys.exit("key %r placed twice" % key[0])
        by_name[key[0]] = key
    slot_of = {name: slot for slot, name in slots.items()}
    missing = sorted(set(slot_of) - set(by_name), key=lambda n: slot_of[n])
    unknown = sorted(set(by_name) - set(slot_of))
    if missing:
        sys.exit("slots with a key but no place on the picture: %s" % ", ".join(
            "%d %s" % (slot_of[n], n) for n in missing))
    if unknown:
        sys.exit("keys on the picture that no slot holds: %s" % ", ".join(unknown))

    width = px(WIDTH_U) + 2 * PAD_X
    height = px(HEIGHT_U) + 2 * PAD_Y

    def button(prefix, slot, key, show_light):
        name, caption, x, y, w, h, kind = key
        cap, text = KINDS[kind]
        left = PAD_X + px(x)
        top = PAD_Y + px(y)
        right = PAD_X + px(x + w) - GAP
        bottom = PAD_Y + px(y + h) - GAP
        font = "8" if len(caption) == 1 else "10"
        return ('            <DeviceKeyButton name="%s%d" float="true" pos="%d,%d,%d,%d" text="%s" font="%s" '
                'textcolor="%s" capcolor="%s" underlay="%s" showlight="%s"/>'
                % (prefix, slot, left, top, right, bottom, xml_escape(caption), font, text, cap, PLATE,
                   "true" if show_light else "false"))

    ordered = sorted(slot_of.items(), key=lambda item: item[1])
    lines = [
        '<?xml version="1.0" encoding="utf-8"?>',
        "<!-- Generated by tools/gen_keyboard_picture.py; edit the script, not this file.",
        "     The keyboard picture: tab 0 holds the key buttons (\"key_\" + slot, lit as the keyboard is), tab 1 the light",
        "     buttons (\"light_\" + slot) at the same places; the page shows one of them. -->",
        '<SelectPanel name="keyboard_device_key_light" width="%d" height="%d" bkimage="%s">'
        % (width, height, CASE_IMAGE),
        '   <TabLayout name="keyboard_key_light_tab" selectedid="0">',
        '      <Container name="keyboard_key_layout">',
    ]
    lines += [button("key_", slot, by_name[name], True) for name, slot in ordered]
    lines += ['      </Container>', '      <Container name="keyboard_light_layout">']
    lines += [button("light_", slot, by_name[name], True) for name, slot in ordered]
    lines += ['      </Container>', '   </TabLayout>', '</SelectPanel>', '']
    return "\n".join(lines), case_svg(width, height)


def case_svg(width, height):
    """The case: a dark shell with a recessed plate and an RGB light bar along the front edge."""
    plate_x, plate_y = PAD_X - 5, PAD_Y - 5
    plate_w, plate_h = width - 2 * plate_x, height - 2 * plate_y
    # status lights above the number pad's first column
    led_x = PAD_X + px(COL_PAD) + 6
    led_y = PAD_Y + px(ROW_F) + 12
    leds = "".join(
        '<circle cx="%d" cy="%d" r="2.2" fill="%s"/>' % (led_x + i * 8, led_y, colour)
        for i, colour in enumerate(("#00D1FF", "#7B5CFF", "#3A4050")))
    return """<svg xmlns="http://www.w3.org/2000/svg" width="{w}" height="{h}" viewBox="0 0 {w} {h}">
  <defs>
    <linearGradient id="shell" x1="0" y1="0" x2="0" y2="1">
      <stop offset="0" stop-color="#1C2029"/>
      <stop offset="1" stop-color="#12151B"/>
    </linearGradient>
    <linearGradient id="plate" x1="0" y1="0" x2="0" y2="1">
      <stop offset="0" stop-color="#0B0D11"/>
      <stop offset="1" stop-color="#0F1116"/>
    </linearGradient>
    <linearGradient id="rgb" x1="0" y1="0" x2="1" y2="0">
      <stop offset="0" stop-color="#00D1FF"/>
      <stop offset="0.5" stop-color="#7B5CFF"/>
      <stop offset="1" stop-color="#FF2E97"/>
    </linearGradient>
  </defs>
  <rect x="1" y="1" width="{w1}" height="{h1}" rx="14" fill="url(#shell)" stroke="#2A303C" stroke-width="1"/>
  <rect x="{px}" y="{py}" width="{pw}" height="{ph}" rx="7" fill="url(#plate)"/>
  <rect x="24" y="{bar_y}" width="{bar_w}" height="2" rx="1" fill="url(#rgb)" opacity="0.85"/>
  <rect x="24" y="{glow_y}" width="{bar_w}" height="5" rx="2.5" fill="url(#rgb)" opacity="0.18"/>
  {leds}
</svg>
""".format(w=width, h=height, w1=width - 2, h1=height - 2, px=plate_x, py=plate_y, pw=plate_w, ph=plate_h,
           bar_y=height - 4, glow_y=height - 7, bar_w=width - 48, leds=leds)


# The plate under the keys, as the case image paints it; opaque keys fill their corners with it.
PLATE = "#FF0D0F14"


def main():
    xml, svg = build(read_slot_table())
    outputs = ((OUT_XML, xml), (OUT_SVG, svg))
    if "--check" in sys.argv[1:]:
        stale = []
        for path, text in outputs:
            try:
                with open(path, encoding="utf-8") as f:
                    if f.read() != text:
                        stale.append(path)
            except OSError:
                stale.append(path)
        for path in stale:
            print("out of date: %s" % os.path.relpath(path, ROOT))
        return 1 if stale else 0
    for path, text in outputs:
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)
        print(os.path.relpath(path, ROOT))
    return 0


if __name__ == "__main__":
    sys.exit(main())
