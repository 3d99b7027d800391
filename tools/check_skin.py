#!/usr/bin/env python3
"""Checks the skin and the language tables against each other.

    python3 tools/check_skin.py

- every layout and menu under skin/ is well-formed XML, and every Include names a layout that exists;
- every image a layout names (bkimage, normalimage, ... and file='...' lists) exists;
- every textid and tooltipid has a text in each language table, and both tables hold the same keys;
- the key names of keyboard/KeyTables.cpp and the effect names of DefaultData/default_light.json have texts;
- the control names the program looks up are present in the layout that must hold them;
- the keyboard picture is current with the key slot table (tools/gen_keyboard_picture.py --check).

Prints one line per failed check and a closing "N passed, N failed" line; exits 1 on any failure.
"""

import os
import re
import subprocess
import sys
import xml.etree.ElementTree as ET

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SKIN = os.path.join(ROOT, "skin")
LANG = os.path.join(ROOT, "lang")
LANGUAGES = ("lan_en.xml", "lan_cn.xml")
IMAGE_ATTRS = ("bkimage", "foreimage", "normalimage", "hotimage", "pushedimage", "disabledimage", "selectedimage",
               "selectedhotimage", "thumbimage")
# Texts the program itself asks the language tables for (through the hidden "text_test" label or by key).
CODE_KEYS = ("Repeat_Delay_Time", "Repeat_input_text", "close_text", "device_name_keyboard", "device_name_mouse",
             "device_name_MousePad", "device_name_HD")

SLOT_RANGE = lambda prefix, first, last: ["%s%d" % (prefix, i) for i in range(first, last + 1)]

# Control names the program finds by name, per layout file.
REQUIRED = {
    "XML/DeviceXml/keyboarddevice.xml": [
        "DeviceProfileItem", "LightControlItem", "MacroControlItem", "KeySetControlItem",
        "device_function_switch", "device_key_function_switch", "device_function_key", "device_function_light",
        "device_function_macro", "device_function_setting", "key_Op_tab", "macro_Op_tab", "system_Op_tab",
        "repeat_rate_slider", "repeat_delay_time_label1", "repeat_input_richedit", "reset_repeat_btn",
        "6flag_option", "wflag_option", "winlockflag_option", "text_test",
    ] + SLOT_RANGE("repeat_delay_check_", 0, 3) + SLOT_RANGE("polling_rate_option_", 0, 3),
    "XML/DeviceXml/keyboardpicture.xml": ["keyboard_device_key_light", "key_0", "light_0", "key_110", "light_110",
                                          "key_125", "light_125"],
    "XML/DeviceXml/mousedevice.xml": ["LightControlItem"],
    "XML/DeviceXml/mousepaddevice.xml": ["LightControlItem"],
    "XML/DeviceXml/hs6533device.xml": ["LightControlItem"],
    "XML/CustomControlXML/DeviceProfile.xml": ["device_profile_combo", "profile_menu_layout",
                                               "device_profile_name_edit"],
    "XML/CustomControlXML/DeviceOption.xml": ["tab_header_device"],
    "XML/CustomControlXML/LightControl.xml": [
        "light_combo_modeSelect", "deng_light_slider", "deng_speed_slider", "deng_FXL_check", "deng_FXR_check",
        "deng_7color_check", "deng_Color_Pallet", "deng_colordp_btn", "deng_edit_R", "deng_edit_G", "deng_edit_B",
        "light_combo_ZZCCmodeSelect", "light_combo_custommodeSelect", "custom_bright_color_btn",
        "custom_off_color_btn", "deng_same_mode", "lighteffect_layout", "deng_color_layout", "colorpallet_layout",
        "deng_light_layout", "deng_speed_layout", "deng_fx_layout", "light_color_layout", "lightcustom_layout",
        "light_combo_ZZCCmodeSelectLayout", "light_combo_AudiomodeSelectLayout", "light_color_tablayout",
        "light_combo_audiomodeSelect", "audio_BkColor_check", "audio_FgColor_check", "deng_audioColor_Pallet",
        "deng_audiocolordp_btn", "deng_audioedit_R", "deng_audioedit_G", "deng_audioedit_B",
        "deng_7audiocolor_check", "light_audiocolor_layout", "audiocolorpallet_layout", "Close_bkColor_btn",
        "music_setting_btn", "color_option_0", "audiocolor_option_0",
    ],
    "XML/CustomControlXML/KeySetControl.xml": [
        "keyset_layout", "keyset_function_combo", "function_switch_tablayout", "key_butt_keydefalut",
        "key_butt_keysave", "key_butt_keycancel", "key_butt_prosave", "keyset_mousekey_combo",
        "keyset_mouseswing_combo", "keyset_mouseswing_num_edit", "keyset_mouseswing_delay_edit",
        "keyset_mouseswing_speed_edit", "keyset_mousewheel_combo", "keyset_mousewheel_num_edit",
        "keyset_mousewheel_delay_edit", "keyset_mousewheel_speed_edit", "keyset_mousedpi_combo",
        "keyset_mousefire_interval_edit", "keyset_mousefire_num_edit", "keyset_keyboard_text_edit",
        "keyset_media_combo", "keyset_system_combo", "keyset_macro_combo", "keyset_macro_over_combo",
        "keyset_macro_cycle_layout", "keyset_macro_cycle_edit", "keyset_gunkey_combo", "keyset_combokey_combo",
    ] + SLOT_RANGE("key_ComBox_check_", 0, 4),
    "XML/CustomControlXML/MacroControl.xml": [
        "macro_name_list", "macro_edit_macroname", "macro_action_list", "macro_action_layout", "mouse_move_layout",
        "macro_fixed_time_edit", "macro_check_time", "macro_name_tab", "macro_tab_macroaction_edit",
        "macro_tab_macrodelay_edit", "macro_btn_name_add", "macro_btn_name_sub", "macro_btn_name_edit",
        "macro_btn_save", "macro_btn_cancel", "macro_btn_import", "macro_btn_export", "macro_btn_up",
        "macro_btn_down", "macro_btn_uptop", "macro_btn_downbottom", "macro_btn_delete", "macro_btn_deleteall",
        "macro_btn_starredio", "macro_btn_stopredio", "macro_inset_moveleftkey_btn", "macro_inset_moverightkey_btn",
        "macro_inset_moveupkey_btn", "macro_inset_movedownkey_btn", "mouse_x_left_edit", "mouse_x_right_edit",
        "mouse_y_up_edit", "mouse_y_down_edit",
    ],
    "XML/skin.xml": ["skin_tab", "skin_color", "skin_image", "skin_color_btn", "skin_image_btn", "skin_reset",
                     "skin_Custom", "skin_close"],
    "XML/Menus/macro_action_menu.xml": [
        "redio_previous_record_time", "redio_previous_constant_time", "redio_previous_ignore_time",
        "redio_later_record_time", "redio_later_constant_time", "redio_later_ignore_time", "macro_action_edit",
    ],
    "XML/Menus/sortlist.xml": ["%s_%s" % (b, a) for b in ("left", "middle", "right", "forward", "back")
                               for a in ("down", "up", "click")],
}


def program_keys():
    """Language keys the program shows from its own tables: key names (captions of the key buttons)
    and the names of the lighting effects and areas."""
    keys = []
    tables = os.path.join(ROOT, "keyboard", "KeyTables.cpp")
    if os.path.isfile(tables):
        with open(tables, encoding="utf-8") as f:
            keys += re.findall(r'\{"([^"]+)", 0x[0-9A-Fa-f]+, 0x[0-9A-Fa-f]+\}', f.read())
    effects = os.path.join(ROOT, "DefaultData", "default_light.json")
    if os.path.isfile(effects):
        with open(effects, encoding="utf-8") as f:
            keys += re.findall(r'"LightName"\s*:\s*"([^"]+)"', f.read())
    return sorted(set(keys))


class Checks:
    def __init__(self):
        self.passed = 0
        self.failed = 0

    def check(self, ok, message):
        if ok:
            self.passed += 1
        else:
            self.failed += 1
            print("FAIL: " + message)


def layout_files():
    for folder, _, files in os.walk(SKIN):
        for name in sorted(files):
            if name.endswith(".xml"):
                yield os.path.relpath(os.path.join(folder, name), SKIN).replace(os.sep, "/")


def image_files(value):
    if "=" not in value:
        return [value.strip()] if value.strip() else []
    return re.findall(r"file\s*=\s*'([^']*)'", value)


def read_language(name):
    root = ET.parse(os.path.join(LANG, name)).getroot()
    return {t.get("id"): t.get("value") for t in root.iter("Text")}


def main():
    checks = Checks()
    languages = {name: read_language(name) for name in LANGUAGES}
    first, second = (set(languages[n]) for n in LANGUAGES)
    checks.check(first == second, "language tables differ: only in %s: %s; only in %s: %s" % (
        LANGUAGES[0], sorted(first - second), LANGUAGES[1], sorted(second - first)))

    trees = {}
    for rel in layout_files():
        try:
            trees[rel] = ET.parse(os.path.join(SKIN, rel))
            checks.check(True, rel)
        except ET.ParseError as error:
            checks.check(False, "%s: %s" % (rel, error))

    styles = []
    for rel, tree in trees.items():
        for element in tree.iter():
            # Style files hold attribute lists; their images and texts count like a layout's.
            if element.tag == "Style":
                styles.append((rel, element.get("value", "")))
            for attr in IMAGE_ATTRS:
                for image in image_files(element.get(attr, "")):
                    checks.check(os.path.isfile(os.path.join(SKIN, image)), "%s: missing image %s" % (rel, image))
            for attr in ("textid", "tooltipid"):
                key = element.get(attr)
                if key is not None:
                    for lang in LANGUAGES:
                        checks.check(key in languages[lang], "%s: %s %r has no text in %s" % (rel, attr, key, lang))
            if element.tag == "Include":
                source = element.get("source", "").replace("\\", "/")
                checks.check(source in trees or os.path.isfile(os.path.join(SKIN, source)),
                             "%s: Include of missing %s" % (rel, source))
    for rel, value in styles:
        for attr, inner in re.findall(r'(\w+)\s*=\s*"([^"]*)"', value):
            if attr in IMAGE_ATTRS:
                for image in image_files(inner):
                    checks.check(os.path.isfile(os.path.join(SKIN, image)), "%s: missing image %s" % (rel, image))
            elif attr in ("textid", "tooltipid"):
                for lang in LANGUAGES:
                    checks.check(inner in languages[lang], "%s: %s %r has no text in %s" % (rel, attr, inner, lang))
    for key in list(CODE_KEYS) + program_keys():
        for lang in LANGUAGES:
            checks.check(key in languages[lang], "key %r used by the program has no text in %s" % (key, lang))

    for rel, names in REQUIRED.items():
        tree = trees.get(rel)
        checks.check(tree is not None, "%s is missing" % rel)
        if tree is None:
            continue
        present = {e.get("name") for e in tree.iter()}
        for name in names:
            checks.check(name in present, "%s: no control named %r" % (rel, name))

    generator = os.path.join(ROOT, "tools", "gen_keyboard_picture.py")
    result = subprocess.run([sys.executable, generator, "--check"], capture_output=True, text=True)
    checks.check(result.returncode == 0, "keyboard picture: %s%s" % (result.stdout.strip(), result.stderr.strip()))

    print("%d passed, %d failed" % (checks.passed, checks.failed))
    return 1 if checks.failed else 0


if __name__ == "__main__":
    sys.exit(main())
