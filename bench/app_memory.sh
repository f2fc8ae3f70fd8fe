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

session=app-memory
source "$(dirname "${BASH_SOURCE[0]}")/../tests/e2e/session-lib.sh"
rss_kib() { awk '/^VmRSS:/ { print $2 }' "/proc/$app/status"; }

"$make_tree" "$work/scripts" "$count" >/dev/null
mkdir -p "$XDG_CONFIG_HOME/runel"
printf '{"isFirstLaunch": false, "scriptsDir": "%s"}\n' "$work/scripts" \
    > "$XDG_CONFIG_HOME/runel/settings.json"
start_display
start_app
# Right after start (the first scan may still be running): for comparison only.
started=$(rss_kib)

for _ in 1 2 3; do
    "$runel" show
    until_true "the HUD did not show" hud_shown
    xdotool type --delay 30 s
    "$runel" hide
    until_true "the HUD did not hide" hud_hidden
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
