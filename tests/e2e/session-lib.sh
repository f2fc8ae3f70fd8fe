# The private X session the end-to-end scripts share; sourced by them after they set
# "session" (the name their failures carry).
#   start_display          Xvfb on a free display; DISPLAY is exported
#   start_window_manager   openbox, waited for until it manages the screen
#   start_app              "$runel" (with any arguments) in the background; app is its pid
#   hud_shown, hud_focused, hud_hidden   what the user sees of the HUD
#   require_tools TOOL...  fails, naming them, when any of the outside programs is not installed
# It also gives HOME and the XDG folders of their own in a temporary folder (removed on exit),
# fail, until_true, and a settings file that is past its first launch (the first launch would
# open the settings window over what a session tests).
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

export HOME=$work XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
unset WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS XDG_ACTIVATION_TOKEN DESKTOP_STARTUP_ID
export QT_QPA_PLATFORM=xcb

fail() {
    echo "FAIL ($session): $*" >&2
    local log
    for log in app.err openbox.log sway.log kwin.log shell.log keys.log; do
        [[ -s $work/$log ]] && sed "s/^/  $log: /" "$work/$log" >&2
    done
    exit 1
}
# Polls until the command succeeds: the app answers asynchronously, never within a set time.
until_true() {
    local what=$1; shift
    for _ in $(seq 200); do "$@" >/dev/null 2>&1 && return 0; sleep 0.05; done
    fail "$what"
}
# A missing program fails the session by name at once: a skip would pass unseen, and the polls
# below would fail later with a message about the app instead.
require_tools() {
    local tool missing=()
    for tool in "$@"; do
        command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
    done
    (( ${#missing[@]} == 0 )) \
        || fail "${missing[*]} not installed; install the test tools with tools/install-deps --test"
}
mkdir -p "$XDG_CONFIG_HOME/runel"
echo '{"isFirstLaunch": false}' > "$XDG_CONFIG_HOME/runel/settings.json"

start_display() {
    require_tools Xvfb xdpyinfo xdotool
    # A free display, chosen by the server itself.
    exec 3> "$work/display"
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
    pids+=($!)
    until_true "Xvfb did not start" test -s "$work/display"
    export DISPLAY=:$(head -n1 "$work/display")
    until_true "Xvfb does not answer" xdpyinfo
}

start_window_manager() {
    require_tools openbox xprop
    # Openbox now and then fails to open a display that has just started: give it three tries.
    for _ in 1 2 3; do
        openbox --sm-disable >"$work/openbox.log" 2>&1 &
        pids+=($!)
        for _ in $(seq 40); do
            xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break 2
            kill -0 "${pids[-1]}" 2>/dev/null || break
            sleep 0.05
        done
    done
    until_true "openbox did not start" sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"'
}

start_app() {
    "$runel" "$@" > "$work/app.out" 2> "$work/app.err" &
    app=$!
    pids+=($app)
    until_true "the app did not start listening" test -S "$XDG_RUNTIME_DIR/runel/instance"
}

# The HUD: a shown window of the app wider than a tray icon.
hud_shown() {
    local window
    for window in $(xdotool search --onlyvisible --pid "$app" 2>/dev/null); do
        eval "$(xdotool getwindowgeometry --shell "$window")"
        (( WIDTH > 100 )) && return 0
    done
    return 1
}
hud_focused() { [[ $(xdotool getwindowfocus getwindowpid 2>/dev/null) == "$app" ]]; }
hud_hidden() { ! hud_shown; }
