"""The KWin script and the GNOME Shell extension that report the window in front.

Checks their metadata and syntax, runs each in node against stand-ins of the compositor's
objects to see the bus call it makes, then makes exactly that call against the running
program (talyx-vdev serving a keyboard, talyx headless, under dbus-run-session) and reads
the profile the keyboard got back through the automation interface. Exits 77 (skipped)
when node or the session bus is missing.

    compositor_scripts_test.py BIN_DIR SOURCE_DIR
"""

import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

SKIP = 77
BUS = "org.talyx.RgbGamingKeyboard"
PATH = "/org/talyx/RgbGamingKeyboard/Automation"
IFACE = "org.talyx.RgbGamingKeyboard.Automation1"

failures = []
passed = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what, flush=True)
    (passed if ok else failures).append(what)


def skip(why):
    print("SKIPPED: " + why, flush=True)
    sys.exit(SKIP)


# Runs the KWin script with a workspace whose signal the test fires, and prints each
# callDBus as JSON (the JS types of the arguments with them).
KWIN_HARNESS = r"""
const fs = require('fs');
const calls = [];
const handlers = [];
const workspace = {
    windowActivated: { connect: (f) => handlers.push(f) },
    activeWindow: { desktopFileName: 'org.example.Editor', resourceClass: 'editor', pid: 4321 },
};
function callDBus(...args) { calls.push(args.map((a) => ({ type: typeof a, value: a }))); }
new Function('workspace', 'callDBus', fs.readFileSync(process.argv[process.argv.length - 1], 'utf8'))(workspace, callDBus);
handlers.forEach((f) => f({ desktopFileName: 'org.example.Game', resourceClass: 'Game', pid: 1234 }));
handlers.forEach((f) => f(null));
console.log(JSON.stringify(calls));
"""

# Runs the GNOME extension as a module body with its imports replaced by stand-ins, and
# prints each Gio.DBus.session.call as JSON.
GNOME_HARNESS = r"""
const fs = require('fs');
let source = fs.readFileSync(process.argv[process.argv.length - 1], 'utf8');
source = source.replace(/^import\s+(\w+)\s+from\s+'gi:\/\/(\w+)';$/mg, 'const $1 = fakes.$2;')
               .replace(/^import\s+\{(\w+)\}\s+from\s+'resource:[^']+';$/mg, 'const $1 = fakes.$1;')
               .replace(/^export default class/m, 'fakes.result = class');
const calls = [];
const focusHandlers = [];
const window = (cls, pid) => ({ get_wm_class: () => cls, get_pid: () => pid, cls });
globalThis.global = { display: {
    focus_window: window('editor', 4321),
    connect: (signal, f) => { if (signal === 'notify::focus-window') focusHandlers.push(f); return 7; },
    disconnect: () => {},
} };
const fakes = {
    Gio: { DBus: { session: { call: (...a) => calls.push({ bus: a[0], path: a[1], iface: a[2], method: a[3],
                                                            signature: a[4].signature, values: a[4].values,
                                                            flags: a[6] }) } },
           DBusCallFlags: { NO_AUTO_START: 1 } },
    GLib: { Variant: class { constructor(signature, values) { this.signature = signature; this.values = values; } } },
    Shell: { WindowTracker: { get_default: () => ({ get_window_app: (w) => ({ get_id: () =>
        w.cls === 'Game' ? 'org.example.Game.desktop' : 'org.example.Editor.desktop' }) }) } },
    Extension: class {},
};
new Function('fakes', source)(fakes);
const ext = new fakes.result();
ext.enable();
global.display.focus_window = window('Game', 1234);
focusHandlers.forEach((f) => f());
global.display.focus_window = null;
focusHandlers.forEach((f) => f());
ext.disable();
console.log(JSON.stringify(calls));
"""


def node(code, *args):
    r = subprocess.run(["node", "-e", code, "--", *args], capture_output=True, text=True, timeout=30)
    if r.returncode != 0:
        print(r.stderr)
        return None
    return json.loads(r.stdout)


def dbus_send(method, *args):
    r = subprocess.run(["dbus-send", "--session", "--print-reply=literal", "--dest=" + BUS, PATH,
                        IFACE + "." + method, *args], capture_output=True, text=True, timeout=30)
    return r.returncode, (r.stdout + r.stderr).strip()


def dbus_arg(value, kind):
    """A dbus-send argument; `kind` is the D-Bus type the caller sends."""
    return {"s": "string:", "u": "uint32:", "i": "int32:", "d": "double:"}[kind] + str(value)


def selected_profile():
    code, out = dbus_send("Profiles", "string:keyboard")
    start = out.find("{")
    try:
        return json.loads(out[start:out.rfind("}") + 1])["selectedName"] if start >= 0 else None
    except ValueError:
        return None


def wait_for(condition, timeout=15.0):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if condition():
            return True
        time.sleep(0.1)
    return False


def main():
    bin_dir, source = sys.argv[1], sys.argv[2]
    if not shutil.which("node"):
        skip("node is not installed")
    if not os.environ.get("DBUS_SESSION_BUS_ADDRESS"):
        skip("no session bus (run under dbus-run-session)")
    kwin_dir = os.path.join(source, "packaging", "kwin", "talyx-focus")
    gnome_dir = os.path.join(source, "packaging", "gnome", "talyx-focus@talyx.org")

    # Metadata as KWin and GNOME Shell read it.
    with open(os.path.join(kwin_dir, "metadata.json")) as f:
        kwin = json.load(f)
    check(kwin.get("KPlugin", {}).get("Id") == "talyx-focus", "KWin metadata: plugin id is the folder name")
    check(kwin.get("X-Plasma-API") == "javascript", "KWin metadata: a JavaScript script")
    main_script = os.path.join(kwin_dir, "contents", kwin.get("X-Plasma-MainScript", "missing"))
    check(os.path.isfile(main_script), "KWin metadata: the main script exists")
    with open(os.path.join(gnome_dir, "metadata.json")) as f:
        gnome = json.load(f)
    check(gnome.get("uuid") == os.path.basename(gnome_dir), "GNOME metadata: uuid is the folder name")
    check(all(v.isdigit() and int(v) >= 45 for v in gnome.get("shell-version", ["x"])),
          "GNOME metadata: shell versions with module extensions")
    check(bool(gnome.get("name")) and bool(gnome.get("description")), "GNOME metadata: name and description")

    # Syntax: the KWin script as a script, the extension as a module.
    check(subprocess.run(["node", "--check", main_script]).returncode == 0, "KWin script parses")
    tmp = tempfile.mkdtemp(prefix="talyx-scripts.")
    module = os.path.join(tmp, "extension.mjs")
    shutil.copy(os.path.join(gnome_dir, "extension.js"), module)
    check(subprocess.run(["node", "--check", module]).returncode == 0, "GNOME extension parses as a module")

    # The calls each makes.
    kwin_calls = node(KWIN_HARNESS, main_script) or []
    check(len(kwin_calls) == 3, "KWin script: one call at start and one per activation (%d)" % len(kwin_calls))
    for c in kwin_calls:
        check([a["value"] for a in c[:4]] == [BUS, PATH, IFACE, "ApplicationActivated"],
              "KWin script calls the automation method")
    gnome_calls = node(GNOME_HARNESS, os.path.join(gnome_dir, "extension.js")) or []
    check(len(gnome_calls) == 3, "GNOME extension: one call at enable and one per focus change (%d)" % len(gnome_calls))
    for c in gnome_calls:
        check([c["bus"], c["path"], c["iface"], c["method"], c["signature"]] ==
              [BUS, PATH, IFACE, "ApplicationActivated", "(ssu)"], "GNOME extension calls the automation method")
        check(c["flags"] == 1, "GNOME extension does not start the program")

    if len(kwin_calls) != 3 or len(gnome_calls) != 3:
        print("%d passed, %d failed" % (len(passed), len(failures)))
        return 1

    # The program, with profile "Game" linked to the game's desktop file.
    data = os.path.join(tmp, "data")
    folder = os.path.join(data, "TALYX RGB Gaming keyboard", "keyboard")
    os.makedirs(folder)
    entries = []
    for uuid, name, link in (("desk", "Desk", ""), ("game", "Game", "org.example.Game.desktop")):
        with open(os.path.join(folder, uuid + ".Json"), "w") as f:
            json.dump({"profilename": name, "profileUUID": uuid}, f)
        entries.append({"profilename": name, "profileUUID": uuid, "profileislink": 1 if link else 0,
                        "profilelinkmame": link})
    with open(os.path.join(folder, "ProfileList.ini"), "w") as f:
        json.dump({"profilelist": entries, "profileselect": 0}, f)
    bus = os.path.join(tmp, "bus")
    os.makedirs(bus)
    run = os.path.join(tmp, "run")
    os.makedirs(run, mode=0o700)
    procs = [subprocess.Popen([os.path.join(bin_dir, "talyx-vdev"), "--bus", bus, "--control",
                               os.path.join(tmp, "vdev.ctl"), "keyboard"],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)]
    env = dict(os.environ)
    env.update({"QT_QPA_PLATFORM": "offscreen", "TALYX_HID_BUS": bus, "XDG_RUNTIME_DIR": run,
                "XDG_DATA_HOME": data, "XDG_CONFIG_HOME": os.path.join(tmp, "config"),
                "XDG_DATA_DIRS": os.path.join(tmp, "none"), "XDG_SESSION_TYPE": "wayland",
                "XDG_CURRENT_DESKTOP": "KDE", "LC_ALL": "C.UTF-8"})
    env.pop("DISPLAY", None)
    try:
        time.sleep(0.5)
        procs.append(subprocess.Popen([os.path.join(bin_dir, "talyx")], env=env, stdout=subprocess.DEVNULL,
                                      stderr=subprocess.DEVNULL))
        check(wait_for(lambda: selected_profile() == "Desk", 30), "the program runs with Desk selected")

        # KWin's numbers reach the bus as int32 or double, depending on the engine.
        for kind in ("i", "d"):
            game = [a["value"] for a in kwin_calls[1][4:]]
            code, out = dbus_send("ApplicationActivated", dbus_arg(game[0], "s"), dbus_arg(game[1], "s"),
                                  dbus_arg(game[2], kind))
            check(code == 0 and out.split()[:2] == ["int32", "0"], "the KWin script's call is answered 0 (pid as %s): %s" % (kind, out))
            check(wait_for(lambda: selected_profile() == "Game"), "the game in front selects Game")
            leave = [a["value"] for a in kwin_calls[2][4:]]
            dbus_send("ApplicationActivated", dbus_arg(leave[0], "s"), dbus_arg(leave[1], "s"),
                      dbus_arg(leave[2], kind))
            check(wait_for(lambda: selected_profile() == "Desk"), "no window in front brings Desk back")

        # The extension's call, typed as its variant says.
        values = gnome_calls[1]["values"]
        args = [dbus_arg(v, k) for v, k in zip(values, "ssu")]
        code, out = dbus_send("ApplicationActivated", *args)
        check(code == 0 and out.split()[:2] == ["int32", "0"], "the GNOME extension's call is answered 0: " + out)
        check(wait_for(lambda: selected_profile() == "Game"), "the extension's report selects Game")
        code, out = dbus_send("ApplicationActivated", "string:", "string:", "string:1")
        check(code != 0, "a call of another signature is refused by the bus")
    finally:
        for p in reversed(procs):
            p.terminate()
            try:
                p.wait(10)
            except subprocess.TimeoutExpired:
                p.kill()
        shutil.rmtree(tmp, ignore_errors=True)
    print("%d passed, %d failed" % (len(passed), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
