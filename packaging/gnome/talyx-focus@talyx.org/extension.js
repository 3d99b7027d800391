// Reports each window that comes to the front to the keyboard program, which applies the
// profile linked to its application. The call does not start the program when it is not
// running, and nobody waits for its answer.
import Gio from 'gi://Gio';
import GLib from 'gi://GLib';
import Shell from 'gi://Shell';
import {Extension} from 'resource:///org/gnome/shell/extensions/extension.js';

const SERVICE = 'org.talyx.RgbGamingKeyboard';
const PATH = '/org/talyx/RgbGamingKeyboard/Automation';
const IFACE = 'org.talyx.RgbGamingKeyboard.Automation1';

export default class TalyxFocusExtension extends Extension {
    enable() {
        this._tracker = Shell.WindowTracker.get_default();
        this._focusId = global.display.connect('notify::focus-window', () => this._report());
        this._report();
    }

    disable() {
        if (this._focusId)
            global.display.disconnect(this._focusId);
        this._focusId = 0;
        this._tracker = null;
    }

    _report() {
        const window = global.display.focus_window;
        const app = window && this._tracker ? this._tracker.get_window_app(window) : null;
        const id = app && app.get_id() ? app.get_id() : '';
        const windowClass = window && window.get_wm_class() ? window.get_wm_class() : '';
        const pid = window && window.get_pid() > 0 ? window.get_pid() : 0;
        Gio.DBus.session.call(SERVICE, PATH, IFACE, 'ApplicationActivated',
            new GLib.Variant('(ssu)', [id, windowClass, pid]), null,
            Gio.DBusCallFlags.NO_AUTO_START, 1000, null, null);
    }
}
