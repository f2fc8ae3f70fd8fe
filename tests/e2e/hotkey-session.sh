#!/usr/bin/env bash
# Global hot keys in a private X session, pressed with xdotool while another program has the
# focus, as a user would.
# Usage: hotkey-session.sh RUNEL SESSION, where SESSION is
#   desktop            openbox manages the windows
#   no-window-manager  a bare X server
set -euo pipefail
runel=$(realpath "$1")
session=$2
source "$(dirname "${BASH_SOURCE[0]}")/session-lib.sh"

start_display
[[ $session == desktop ]] && start_window_manager

# Super+Shift+L is the default of the HUD's key; the others are stored as a user would record
# them: Super+Ctrl+D plays "gd" (git/deploy.sh), Super+Ctrl+B has no keys (it only opens the
# HUD), Super+Shift+K opens the HUD in search mode.
shortcut_deploy=11111111-2222-3333-4444-555555555555
shortcut_empty=AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE
cat > "$XDG_CONFIG_HOME/runel/settings.json" <<JSON
{
    "isFirstLaunch": false,
    "shortcuts": [{"id": "$shortcut_deploy", "keySequence": "gd"},
                  {"id": "$shortcut_empty", "keySequence": ""}],
    "KeyboardShortcuts_shortcut-$shortcut_deploy": {"carbonKeyCode": 2, "carbonModifiers": 4352},
    "KeyboardShortcuts_shortcut-$shortcut_empty": {"carbonKeyCode": 11, "carbonModifiers": 4352},
    "KeyboardShortcuts_toggleSearchMode": {"carbonKeyCode": 40, "carbonModifiers": 768}
}
JSON
mkdir -p "$HOME/.runel/git"
printf '#!/bin/bash\necho echoed\n' > "$HOME/.runel/echo.sh"
printf '#!/bin/bash\necho deployed\n' > "$HOME/.runel/git/deploy.sh"
chmod +x "$HOME/.runel/echo.sh" "$HOME/.runel/git/deploy.sh"

require_tools xmessage
xmessage -geometry 300x100+10+10 "another window" >/dev/null 2>&1 &
pids+=($!)
until_true "the other window did not appear" xdotool search --onlyvisible --class xmessage
other=$(xdotool search --onlyvisible --class xmessage | head -n1)
other_focused() { [[ $(xdotool getwindowfocus 2>/dev/null) == "$other" ]]; }
focus_other() {
    xdotool windowfocus --sync "$other" 2>/dev/null || true
    until_true "the other window did not get the focus" other_focused
}

start_app
until_true "the app did not grab its hot keys" grep -q "X11 key grabs" "$work/app.err"

runs_of() { "$runel" log | grep -c "$1" || true; }

# The HUD's key opens the HUD with the focus from another program, and closes it again.
focus_other
xdotool key super+shift+l
until_true "Super+Shift+L did not show the HUD" hud_shown
until_true "the HUD did not take the focus" hud_focused
xdotool key super+shift+l
until_true "a second Super+Shift+L did not hide the HUD" hud_hidden

# The hot key and a script's key in one breath: the key reaches the HUD, not the other window.
focus_other
xdotool key --delay 0 super+shift+l e
until_true "the key typed right after the hot key did not run echo.sh" \
    sh -c "'$runel' log | grep -q Echo"
until_true "the HUD did not close after the run" hud_hidden

# A user shortcut plays its keys into the HUD and the script runs.
focus_other
xdotool key super+ctrl+d
until_true "the user shortcut did not run git/deploy.sh" sh -c "'$runel' log | grep -q Deploy"
until_true "the HUD did not close after the shortcut's run" hud_hidden

# A shortcut without keys only opens the HUD.
runs=$("$runel" log | wc -l)
focus_other
xdotool key super+ctrl+b
until_true "the shortcut without keys did not show the HUD" hud_shown
until_true "the HUD did not take the focus" hud_focused
sleep 0.5
[[ $("$runel" log | wc -l) == "$runs" ]] || fail "the shortcut without keys ran something"
"$runel" hide
until_true "runel hide did not hide the HUD" hud_hidden

# The search key opens the HUD in search mode (a name typed there runs, which in key mode it
# would not: "d" names no script), and a second press closes it.
deploys=$(runs_of Deploy)
focus_other
xdotool key super+shift+k
until_true "the search key did not show the HUD" hud_focused
xdotool type --delay 40 deploy
xdotool key Return
until_true "the search did not run git/deploy.sh" test "$(runs_of Deploy)" -gt "$deploys"
until_true "the HUD did not close after the search's run" hud_hidden
xdotool key super+shift+k
until_true "the search key did not show the HUD" hud_shown
xdotool key super+shift+k
until_true "a second press of the search key did not hide the HUD" hud_hidden

"$runel" quit
until_true "runel quit did not end the app" sh -c "! kill -0 $app"
echo "PASS ($session)"
