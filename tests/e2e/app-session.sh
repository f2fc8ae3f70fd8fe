#!/usr/bin/env bash
# Runs the real app in a private X session and drives it as a user would.
# Usage: app-session.sh RUNEL SESSION, where SESSION is
#   desktop            openbox and a tray (trayer): the whole flow
#   no-tray            openbox, no tray host: the app says once how to reach it and still works;
#                      a tray started later takes its icon
#   no-window-manager  a bare X server: the HUD still opens with the focus and runs scripts
#   russian-layout     openbox, the keyboard on a Russian layout: a script's keys still run it
set -euo pipefail
runel=$(realpath "$1")
session=$2

source "$(dirname "${BASH_SOURCE[0]}")/session-lib.sh"

# Without a display the app cannot start, and "runel" says why instead of failing in Qt.
status=0
env -u DISPLAY -u QT_QPA_PLATFORM "$runel" > /dev/null 2> "$work/nodisplay.err" || status=$?
[[ $status == 1 ]] && grep -q "there is no display" "$work/nodisplay.err" \
    || fail "runel without a display exited $status: $(cat "$work/nodisplay.err")"

start_display
if [[ $session != no-window-manager ]]; then
    start_window_manager
fi
if [[ $session == russian-layout ]]; then
    # Russian is the active group: the keys send Cyrillic keysyms, and the HUD has to find the
    # letter that the same physical key gives in the user's Latin layout (the second group).
    # (The window manager's connection keeps the server from resetting to its default keymap.)
    require_tools setxkbmap
    setxkbmap -layout ru,us || fail "setxkbmap could not set a Russian layout"
    setxkbmap -query | grep -Eq '^layout: +ru,us$' || fail "the Russian layout did not take"
fi
if [[ $session == desktop ]]; then
    require_tools trayer
    trayer --edge top --align right --widthtype pixel --width 100 --height 28 >/dev/null 2>&1 &
    pids+=($!)
    until_true "trayer did not start" xdotool search --class trayer
fi

# A script the test types, and a window that has the focus before the HUD opens.
mkdir -p "$HOME/.runel"
printf '#!/bin/bash\necho e2e-ran\n' > "$HOME/.runel/zed.sh"
# Two scripts that share a first letter, so that "p" is a prefix and runs nothing.
printf '#!/bin/bash\necho one\n' > "$HOME/.runel/pack one.sh"
printf '#!/bin/bash\necho two\n' > "$HOME/.runel/pack two.sh"
# A foreground run that lasts until the test lets it end.
printf '#!/bin/bash\ntouch "$HOME/started"\nwhile [ ! -e "$HOME/release" ]; do sleep 0.05; done\necho done\n' \
    > "$HOME/.runel/wait.sh"
chmod +x "$HOME"/.runel/*.sh
require_tools xmessage
xmessage -geometry 300x100+10+10 "another window" >/dev/null 2>&1 &
pids+=($!)
until_true "the other window did not appear" xdotool search --onlyvisible --class xmessage
other=$(xdotool search --onlyvisible --class xmessage | head -n1)
xdotool windowfocus --sync "$other" || true

start_app

focused_name() { xdotool getwindowfocus getwindowname 2>/dev/null; }
# Qt adds the app's name to a title that lacks it: "Runel Results — Runel".
results_shown() { xdotool search --onlyvisible --name '^Runel Results' >/dev/null 2>&1; }
geometry_of() {
    local window
    window=$(xdotool search --onlyvisible --name "$1" | head -n1)
    [[ -n $window ]] || return 1
    xdotool getwindowgeometry --shell "$window"
}
other_focused() { [[ $(xdotool getwindowfocus 2>/dev/null) == "$other" ]]; }

xdotool windowfocus --sync "$other" 2>/dev/null || true
until_true "the other window did not get the focus" other_focused
"$runel" toggle || fail "runel toggle failed"
until_true "runel toggle did not show the HUD" hud_shown
until_true "the HUD did not take the focus from the other window" hud_focused

# Typing a script's keys runs it, and the run is logged. On the Russian layout the key that
# is "z" on a US keyboard gives "я".
if [[ $session == russian-layout ]]; then
    xdotool key --delay 80 Cyrillic_ya
else
    xdotool type --delay 80 z
fi
until_true "typing z did not log a run of zed.sh" sh -c "'$runel' log | grep -q Zed"
if [[ $session == russian-layout ]]; then
    "$runel" quit || fail "runel quit failed"
    until_true "runel quit did not end the app" sh -c "! kill -0 $app"
    echo "PASS ($session)"
    exit 0
fi

# A prefix shows the results panel 10 px below the HUD, left edges aligned, and the focus
# stays in the HUD.
until_true "the HUD did not close after the run" hud_hidden
"$runel" show || fail "runel show failed"
until_true "runel show did not give the HUD the focus" hud_focused
xdotool type --delay 80 p
until_true "the prefix p did not show the results panel" results_shown
[[ $(focused_name) == Runel ]] || fail "the results panel took the focus from the HUD: $(focused_name)"
eval "$(geometry_of '^Runel$' | sed 's/^/HUD_/')"
eval "$(geometry_of '^Runel Results' | sed 's/^/RESULTS_/')"
(( RESULTS_X == HUD_X && RESULTS_Y == HUD_Y + HUD_HEIGHT + 10 )) \
    || fail "results panel at $RESULTS_X,$RESULTS_Y; HUD at $HUD_X,$HUD_Y height $HUD_HEIGHT"

# A click in another window closes the HUD (a bare X server moves no focus on a click).
if [[ $session != no-window-manager ]]; then
    xdotool mousemove 150 30 click 1
    until_true "a click outside did not close the HUD" hud_hidden
    results_shown && fail "the results panel stayed after the click outside"
else
    "$runel" hide || fail "runel hide failed"
    until_true "runel hide did not hide the HUD" hud_hidden
fi

# A foreground run goes on when the HUD loses the focus and closes; the next HUD is fresh, and
# the run is still logged when it ends.
"$runel" show || fail "runel show failed"
until_true "runel show did not give the HUD the focus" hud_focused
xdotool type --delay 80 w
until_true "typing w did not start wait.sh" test -e "$HOME/started"
xdotool windowfocus --sync "$other" 2>/dev/null || true
until_true "the other window did not get the focus back" other_focused
until_true "the HUD stayed open on losing the focus during a foreground run" hud_hidden
"$runel" show || fail "runel show failed"
until_true "runel show did not give the HUD the focus" hud_focused
xdotool type --delay 80 q
"$runel" hide || fail "runel hide failed"
until_true "runel hide did not hide the HUD" hud_hidden
touch "$HOME/release"
until_true "the run of wait.sh was not logged" sh -c "'$runel' log | grep Wait | grep -q success"

"$runel" show || fail "runel show failed"
until_true "runel show did not show the HUD" hud_shown
"$runel" hide || fail "runel hide failed"
until_true "runel hide did not hide the HUD" hud_hidden

"$runel" || fail "a second runel failed"
until_true "a second runel did not show the HUD" hud_shown
"$runel" open runel://toggle || fail "runel open runel://toggle failed"
until_true "runel://toggle did not hide the HUD" hud_hidden
status=0
"$runel" open runel://TOGGLE 2>/dev/null || status=$?
[[ $status == 2 ]] || fail "runel open with a capitalised host exited $status (want 2)"
hud_hidden || fail "a refused URL changed the HUD"

# "runel show --keys" plays keys as a user shortcut does: the HUD opens and the script runs.
zed_runs_are() { [[ $("$runel" log | grep -c Zed) == "$1" ]]; }
"$runel" show --keys z || fail "runel show --keys z failed"
until_true "runel show --keys z did not log a second run of zed.sh" zed_runs_are 2
until_true "the HUD did not close after the run" hud_hidden
status=0
"$runel" show --keys Z 2>/dev/null || status=$?
[[ $status == 2 ]] || fail "runel show --keys Z exited $status (want 2)"

"$runel" quit || fail "runel quit failed"
until_true "runel quit did not end the app" sh -c "! kill -0 $app"
[[ ! -e $XDG_RUNTIME_DIR/runel/instance ]] || fail "the app left its socket behind"

# With no app running, the app starts for the keys and plays them once it has read the folder.
start_app show --keys z
until_true "runel show --keys z did not start the app and run zed.sh" zed_runs_are 3
if [[ $session == no-tray ]]; then
    # A tray started while the app runs takes its icon: the tray's announcement is the event,
    # nothing polls for it.
    tray_icon_shown() {
        local window
        for window in $(xdotool search --onlyvisible --pid "$app" 2>/dev/null); do
            eval "$(xdotool getwindowgeometry --shell "$window")"
            (( WIDTH <= 100 )) && return 0
        done
        return 1
    }
    ! tray_icon_shown || fail "the app showed a tray icon with no tray running"
    require_tools trayer
    trayer --edge top --align right --widthtype pixel --width 100 --height 28 >/dev/null 2>&1 &
    pids+=($!)
    until_true "the icon did not appear in a tray started after the app" tray_icon_shown
fi
"$runel" quit || fail "runel quit failed"
until_true "runel quit did not end the app" sh -c "! kill -0 $app"
"$runel" hide || fail "runel hide without an app should succeed"

# The tray message: once without a tray host, never with one.
messages=$(grep -c "there is no tray" "$work/app.err" || true)
case $session in
    desktop) [[ $messages == 0 ]] || fail "said there is no tray although trayer runs" ;;
    *) [[ $messages == 1 ]] || fail "said $messages times that there is no tray (want 1)" ;;
esac
echo "PASS ($session)"
