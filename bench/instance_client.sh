#!/usr/bin/env bash
# Times "runel hide" against a running app, whole process, beside "runel --version" (the
# baseline: the same executable starting and ending without touching the app), in turns.
# Usage: bench/instance_client.sh [BUILD_DIR]   (RUNS=200 by default)
# Starts its own app under a private Xvfb with a throw-away HOME; needs Xvfb.
set -euo pipefail
build=$(realpath "${1:-build}")
runs=${RUNS:-200}
work=$(mktemp -d)
trap 'kill $app $xvfb 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
export HOME=$work XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data XDG_RUNTIME_DIR=$work/rt
mkdir -m 700 "$XDG_RUNTIME_DIR"
exec 3> "$work/display"
Xvfb -displayfd 3 -nolisten tcp >/dev/null 2>&1 & xvfb=$!
until [[ -s $work/display ]]; do sleep 0.05; done
export DISPLAY=:$(head -n1 "$work/display")
"$build/runel" >/dev/null 2>&1 & app=$!
until [[ -S $XDG_RUNTIME_DIR/runel/instance ]]; do sleep 0.05; done

time_one() { # prints nanoseconds for one run of the command
    local start end
    start=$(date +%s%N); "$@" >/dev/null; end=$(date +%s%N)
    echo $((end - start))
}
: > "$work/version"; : > "$work/hide"
for _ in $(seq "$runs"); do
    time_one "$build/runel" --version >> "$work/version"
    time_one "$build/runel" hide >> "$work/hide"
done
median() { sort -n "$1" | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
version=$(median "$work/version"); hide=$(median "$work/hide")
awk -v v="$version" -v h="$hide" -v n="$runs" 'BEGIN {
    printf "runel --version  median %.2f ms\nrunel hide       median %.2f ms\nratio %.2fx (%d runs each, in turns)\n", v/1e6, h/1e6, h/v, n }'
