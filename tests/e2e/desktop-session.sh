#!/usr/bin/env bash
# Runs the real app on a real desktop, headless, with hot keys through that desktop's own
# GlobalShortcuts portal, and presses the keys as the desktop's keyboard would (fake-keys):
#   kde    KWin (Plasma 6): the portal binds with no dialog; Super+Shift+L opens the HUD with the
#          focus and a script's key typed into it runs the script, a user shortcut runs its
#          script, and a hot key changed in settings.json while the app runs is bound once more,
#          once, and the desktop's answer is checked by pressing it.
#   gnome  gnome-shell (GNOME 48): the first bind asks ("Add Keyboard Shortcuts"), the dialog is
#          answered with keys, the desktop reports the trigger, the hot key opens the HUD with
#          the focus and a script's key runs the script, and a user shortcut runs its script.
# Usage: desktop-session.sh RUNEL FAKE_KEYS DESKTOP_FILE kde|gnome, where FAKE_KEYS is the
# tests' fake-keys tool ("none" when it was not built) and DESKTOP_FILE the app's desktop entry as
# the source has it (resources/io.github.runel.Runel.desktop.in).
# Exits 77 (ctest's skip) when the desktop is not installed; its packages are in
# tools/install-deps --desktops, which tools/test-in-chroot trixie installs.
#
# Both desktops refuse to run as root, or misbehave: as root, this copies what the session needs
# into a folder of an unprivileged user (created when missing) and runs itself again as that user.
set -euo pipefail
runel=$(realpath "$1")
fake_keys=$2
desktop_file=$(realpath "$3")
desktop=$4
session=$desktop

case $desktop in
    kde) needs=(kwin_wayland) portal=kde ;;
    gnome) needs=(gnome-shell) portal=gnome ;;
    *) echo "desktop-session: unknown desktop '$desktop' (kde or gnome)" >&2; exit 2 ;;
esac
for tool in "${needs[@]}"; do
    if ! command -v "$tool" >/dev/null 2>&1 \
        || [[ ! -f /usr/share/xdg-desktop-portal/portals/$portal.portal ]]; then
        echo "SKIP ($desktop): the desktop is not installed ($tool and its portal);" \
            "tools/install-deps --desktops installs it on Debian 13"
        exit 77
    fi
done
missing=()
for tool in dbus-daemon dbus-monitor dbus-send gdbus jq setpriv setsid; do
    command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
done
[[ $fake_keys != none && -x $fake_keys ]] || missing+=("fake-keys (configure again with plasma-wayland-protocols and libwayland-dev installed)")
if ((${#missing[@]} > 0)); then
    echo "FAIL ($desktop): the desktop is installed, but not ${missing[*]};" \
        "install the test tools with tools/install-deps --desktops" >&2
    exit 1
fi

if [[ $(id -u) == 0 ]]; then
    user=runel-e2e
    id "$user" >/dev/null 2>&1 \
        || useradd --system --no-create-home --shell /usr/sbin/nologin "$user"
    copy=$(mktemp -d)
    trap 'rm -rf "$copy"' EXIT
    here=$(dirname "${BASH_SOURCE[0]}")
    cp "$runel" "$(dirname "$runel")/runel-app" "$fake_keys" "$desktop_file" \
        "$here/desktop-session.sh" "$here/session-lib.sh" "$copy/"
    chown -R "$user:" "$copy"
    chmod 755 "$copy"
    # In a process group of its own, so what the desktop started and left behind (services the
    # bus started) ends with it.
    status=0
    setsid --wait bash -c 'echo $$ > "$0"; exec "$@"' "$copy/session-id" \
        setpriv --reuid="$user" --regid="$user" --clear-groups -- \
        env -i PATH="$PATH" ${ASAN_OPTIONS:+ASAN_OPTIONS="$ASAN_OPTIONS"} \
        ${UBSAN_OPTIONS:+UBSAN_OPTIONS="$UBSAN_OPTIONS"} \
        bash "$copy/desktop-session.sh" "$copy/runel" "$copy/$(basename "$fake_keys")" \
        "$copy/$(basename "$desktop_file")" "$desktop" || status=$?
    kill -KILL -- "-$(cat "$copy/session-id")" 2>/dev/null || true
    exit "$status"
fi

source "$(dirname "${BASH_SOURCE[0]}")/session-lib.sh"
unset DISPLAY
export QT_QPA_PLATFORM=wayland XDG_SESSION_TYPE=wayland
# The HUD as a window, whose focus KWin's scripts and the shell can report; a layer-shell
# surface (what KWin would get otherwise) is not a window to them. The layer-shell HUD has its
# own session under sway (e2e_wayland_layer_shell).
export RUNEL_LAYER_SHELL=0
# The desktop and the portal find the app by its desktop entry, as installed for the user.
app_id=io.github.runel.Runel
mkdir -p "$XDG_DATA_HOME/applications"
sed "s|@RUNEL_DESKTOP_EXEC@|$runel|g" "$desktop_file" > "$XDG_DATA_HOME/applications/$app_id.desktop"

# A private session bus, started after the environment above so what it starts (the portal and
# its back end) inherits it.
start_bus() { # NAME, then ARGS for dbus-daemon; prints the address into $work/NAME.address
    local name=$1
    shift
    exec 4> "$work/$name.address"
    # Not on this script's output: what the bus starts inherits it, and a test runner waits
    # for the output to close.
    dbus-daemon --nofork --print-address=4 "$@" > "$work/$name-bus.log" 2>&1 &
    pids+=($!)
    exec 4>&-
    until_true "the $name bus did not start" test -s "$work/$name.address"
}

# What the app asks the portal and what the portal answers, for the checks below.
watch_portal() {
    dbus-monitor --session \
        "type='method_call',interface='org.freedesktop.portal.GlobalShortcuts'" \
        "type='signal',interface='org.freedesktop.portal.Request',member='Response'" \
        "type='signal',interface='org.freedesktop.portal.GlobalShortcuts'" \
        > "$work/bus.log" 2>&1 &
    pids+=($!)
    until_true "dbus-monitor did not start" grep -q NameAcquired "$work/bus.log"
}
binds() { grep -c "member=BindShortcuts" "$work/bus.log" || true; }
# Answers (Response signals) that list the HUD's key.
answers() {
    awk '/^(method call|method return|signal|error) / { response = /member=Response/; counted = 0 }
         response && !counted && /toggleSearchWindow/ { count++; counted = 1 }
         END { print count + 0 }' "$work/bus.log"
}
bound() { (($(answers) > 0)); }
# The trigger the desktop last reported for a name ("Meta+Shift+L"), from the structs of its
# answers: the name's string opens the struct, its trigger_description follows.
trigger_of() {
    awk -v name="$1" '
        /^(method call|method return|signal|error) / { response = /member=Response/; next }
        !response { next }
        after_struct { id = $0; sub(/^ *string "/, "", id); sub(/"$/, "", id); after_struct = 0 }
        /struct {/ { after_struct = 1 }
        want && /variant/ {
            value = $0; sub(/.*string "/, "", value); sub(/"$/, "", value)
            if (id == name) last = value
            want = 0
        }
        /string "trigger_description"/ { want = 1 }
        END { print last }' "$work/bus.log"
}
# What gnome-shell's Eval answers for a JavaScript expression, compared with the expected JSON.
shell_is() {
    [[ $(gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell \
        --method org.gnome.Shell.Eval "$1" 2>/dev/null) == "(true, '$2')" ]]
}
# Whether a count (what the command prints) has reached a minimum; read anew on every poll.
at_least() {
    local minimum=$1
    shift
    (($("$@") >= minimum))
}
# A desktop takes its time to start, more so on a loaded machine: the polls for what the desktop
# does (starting, asking, binding) wait up to a minute.
until_desktop() {
    local what=$1
    shift
    for _ in $(seq 600); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
    fail "$what"
}
runs_of() { "$runel" log | grep -c "$1" || true; }
# One keyboard for the whole session (a new one per press would join the seat each time):
# fake-keys reads lines of chords and answers each once the desktop has its keys.
start_keyboard() {
    coproc KEYS { "$fake_keys" "$keyboard" - 2>> "$work/keys.log"; }
    pids+=($KEYS_PID)
}
press() {
    local reply
    [[ -n ${KEYS[1]:-} ]] || fail "fake-keys $keyboard ended before pressing $*"
    echo "$*" >&"${KEYS[1]}"
    read -r -t 30 reply <&"${KEYS[0]}" || fail "fake-keys did not answer for $*"
    [[ $reply == ok ]] || fail "fake-keys $keyboard could not press $*"
}

mkdir -p "$HOME/.runel/git"
printf '#!/bin/bash\necho echoed\n' > "$HOME/.runel/echo.sh"
printf '#!/bin/bash\necho deployed\n' > "$HOME/.runel/git/deploy.sh"
chmod +x "$HOME/.runel/echo.sh" "$HOME/.runel/git/deploy.sh"
# Super+Ctrl+D plays "gd" (git/deploy.sh), as a user would have recorded it.
shortcut_deploy=11111111-2222-3333-4444-555555555555
cat > "$XDG_CONFIG_HOME/runel/settings.json" <<JSON
{
    "isFirstLaunch": false,
    "shortcuts": [{"id": "$shortcut_deploy", "keySequence": "gd"}],
    "KeyboardShortcuts_shortcut-$shortcut_deploy": {"carbonKeyCode": 2, "carbonModifiers": 4352}
}
JSON

case $desktop in
kde)
    keyboard=kwin
    # KWin offers its fake-input protocol to any client only with the permission checks off;
    # KDE_FULL_SESSION and KDE_SESSION_VERSION stay unset (KWin 6.3 crashes with them here).
    export XDG_CURRENT_DESKTOP=KDE KWIN_WAYLAND_NO_PERMISSION_CHECKS=1 WAYLAND_DISPLAY=runel-kde
    start_bus session --session
    DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$work/session.address")
    export DBUS_SESSION_BUS_ADDRESS
    watch_portal
    # Its scripts' print() goes to its log, where the focus script below reports.
    QT_LOGGING_RULES="kwin_scripting.debug=true" kwin_wayland --virtual --no-lockscreen \
        --socket "$WAYLAND_DISPLAY" --width 1280 --height 800 > "$work/kwin.log" 2>&1 &
    pids+=($!)
    until_desktop "kwin_wayland did not start" test -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY"
    start_keyboard
    # KWin says which window has the focus through a script of ours: "runel-focus: PID CAPTION"
    # whenever it changes.
    cat > "$work/focus.js" <<'JS'
function report() {
    const window = workspace.activeWindow;
    print("runel-focus: " + (window ? window.pid + " " + window.caption : "none"));
}
workspace.windowActivated.connect(report);
workspace.windowRemoved.connect(report);
report();
JS
    kwin_script() {
        dbus-send --session --print-reply --dest=org.kde.KWin /Scripting \
            "org.kde.kwin.Scripting.$1" "${@:2}"
    }
    until_desktop "KWin did not load the focus script" \
        kwin_script loadScript "string:$work/focus.js" string:runel-focus
    kwin_script start >/dev/null || fail "KWin did not start the focus script"
    until_desktop "KWin's focus script does not report" grep -q "runel-focus:" "$work/kwin.log"
    hud_focused() { [[ $(grep "runel-focus:" "$work/kwin.log" | tail -n1) == *"runel-focus: $app Runel" ]]; }
    hud_closed() { ! hud_focused; }
    ;;
gnome)
    keyboard=mutter
    # gnome-shell wants a system bus; a private one stands in (no logind, no seats: headless).
    export XDG_CURRENT_DESKTOP=GNOME WAYLAND_DISPLAY=runel-gnome
    start_bus system --session
    DBUS_SYSTEM_BUS_ADDRESS=$(head -n1 "$work/system.address")
    export DBUS_SYSTEM_BUS_ADDRESS
    start_bus session --session
    DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$work/session.address")
    export DBUS_SESSION_BUS_ADDRESS
    watch_portal
    # Unsafe mode lets this session ask the shell (Eval) which window has the focus.
    gnome-shell --headless --wayland --no-x11 --virtual-monitor 1280x800 \
        --wayland-display "$WAYLAND_DISPLAY" --unsafe-mode > "$work/shell.log" 2>&1 &
    pids+=($!)
    until_desktop "gnome-shell did not start" test -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY"
    until_desktop "gnome-shell does not answer" shell_is "1 + 1" 2
    start_keyboard
    hud_focused() {
        shell_is "global.display.focus_window?.get_pid() == $app
            && global.display.focus_window.get_title() == 'Runel'" true
    }
    hud_closed() {
        shell_is "global.display.list_all_windows().some(w => w.get_pid() == $app
            && w.get_title() == 'Runel')" false
    }
    ;;
esac

# The portal is up before the app starts, as in a desktop session that has run a while: started
# by the bus on first use it can take seconds, longer than the app waits for its answer.
until_desktop "the desktop portal does not answer" dbus-send --session --print-reply \
    --dest=org.freedesktop.portal.Desktop /org/freedesktop/portal/desktop \
    org.freedesktop.DBus.Properties.Get string:org.freedesktop.portal.GlobalShortcuts \
    string:version
start_app
until_desktop "the app did not ask the portal to bind its hot keys" at_least 1 binds
if [[ $desktop == gnome ]]; then
    # GNOME asks first. The shell starts in its overview, which holds the keyboard: Escape
    # leaves it (never pressed once the dialog has the keys: there it means Cancel), then
    # Alt+A is the dialog's "Add", pressed again should the dialog not have taken it.
    until_desktop "the \"Add Keyboard Shortcuts\" dialog did not appear" \
        shell_is "global.display.list_all_windows().some(w => w.get_title() == 'Add Keyboard Shortcuts')" true
    close_overview() {
        shell_is Main.overview.visible false && return 0
        press escape
        sleep 0.2
        shell_is Main.overview.visible false
    }
    until_true "the overview did not close" close_overview
    until_true "the dialog did not get the focus" shell_is "global.display.focus_window?.get_title()" \
        '"Add Keyboard Shortcuts"'
    for _ in 1 2 3 4 5; do
        press alt+a
        for _ in $(seq 20); do bound && break 2; sleep 0.1; done
    done
fi
until_desktop "the desktop did not bind the hot keys" bound
trigger=$(trigger_of toggleSearchWindow)
[[ -n $trigger ]] || fail "the desktop bound the hot keys but reported no trigger"
echo "ok: the desktop bound the hot keys; its trigger: $trigger"

# The HUD's key opens the HUD with the focus, and a script's key typed then runs the script.
# (Typed in the same breath as the hot key, the key would come before the desktop has told the
# app, which on Wayland cannot take keys meant for another window: it is typed once the
# desktop gives the HUD the focus.)
open_hud_and_type() { # CHORD, then the script's key
    press "$1"
    until_true "$1 did not give the HUD the focus" hud_focused
    press "$2"
}
open_hud_and_type super+shift+l e
until_true "e typed into the HUD did not run echo.sh" at_least 1 runs_of Echo
until_true "the HUD did not close after the run" hud_closed
echo "ok: Super+Shift+L opened the HUD with the focus, and e ran echo.sh"
press super+shift+l
until_true "Super+Shift+L did not give the HUD the focus" hud_focused
press super+shift+l
until_true "a second Super+Shift+L did not close the HUD" hud_closed
echo "ok: a second Super+Shift+L closed the HUD"

# A user shortcut plays its keys into the HUD and the script runs.
press super+ctrl+d
until_true "the user shortcut Super+Ctrl+D did not run git/deploy.sh" \
    at_least 1 runs_of Deploy
until_true "the HUD did not close after the shortcut's run" hud_closed
echo "ok: Super+Ctrl+D ran git/deploy.sh"

quit_app() {
    "$runel" quit || fail "runel quit failed"
    until_true "runel quit did not end the app" sh -c "! kill -0 $app"
    echo "PASS ($desktop)"
}
# GNOME asks again for every bind (a new dialog), so a changed key is checked on KDE only.
[[ $desktop == gnome ]] && { quit_app; exit 0; }

# The HUD's key changed in the settings while the app runs (Super+Shift+J, as the settings
# window would store it): the app binds its list once more, once, and the desktop answers. The
# desktop has the last word on triggers: KDE Plasma 6.3 answers with the new trigger yet keeps
# firing the one it holds (its own shortcut settings change it), so the HUD must open by the
# answered key or, failing that, by the held one, and the session says which.
binds_before=$(binds)
answers_before=$(answers)
settings=$XDG_CONFIG_HOME/runel/settings.json
jq '.KeyboardShortcuts_toggleSearchWindow = {"carbonKeyCode": 38, "carbonModifiers": 768}' \
    "$settings" > "$settings.new" || fail "jq could not edit settings.json"
mv "$settings.new" "$settings"
until_true "the changed hot key was not bound again" at_least $((binds_before + 1)) binds
until_true "the desktop did not answer the new bind" at_least $((answers_before + 1)) answers
trigger=$(trigger_of toggleSearchWindow)
chord=$(tr '[:upper:]' '[:lower:]' <<<"$trigger" | sed 's/meta/super/; s/control/ctrl/')
press "$chord"
opened_by=$chord
for _ in $(seq 30); do hud_focused && break; sleep 0.1; done
if ! hud_focused; then
    press super+shift+l
    opened_by=super+shift+l
    until_true "neither the answered $chord nor the held super+shift+l gave the HUD the focus" \
        hud_focused
fi
press e
until_true "e typed into the HUD did not run echo.sh" at_least 2 runs_of Echo
until_true "the HUD did not close after the run" hud_closed
# A burst of changes is bound once: no second bind follows.
sleep 1
[[ $(binds) == $((binds_before + 1)) ]] \
    || fail "one change of the hot key was bound $(($(binds) - binds_before)) times"
echo "ok: the hot key changed in settings.json was bound once; the desktop answered $trigger;" \
    "$opened_by opened the HUD"

quit_app
