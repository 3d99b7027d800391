"""The program on a virtual display with the accessibility bus, against talyx-vdev.

Starts Xvfb, talyx-vdev serving a keyboard on a private bus (with its control socket),
and talyx with a private home, then finds the program on the accessibility bus. Run
inside a session bus of its own (dbus-run-session); the accessibility bus is started
through it. Exits 77 (skipped) when the machine lacks a part of this.
"""

import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

SKIP = 77


def skip(why):
    print("SKIPPED: " + why, flush=True)
    sys.exit(SKIP)


def wait_for(condition, timeout=30.0, step=0.1):
    """Polls `condition` until it returns something true; returns that or None."""
    end = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > end:
            return None
        time.sleep(step)


class Session:
    def __init__(self, bin_dir, lang="en_US.UTF-8"):
        self.bin_dir = bin_dir
        self.lang = lang
        self.procs = []
        self.tmp = tempfile.mkdtemp(prefix="talyx-a11y.")

    # -- processes -------------------------------------------------------------------

    def start(self):
        for tool in ("Xvfb",):
            if not shutil.which(tool):
                skip(tool + " is not installed")
        if not os.environ.get("DBUS_SESSION_BUS_ADDRESS"):
            skip("no session bus (run under dbus-run-session)")
        self._start_display()
        self._start_vdev()
        self._start_program()
        return self

    def _start_display(self):
        read_fd, write_fd = os.pipe()
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1280x800x24", "-nolisten", "tcp"],
                                pass_fds=(write_fd,), stderr=subprocess.DEVNULL)
        os.close(write_fd)
        self.procs.append(xvfb)
        with os.fdopen(read_fd) as f:
            number = f.readline().strip()
        if not number:
            skip("Xvfb did not start")
        self.display = ":" + number

    def _start_vdev(self):
        self.bus = os.path.join(self.tmp, "bus")
        os.makedirs(self.bus)
        self.control = os.path.join(self.tmp, "vdev.ctl")
        vdev = subprocess.Popen([os.path.join(self.bin_dir, "talyx-vdev"), "--bus", self.bus, "--control", self.control,
                                 "keyboard"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.procs.append(vdev)
        if not wait_for(lambda: os.path.exists(self.control) and self.vdev({"cmd": "ping"}).get("ok"), 20):
            raise RuntimeError("talyx-vdev did not answer")

    def _start_program(self):
        run = os.path.join(self.tmp, "run")
        os.makedirs(run, mode=0o700)
        env = dict(os.environ)
        env.update({
            "DISPLAY": self.display,
            "QT_QPA_PLATFORM": "xcb",
            "QT_ACCESSIBILITY": "1",
            "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
            "TALYX_HID_BUS": self.bus,
            "XDG_RUNTIME_DIR": run,
            "XDG_DATA_HOME": os.path.join(self.tmp, "data"),
            "XDG_CONFIG_HOME": os.path.join(self.tmp, "config"),
            "LC_ALL": self.lang,
            "LANG": self.lang,
        })
        env.pop("WAYLAND_DISPLAY", None)
        self.log = open(os.path.join(self.tmp, "talyx.log"), "w")
        self.program = subprocess.Popen([os.path.join(self.bin_dir, "talyx")], env=env, stdout=self.log,
                                        stderr=subprocess.STDOUT)
        self.procs.append(self.program)

    def stop(self):
        for p in reversed(self.procs):
            if p.poll() is None:
                p.send_signal(signal.SIGTERM)
                try:
                    p.wait(10)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait()
        shutil.rmtree(self.tmp, ignore_errors=True)

    def program_log(self):
        try:
            with open(os.path.join(self.tmp, "talyx.log")) as f:
                return f.read()
        except OSError:
            return ""

    # -- the virtual keyboard --------------------------------------------------------

    def vdev(self, request):
        try:
            with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as s:
                s.settimeout(5)
                s.connect(self.control)
                s.sendall((json.dumps(request) + "\n").encode())
                data = b""
                while not data.endswith(b"\n"):
                    chunk = s.recv(65536)
                    if not chunk:
                        break
                    data += chunk
            return json.loads(data or b"{}")
        except (OSError, ValueError):
            return {}

    def keyboard(self):
        """The virtual keyboard's state (its firmware areas) or {}."""
        devices = self.vdev({"cmd": "state"}).get("devices", [])
        for d in devices:
            firmware = d.get("firmware", {})
            if str(firmware.get("model", "")).startswith("keyboard"):
                return firmware
        return {}

    def record(self):
        """The light and settings record as bytes (mode at 1, brightness at 2)."""
        return bytes.fromhex(self.keyboard().get("records", ""))


# -- the accessible tree -------------------------------------------------------------

# Roles a user operates; each must have a name.
INTERACTIVE = {
    "push button", "toggle button", "check box", "radio button", "slider", "combo box", "text", "entry",
    "password text", "list", "list item", "page tab", "menu item", "check menu item",
    "radio menu item", "spin button", "progress bar", "color chooser",
}


def import_atspi():
    try:
        import pyatspi  # noqa: F401
    except ImportError:
        skip("python3-pyatspi is not installed")
    import pyatspi
    return pyatspi


def find_application(pyatspi, pid, timeout=40):
    def look():
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            try:
                if app is not None and app.get_process_id() == pid and app.childCount > 0:
                    return app
            except Exception:  # an application that went away meanwhile
                continue
        return None
    return wait_for(look, timeout, 0.25)


def role(node):
    try:
        return node.getRoleName()
    except Exception:
        return ""


def showing(pyatspi, node):
    try:
        states = node.getState()
        return states.contains(pyatspi.STATE_SHOWING) or states.contains(pyatspi.STATE_VISIBLE)
    except Exception:
        return False


def walk(pyatspi, node, depth=0, visible_only=True):
    """Every node under `node` (shown ones only unless asked), with its depth."""
    yield node, depth
    try:
        count = node.childCount
    except Exception:
        return
    for i in range(count):
        try:
            child = node.getChildAtIndex(i)
        except Exception:
            continue
        if child is None:
            continue
        if visible_only and not showing(pyatspi, child) and role(child) != "list item":
            continue
        yield from walk(pyatspi, child, depth + 1, visible_only)


def unnamed_controls(pyatspi, root):
    """The interactive nodes without a name, as 'role at path' lines."""
    missing = []
    total = 0
    for node, _ in walk(pyatspi, root):
        r = role(node)
        if r in INTERACTIVE:
            total += 1
            if not (node.name or "").strip():
                missing.append("%s (parent %s '%s')" % (r, role(node.parent), node.parent.name if node.parent else ""))
        elif r in ("unknown", "invalid", ""):
            missing.append("node without a role (parent %s '%s')" % (role(node.parent), node.parent.name))
    return total, missing


def find(pyatspi, root, role_name, name=None, timeout=10):
    def look():
        for node, _ in walk(pyatspi, root):
            if role(node) == role_name and (name is None or (node.name or "").casefold() == name.casefold()):
                return node
        return None
    return wait_for(look, timeout, 0.2)


def do_action(node, *names):
    action = node.queryAction()
    available = [action.getName(i) for i in range(action.nActions)]
    for want in names:
        if want in available:
            return action.doAction(available.index(want))
    raise AssertionError("%s '%s' offers no %s action (it has %s)" % (role(node), node.name, "/".join(names),
                                                                      available))


def sensitive(pyatspi, node):
    try:
        return node.getState().contains(pyatspi.STATE_SENSITIVE)
    except Exception:
        return False


def choose(pyatspi, combo, row_name):
    """Picks the combo box's row named `row_name` through its row's action."""
    for i in range(combo.childCount):
        row = combo.getChildAtIndex(i)
        if row is not None and (row.name or "").casefold() == row_name.casefold():
            do_action(row, "Press")
            return True
    return False
