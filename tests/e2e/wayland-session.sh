#!/usr/bin/env bash
# Runs the real app as a native Wayland client under a headless sway and drives it as a user
# would: a compositor binding's "runel toggle" shows the HUD with the keyboard, typed keys run a
# script, and the run is logged.
# Usage: wayland-session.sh RUNEL SWAY_RULES [MODE [PICTURES [FAKE_POINTER]]], where SWAY_RULES is the shipped
# sway example (resources/wayland/sway.conf), used as a user would add it to their config, and
# MODE is
#   window (the default): the panels are windows (RUNEL_LAYER_SHELL=0 where the build could make
#       layer surfaces), floated by the example's rules;
#   layer-shell: the panels are layer-shell overlays, which sway does not list among its windows:
#       a screenshot (grim) of the HUD's place shows them come and go, and one is saved in
#       PICTURES for people to look at; clicks come from the tests' FAKE_POINTER tool;
#   layer-shell-unbuilt: the build has no LayerShellQt; the session says so and is skipped (77).
#
# sway refuses to run as root: as root, this copies what the session needs into a folder of an
# unprivileged user (created when missing) and runs itself again as that user.
set -euo pipefail
runel=$(realpath "$1")
rules=$(realpath "$2")
mode=${3:-window}
pictures=${4:-}
fake_pointer=${5:-none}
case "$mode" in
    window | layer-shell) ;;
    layer-shell-unbuilt)
        echo "SKIP (wayland layer shell): this build has no LayerShellQt 6 (Qt 6.7 or newer)"
        exit 77
        ;;
    *) echo "wayland-session.sh: unknown mode '$mode'" >&2; exit 2 ;;
esac

missing=()
tools=(sway swaymsg wtype jq setpriv)
[[ $mode == layer-shell ]] && tools+=(grim)
for tool in "${tools[@]}"; do
    command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
done
if [[ $mode == layer-shell && ! -x $fake_pointer ]]; then
    missing+=("fake-pointer (configure again with libwayland-dev installed)")
fi
if (( ${#missing[@]} > 0 )); then
    echo "FAIL (wayland): ${missing[*]} not installed; install the test tools with" \
        "tools/install-deps --test" >&2
    exit 1
fi

if [[ $(id -u) == 0 ]]; then
    user=runel-e2e
    id "$user" >/dev/null 2>&1 \
        || useradd --system --no-create-home --shell /usr/sbin/nologin "$user"
    copy=$(mktemp -d)
    trap 'rm -rf "$copy"' EXIT
    here=$(dirname "${BASH_SOURCE[0]}")
    cp "$runel" "$(dirname "$runel")/runel-app" "$rules" "$here/wayland-session.sh" \
        "$here/wayland-layer-shell.sh" "$here/session-lib.sh" "$copy/"
    [[ -x $fake_pointer ]] && cp "$fake_pointer" "$copy/" && fake_pointer=$copy/fake-pointer
    mkdir "$copy/pictures"
    chown -R "$user:" "$copy"
    # A sanitizer build's options and logs stay as the suite set them.
    status=0
    setpriv --reuid="$user" --regid="$user" --clear-groups -- \
        env -i PATH="$PATH" ${ASAN_OPTIONS:+ASAN_OPTIONS="$ASAN_OPTIONS"} \
        ${UBSAN_OPTIONS:+UBSAN_OPTIONS="$UBSAN_OPTIONS"} \
        bash "$copy/wayland-session.sh" "$copy/runel" "$copy/$(basename "$rules")" "$mode" \
        "$copy/pictures" "$fake_pointer" || status=$?
    if [[ -n $pictures ]] && compgen -G "$copy/pictures/*" >/dev/null; then
        mkdir -p "$pictures"
        cp "$copy"/pictures/* "$pictures/"
    fi
    exit "$status"
fi

session=wayland
[[ $mode == layer-shell ]] && session="wayland layer shell"
source "$(dirname "${BASH_SOURCE[0]}")/session-lib.sh"
# The app chooses its platform itself; this session has no X server.
unset QT_QPA_PLATFORM DISPLAY
if [[ $mode == window ]]; then
    export RUNEL_LAYER_SHELL=0
else
    unset RUNEL_LAYER_SHELL
fi

# The user's config: the shipped lines, with this build's runel in place of the one on PATH.
{
    echo "output HEADLESS-1 resolution 1280x800"
    echo "xwayland disable" # the app needs no X server here
    # Layer surfaces need no window rules: only the key binding is kept.
    if [[ $mode == layer-shell ]]; then
        grep -v -e '^for_window' -e '^no_focus' "$rules"
    else
        cat "$rules"
    fi | sed "s|exec runel toggle|exec $runel toggle|"
} > "$work/sway.conf"
grep -q "exec $runel toggle" "$work/sway.conf" || fail "the sway example binds no runel toggle"

# The layer-shell session reads sway's debug log, too long to show when a session fails.
debug=
[[ $mode == layer-shell ]] && debug=-debug
WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
    sway --config "$work/sway.conf" ${debug:+--debug} > "$work/sway$debug.log" 2>&1 &
pids+=($!)
ipc_socket() { compgen -G "$XDG_RUNTIME_DIR/sway-ipc.*.sock"; }
until_true "sway did not start" ipc_socket
SWAYSOCK=$(ipc_socket | head -n1)
export SWAYSOCK
until_true "sway does not answer" swaymsg -t get_version
WAYLAND_DISPLAY=$(basename "$(compgen -G "$XDG_RUNTIME_DIR/wayland-*[0-9]" | head -n1)")
export WAYLAND_DISPLAY

# A keyboard stays plugged in, as on a real seat: without one, each wtype below would add the
# seat's only keyboard and take it away again, and the app would see its window lose the focus.
wtype -s 600000 -k Shift_L &
pids+=($!)
until_true "the seat has no keyboard" sh -c \
    "swaymsg -t get_seats | jq -e '.[0].capabilities > 0'"

mkdir -p "$HOME/.runel"
printf '#!/bin/bash\necho e2e-ran\n' > "$HOME/.runel/zed.sh"
chmod +x "$HOME/.runel/zed.sh"

# Started as a user would, with no platform named: in a Wayland session it is a Wayland client.
"$runel" > "$work/app.out" 2> "$work/app.err" &
app=$!
pids+=($app)
until_true "the app did not start listening" test -S "$XDG_RUNTIME_DIR/runel/instance"

if [[ $mode == layer-shell ]]; then
    source "$(dirname "${BASH_SOURCE[0]}")/wayland-layer-shell.sh"
    exit
fi
# The settings window has the focus first: the HUD has to take it from another window.
"$runel" settings || fail "runel settings failed"
settings_focused() {
    swaymsg -t get_tree | jq -e '[.. | objects | select(.focused? == true)][0]
        | select(.name | startswith("Runel Settings"))'
}
until_true "the settings window did not get the focus" settings_focused

# The HUD: the focused window is the app's own Wayland window (app id io.github.runel.Runel),
# floating.
focused() {
    swaymsg -t get_tree | jq -e --arg pid "$app" '
        [.. | objects | select(.focused? == true)][0]
        | select(.app_id == "io.github.runel.Runel" and .pid == ($pid | tonumber) and .type == "floating_con"
            and .name == "Runel")'
}
hud_closed() {
    ! swaymsg -t get_tree | jq -e '.. | objects | select(.app_id? == "io.github.runel.Runel" and .name == "Runel")'
}

# What a key binding does: sway runs the command.
swaymsg exec "$runel toggle" >/dev/null || fail "swaymsg exec failed"
until_true "runel toggle did not show the HUD floating and with the focus" focused

wtype z
until_true "typing z did not log a run of zed.sh" sh -c "'$runel' log | grep -q Zed"
until_true "the HUD did not close after the run" hud_closed

# The binding toggles: once to open, once to close.
swaymsg exec "$runel toggle" >/dev/null || fail "swaymsg exec failed"
until_true "a second runel toggle did not show the HUD with the focus" focused
swaymsg exec "$runel toggle" >/dev/null || fail "swaymsg exec failed"
until_true "a third runel toggle did not close the HUD" hud_closed

"$runel" quit || fail "runel quit failed"
until_true "runel quit did not end the app" sh -c "! kill -0 $app"
echo "PASS (wayland)"
