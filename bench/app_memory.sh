#!/usr/bin/env bash
# The real app's resident memory with 5,000 scripts indexed, idle after showing and hiding the
# HUD, on a private Xvfb display (target: at most 40 MiB). Reads VmRSS from /proc.
# Usage: bench/app_memory.sh BUILD_DIR [COUNT]   (BUILD_DIR holds runel, runel-app and make_tree)
set -euo pipefail
build=$(realpath "$1")
count=${2:-5000}
runel=$build/src/cli/runel
[[ -x $runel ]] || runel=$(find "$build" -name runel -type f -perm -u+x | head -n1)
make_tree=$(find "$build" -name make_tree -type f -perm -u+x | head -n1)

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
export HOME=$work XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
export XDG_RUNTIME_DIR=$work/runtime QT_QPA_PLATFORM=xcb
mkdir -m 700 "$XDG_RUNTIME_DIR"
unset WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS

until_true() {
    local what=$1; shift
    for _ in $(seq 400); do "$@" >/dev/null 2>&1 && return 0; sleep 0.05; done
    echo "failed: $what" >&2; exit 1
}
rss_kib() { awk '/^VmRSS:/ { print $2 }' "/proc/$app/status"; }

"$make_tree" "$work/scripts" "$count" >/dev/null
mkdir -p "$XDG_CONFIG_HOME/runel"
printf '{"scriptsDir": "%s"}\n' "$work/scripts" > "$XDG_CONFIG_HOME/runel/settings.json"

exec 3> "$work/display"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
until_true "Xvfb did not start" test -s "$work/display"
export DISPLAY=:$(head -n1 "$work/display")
until_true "Xvfb does not answer" xdpyinfo

"$runel" >/dev/null 2>&1 &
app=$!
pids+=($app)
until_true "the app did not start" test -S "$XDG_RUNTIME_DIR/runel/instance"
# Right after start (the first scan may still be running): for comparison only.
started=$(rss_kib)

hud_shown() { xdotool search --onlyvisible --name '^Runel$' >/dev/null; }
for _ in 1 2 3; do
    "$runel" show
    until_true "the HUD did not show" hud_shown
    xdotool type --delay 30 s
    "$runel" hide
    until_true "the HUD did not hide" sh -c '! xdotool search --onlyvisible --name "^Runel$"'
done
# Idle: the resident size has stopped changing.
previous=0
for _ in $(seq 40); do
    current=$(rss_kib)
    [[ $current == "$previous" ]] && break
    previous=$current
    sleep 0.25
done
awk -v s="$started" -v r="$(rss_kib)" -v n="$count" 'BEGIN {
    printf "runel-app, %d scripts: %.1f MiB resident after start, %.1f MiB idle after showing and hiding the HUD (target <= 40 MiB): %s\n",
        n, s / 1024, r / 1024, (r / 1024 <= 40 ? "met" : "missed") }'
