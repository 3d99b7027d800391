#!/usr/bin/env bash
# Tries the real program as a user would, on a virtual X display (Xvfb) with the virtual
# keyboard, and clicks its title bar with xdotool: maximise, restore, close, and with a
# tray the tray icon and its menu.
#
#   tools/try_window_desktop.sh [WM] [TRAY]     WM: 1 = under openbox, 0 = no window manager
#                                               TRAY: 1 = the test tray host, 0 = no tray
#   tools/try_window_desktop.sh all             the four combinations
#
# Needs a build in build/ (talyx, talyx-vdev, tray_host), Xvfb, xdotool, xwininfo, and
# openbox for WM=1. Prints what the window did after each click.
set -u
TOP=$(cd "$(dirname "$0")/.." && pwd)
BIN=$TOP/build/bin

if [ "${1:-}" = all ]; then
    for wm in 0 1; do
        for tray in 0 1; do
            echo "== window manager $wm, tray $tray"
            "$0" "$wm" "$tray"
        done
    done
    exit 0
fi
WM=${1:-0} TRAY=${2:-0}
tmp=$(mktemp -d "${TMPDIR:-/tmp}/talyx-try.XXXXXX")
mkdir -p "$tmp/bus" "$tmp/run" "$tmp/data" "$tmp/config"
chmod 700 "$tmp/run"
display=:$((70 + WM * 2 + TRAY))
Xvfb "$display" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
sleep 1
export DISPLAY=$display
wm=""
if [ "$WM" = 1 ]; then
    openbox >/dev/null 2>&1 &
    wm=$!
    sleep 1
fi

# Inside one session bus: the tray host (maybe), the keyboard, the program.
cat >"$tmp/session.sh" <<'SESSION'
set -u
BIN=$1 tmp=$2 TRAY=$3
title="TALYX RGB Gaming keyboard"
if [ "$TRAY" = 1 ]; then
    mkfifo "$tmp/tray.in"
    "$BIN/tray_host" <"$tmp/tray.in" >"$tmp/tray.log" 2>&1 &
    host=$!
    exec 7>"$tmp/tray.in"
    sleep 0.5
fi
"$BIN/talyx-vdev" --bus "$tmp/bus" keyboard >"$tmp/vdev.log" 2>&1 &
vdev=$!
sleep 0.5
TALYX_HID_BUS=$tmp/bus XDG_RUNTIME_DIR=$tmp/run XDG_DATA_HOME=$tmp/data XDG_CONFIG_HOME=$tmp/config \
    LC_ALL=en_US.UTF-8 TALYX_DEBUG=1 "$BIN/talyx" >"$tmp/talyx.log" 2>&1 &
app=$!
sleep 5
wid=$(xdotool search --onlyvisible --name "$title" | head -1)
geometry() { xwininfo -id "$wid" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4}
    /Width/{w=$2} /Height/{h=$2} END{print x "," y " " w "x" h}'; }
width() { xwininfo -id "$wid" | awk '/Width/{print $2}'; }
shown() { [ -n "$(xdotool search --onlyvisible --name "$title" | head -1)" ] && echo shown || echo hidden; }
# Title-bar buttons, in layout units from the right edge: close 30, maximise/restore 70.
# The layout is 1000 units wide, whatever the scale.
click_at() { # units from the right, units from the top
    local w
    w=$(width)
    xdotool mousemove --window "$wid" "$(awk -v w="$w" -v r="$1" 'BEGIN{print int(w - r * w / 1000)}')" \
        "$(awk -v w="$w" -v t="$2" 'BEGIN{print int(t * w / 1000)}')" click 1
}
echo "window at $(geometry)"
click_at 70 28; sleep 1; echo "maximise: $(geometry)"
# Maximised, the layout is scaled to the height; the buttons keep their place from the right.
w=$(width); h=$(xwininfo -id "$wid" | awk '/Height/{print $2}')
scale=$(awk -v w="$w" -v h="$h" 'BEGIN{s = w / 1000; if (h / 640 < s) s = h / 640; print s}')
xdotool mousemove --window "$wid" "$(awk -v w="$w" -v s="$scale" 'BEGIN{print int(w - 70 * s)}')" \
    "$(awk -v s="$scale" 'BEGIN{print int(28 * s)}')" click 1
sleep 1; echo "restore: $(geometry)"
click_at 30 28; sleep 1.5
if kill -0 "$app" 2>/dev/null; then
    echo "close: the program runs, its window is $(shown)"
    if [ "$TRAY" = 1 ]; then
        echo click >&7; sleep 1.5; echo "tray click: the window is $(shown)"
        echo menu >&7; sleep 1
        echo "tray right click: $(xdotool search --onlyvisible --class talyx | wc -l) windows shown (window and menu)"
    fi
    kill "$app"; wait "$app"; echo "ended by signal: exit $?"
else
    wait "$app"; echo "close: the program ended, exit $?"
fi
if [ "$TRAY" = 1 ]; then
    echo quit >&7
    wait "$host" 2>/dev/null
    grep -q registered "$tmp/tray.log" && echo "the tray icon had registered"
fi
kill "$vdev" 2>/dev/null
SESSION
dbus-run-session -- bash "$tmp/session.sh" "$BIN" "$tmp" "$TRAY" 2>&1 | grep -v "fd limit"
[ -n "$wm" ] && kill "$wm" 2>/dev/null
kill "$xvfb" 2>/dev/null
wait "$xvfb" 2>/dev/null
rm -rf "$tmp"
