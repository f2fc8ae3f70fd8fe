#!/usr/bin/env bash
# The settings window of the real app in a private X session (openbox), driven with xdotool:
# "runel settings" shows it, and Show Results set to "Never" there reaches settings.json and
# the next HUD.
# Usage: settings-session.sh RUNEL
set -euo pipefail
runel=$(realpath "$1")
session=settings

source "$(dirname "${BASH_SOURCE[0]}")/session-lib.sh"
start_display
start_window_manager

# Two scripts that share a first letter: "p" is a prefix, which shows the results at once.
mkdir -p "$HOME/.runel"
printf '#!/bin/bash\necho one\n' > "$HOME/.runel/pack one.sh"
printf '#!/bin/bash\necho two\n' > "$HOME/.runel/pack two.sh"
chmod +x "$HOME"/.runel/*.sh
settings_file=$XDG_CONFIG_HOME/runel/settings.json

"$runel" settings > "$work/app.out" 2> "$work/app.err" &
app=$!
pids+=($app)
settings_windows() { xdotool search --onlyvisible --name '^Runel Settings' 2>/dev/null; }
until_true "runel settings did not show the settings window" settings_windows
window=$(settings_windows | head -n1)
xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
until_true "the settings window did not get the focus" \
    sh -c "[ \"\$(xdotool getwindowfocus)\" = $window ]"

# The General tab's focus chain after the tab bar, which has the focus as the window opens: the
# two hot key recorders, Launch at login, Select, Script Delay, Enhance Labels, Show Results.
autostart=$XDG_CONFIG_HOME/autostart/runel.desktop
xdotool key --delay 80 Tab Tab Tab Tab space
until_true "Launch at login did not write the autostart entry" test -f "$autostart"
grep -q "^Exec=.*runel" "$autostart" || fail "the autostart entry does not start runel: $(cat "$autostart")"
xdotool key space
until_true "turning Launch at login off did not remove the autostart entry" test ! -e "$autostart"
# End picks the last choice of Show Results, "Never".
xdotool key --delay 80 Tab Tab Tab Tab End
until_true "Show Results set to Never did not reach settings.json" \
    grep -q '"resultListVisibility": "never"' "$settings_file"
grep -q '"scriptDelay"' "$settings_file" && fail "a key on the way changed the script delay"

# A second "runel settings" brings the open window to the front instead of opening another.
"$runel" settings || fail "a second runel settings failed"
[[ $(settings_windows | wc -l) == 1 ]] \
    || fail "a second runel settings opened a second window"
until_true "a second runel settings did not bring the window to the front" \
    sh -c "[ \"\$(xdotool getwindowfocus)\" = $window ]"

# The next HUD shows no results for the prefix. It would show them at once: a watcher that
# looks for the panel while "p" waits, until the script after it has run.
"$runel" show || fail "runel show failed"
hud_focused() { [[ $(xdotool getwindowfocus getwindowname 2>/dev/null) == Runel ]]; }
until_true "runel show did not give the HUD the focus" hud_focused
( while [[ ! -e $work/stop ]]; do
      xdotool search --onlyvisible --name '^Runel Results' >/dev/null 2>&1 && touch "$work/results"
      sleep 0.02
  done ) &
pids+=($!)
xdotool type --delay 300 'pack o'
until_true "typing 'pack o' did not run pack one.sh" sh -c "'$runel' log | grep -q 'Pack One'"
touch "$work/stop"
[[ ! -e $work/results ]] || fail "the HUD showed results although Show Results is Never"

"$runel" quit || fail "runel quit failed"
until_true "runel quit did not end the app" sh -c "! kill -0 $app"
echo "PASS ($session)"
