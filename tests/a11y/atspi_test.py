#!/usr/bin/python3
"""A screen reader's view of the program, through AT-SPI alone.

Walks the accessible tree of the main window, of each function page of the keyboard and
of the dialogs, and fails on any control a user operates that has no role or no name.
Then, only through the accessible actions and values: opens the lighting page, picks
another effect and another brightness, and checks that the virtual keyboard's light
record holds them; then, on the key assignment page, assigns a key and presses "save to
keyboard", and checks that the keyboard received the assignment.

Usage: atspi_test.py BIN_DIR [--dump]
"""

import sys
import time

from session import (Session, choose, do_action, find, find_application, import_atspi, role, sensitive, skip,
                     unnamed_controls, wait_for, walk)

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL: " + message, flush=True)
    return condition


def check_tree(pyatspi, root, where):
    total, missing = unnamed_controls(pyatspi, root)
    print("%s: %d controls, %d without a role or a name" % (where, total, len(missing)), flush=True)
    for m in missing[:40]:
        print("   " + m)
    check(total > 0, where + ": no controls found")
    check(not missing, where + ": %d controls without a role or a name" % len(missing))


def dump(pyatspi, root):
    for node, depth in walk(pyatspi, root):
        print("  " * depth + "%s '%s'" % (role(node), node.name))


def dialogs(pyatspi, app):
    return [app.getChildAtIndex(i) for i in range(app.childCount)
            if app.getChildAtIndex(i) is not None and role(app.getChildAtIndex(i)) == "dialog"]


def check_dialog(pyatspi, app, opener_name):
    opener = find(pyatspi, app, "push button", opener_name)
    if not check(opener is not None, "no '%s' button" % opener_name):
        return
    do_action(opener, "Press")
    dialog = wait_for(lambda: next(iter(dialogs(pyatspi, app)), None), 15)
    if not check(dialog is not None, "'%s' opened no dialog" % opener_name):
        return
    time.sleep(0.5)
    check_tree(pyatspi, dialog, "dialog '%s'" % dialog.name)
    close = next((n for n, _ in walk(pyatspi, dialog) if role(n) == "push button" and
                  (n.name or "").casefold().startswith("close")), None)
    if check(close is not None, "dialog '%s' has no close button" % dialog.name):
        do_action(close, "Press")
        check(wait_for(lambda: not dialogs(pyatspi, app), 10) is not None, "dialog '%s' did not close" % dialog.name)


def check_events(pyatspi, app, slider):
    """A screen reader hears of a changed check box and a changed value."""
    from gi.repository import GLib
    heard = []

    def listener(event):
        heard.append((event.type, event.source.name if event.source else ""))

    pyatspi.Registry.registerEventListener(listener, "object:state-changed:checked",
                                           "object:property-change:accessible-value")
    try:
        cycle = find(pyatspi, app, "check box", "7-colour cycle")
        if check(cycle is not None, "no '7-colour cycle' check box"):
            do_action(cycle, "Toggle")
        slider.queryValue().currentValue = 2
        context = GLib.MainContext.default()

        def arrived():
            while context.iteration(False):
                pass
            return any(t.startswith("object:state-changed:checked") and n == "7-colour cycle" for t, n in heard) \
                and any(t.startswith("object:property-change:accessible-value") for t, n in heard)
        check(wait_for(arrived, 10) is not None, "no state or value change was heard: %s" % heard)
    finally:
        pyatspi.Registry.deregisterEventListener(listener, "object:state-changed:checked",
                                                 "object:property-change:accessible-value")


def assign_key(pyatspi, session, app):
    key = find(pyatspi, app, "push button", "A")
    if not check(key is not None, "no key button 'A'"):
        return
    do_action(key, "Toggle", "Press")
    action = find(pyatspi, app, "combo box", "Action", timeout=5)
    apply = find(pyatspi, app, "push button", "Apply", timeout=3)
    save = find(pyatspi, app, "push button", "Save to keyboard", timeout=3)
    if not (action and apply and save):
        check(False, "with a key chosen, the key assignment page shows no Action combo, Apply and "
              "Save to keyboard buttons")
        if "--dump" in sys.argv:
            dump(pyatspi, app)
        return
    if not choose(pyatspi, action, "Media"):
        check(False, "the Action combo offers no 'Media' row")
        return
    media = find(pyatspi, app, "combo box", "Function", timeout=5)
    if media is None or not choose(pyatspi, media, "Mute") or not wait_for(lambda: sensitive(pyatspi, apply), 5):
        check(False, "the key assignment page does not take an assignment (Apply stays disabled)")
        return
    assigned_before = session.keyboard().get("assignments", "")
    do_action(apply, "Press")
    check(wait_for(lambda: sensitive(pyatspi, save), 10) is not None, "'Save to keyboard' stays disabled")
    do_action(save, "Press")
    check(wait_for(lambda: session.keyboard().get("assignments", "") != assigned_before, 20) is not None,
          "'Save to keyboard' sent no assignment to the keyboard")
    print("the key assignment reached the keyboard", flush=True)


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    pyatspi = import_atspi()
    session = Session(sys.argv[1]).start()
    try:
        app = find_application(pyatspi, session.program.pid)
        if not app:
            print(session.program_log())
            skip("the program did not appear on the accessibility bus")
        window = wait_for(lambda: find(pyatspi, app, "frame", timeout=1) or find(pyatspi, app, "window", timeout=1))
        check(window is not None, "no main window on the accessibility bus")
        # The keyboard's page comes with the first scan.
        tab = find(pyatspi, app, "page tab", "Lighting", timeout=40)
        if not check(tab is not None, "no 'Lighting' page tab: the keyboard's page did not come"):
            dump(pyatspi, app)
            return 1
        if "--dump" in sys.argv:
            dump(pyatspi, app)
        check_tree(pyatspi, app, "main window, key assignment page")

        # Every function page in turn.
        tabs = [node for node, _ in walk(pyatspi, app) if role(node) == "page tab"]
        names = [t.name for t in tabs]
        print("page tabs: %s" % names, flush=True)
        for t in tabs:
            do_action(t, "Toggle", "Press", "SetFocus")
            time.sleep(0.5)
            check_tree(pyatspi, app, "page '%s'" % t.name)

        # The windows the title bar opens.
        for opener in ("Settings and updates", "Change the look"):
            check_dialog(pyatspi, app, opener)

        # The lighting page: effect and brightness through AT-SPI alone.
        do_action(tab, "Toggle", "Press")
        before = session.record()
        check(len(before) > 3, "the virtual keyboard has no light record")
        combo = find(pyatspi, app, "combo box", "Effect")
        slider = find(pyatspi, app, "slider", "Brightness")
        if check(combo is not None, "no 'Effect' combo box on the lighting page") and \
                check(slider is not None, "no 'Brightness' slider on the lighting page"):
            rows = [combo.getChildAtIndex(i) for i in range(combo.childCount)]
            rows = [r for r in rows if r is not None and role(r) == "list item"]
            check(len(rows) > 2, "the effect combo offers %d rows" % len(rows))
            target = next((r for r in rows if not r.getState().contains(pyatspi.STATE_SELECTED)), None)
            value = slider.queryValue()
            new_brightness = int(value.minimumValue) if int(value.currentValue) != int(value.minimumValue) \
                else int(value.maximumValue)
            value.currentValue = new_brightness
            check(wait_for(lambda: session.record()[2:3] == bytes([new_brightness]), 15) is not None,
                  "brightness %d did not reach the keyboard (record %s)" % (new_brightness, session.record().hex()))
            index = rows.index(target)
            do_action(target, "Press")
            changed = wait_for(lambda: session.record()[1:2] != before[1:2], 15)
            check(changed is not None, "the effect '%s' (row %d) did not reach the keyboard (record %s)" %
                  (target.name, index, session.record().hex()))
            check(combo.getState().contains(pyatspi.STATE_SHOWING), "the combo box went away")
            check_events(pyatspi, app, slider)
            print("effect '%s' and brightness %d reached the keyboard: record %s" %
                  (target.name, new_brightness, session.record()[:4].hex()), flush=True)

        # The key assignment page: a key, an assignment, "Apply", then "Save to keyboard".
        key_tab = next((t for t in tabs if t.name == "Keys"), None)
        check(key_tab is not None, "no 'Keys' page tab")
        if key_tab is not None:
            do_action(key_tab, "Toggle", "Press")
            assign_key(pyatspi, session, app)
    finally:
        session.stop()
    print("%d passed, %d failed" % (1 if not failures else 0, 1 if failures else 0))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
