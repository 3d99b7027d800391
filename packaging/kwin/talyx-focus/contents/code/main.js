// Reports each window that comes to the front to the keyboard program, which applies the
// profile linked to its application. KWin 6 names the signal windowActivated, KWin 5
// clientActivated; both hand over the window (null when none is active).
const service = "org.talyx.RgbGamingKeyboard";
const path = "/org/talyx/RgbGamingKeyboard/Automation";
const iface = "org.talyx.RgbGamingKeyboard.Automation1";

function report(window) {
    const id = window && window.desktopFileName ? String(window.desktopFileName) : "";
    const windowClass = window && window.resourceClass ? String(window.resourceClass) : "";
    const pid = window && window.pid > 0 ? window.pid : 0;
    callDBus(service, path, iface, "ApplicationActivated", id, windowClass, pid);
}

if (workspace.windowActivated) {
    workspace.windowActivated.connect(report);
    report(workspace.activeWindow);
} else {
    workspace.clientActivated.connect(report);
    report(workspace.activeClient);
}
