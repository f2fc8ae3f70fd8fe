#!/usr/bin/env bash
# Times the index build side by side with its baselines, in one run, on generated trees of
# 500 and 5,000 scripts (warm cache):
#   runel list --json --dir ROOT   against   rg -c @runel ROOT
#                                  and       find ROOT -name '*.sh' -type f | xargs cat
#   runel check --dir ROOT         against   runel list --json --dir ROOT
# then runs the benchmark programs (in-process build against a bare scan-and-read, one key
# press). Builds a Release tree in build-bench first when needed.
#
# The commands take turns in ROUNDS rounds, so that a change in the machine's load during the
# run falls on all of them alike; the figures are medians over all rounds.
#
# Environment: RUNS (timed runs per command, default 30), ROUNDS (default 5), WARMUP (warm-up
# runs per command and round, default 2), RUNEL_BENCH_BUILD (build folder, default build-bench
# next to this folder). Results are kept in $RUNEL_BENCH_BUILD/bench-results.
set -euo pipefail

bench_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source_dir="$(dirname "$bench_dir")"
build_dir="${RUNEL_BENCH_BUILD:-$source_dir/build-bench}"
rounds="${ROUNDS:-5}"
runs_per_round=$(((${RUNS:-30} + rounds - 1) / rounds))
((runs_per_round >= 2)) || runs_per_round=2
warmup="${WARMUP:-2}"
results="$build_dir/bench-results"
sizes=(500 5000)

work="$(mktemp -d "${TMPDIR:-/tmp}/runel-compare-XXXXXX")"
trap 'rm -rf "$work"' EXIT

echo "== Building (Release) in $build_dir"
if [[ ! -f "$build_dir/build.ninja" ]]; then
    cmake -S "$source_dir" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DRUNEL_BUILD_BENCH=ON -DRUNEL_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build_dir" -j2 --target runel make_tree bench_index bench_resolve
runel="$build_dir/runel"
mkdir -p "$results"
rm -f "$results"/processes-*

echo "== Generating the trees in $work/trees"
for n in "${sizes[@]}"; do
    "$build_dir/bench/make_tree" "$work/trees/scripts-$n" "$n"
done

# runel reads settings.json for --dir too: keep it away from the real home.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local"
mkdir -p "$HOME"

names=(runel runel-check ripgrep find-cat)
commands_for() { # ROOT -> the commands, in the order of names
    # check exits with 1 when it finds something; that is not a failed run here.
    printf '%s\n' "$runel list --json --dir $1 >/dev/null" \
        "$runel check --dir $1 >/dev/null || true" "rg -c @runel $1 >/dev/null" \
        "find $1 -name '*.sh' -type f | xargs cat >/dev/null"
}

# Without hyperfine: each run times the commands one after the other; "name seconds" lines.
time_in_turns() {
    local i k start end
    for ((i = 0; i < warmup + runs_per_round; i++)); do
        for k in "${!commands[@]}"; do
            start=$(date +%s%N)
            bash -c "${commands[$k]}"
            end=$(date +%s%N)
            ((i < warmup)) || echo "${names[$k]} $(((end - start) / 1000))e-6"
        done
    done
}

for n in "${sizes[@]}"; do
    root="$work/trees/scripts-$n"
    mapfile -t commands < <(commands_for "$root")
    "$runel" list --json --dir "$root" | python3 -c \
        'import json, sys; print(f"runel lists {len(json.load(sys.stdin))} scripts")'
    echo "== $n scripts: $rounds rounds of $runs_per_round runs per command, load" \
        "$(cut -d' ' -f1-3 /proc/loadavg)"
    for ((round = 1; round <= rounds; round++)); do
        if command -v hyperfine >/dev/null; then
            hyperfine --style none --warmup "$warmup" --runs "$runs_per_round" \
                --export-json "$results/processes-$n-round$round.json" \
                "${names[@]/#/--command-name=}" "${commands[@]}"
        else
            ((round > 1)) || echo "(hyperfine not found: timing with a bash loop)"
            time_in_turns >>"$results/processes-$n-loop.txt"
        fi
    done
done

echo
echo "== Google Benchmark programs"
export RUNEL_BENCH_TREES="$work/trees"
"$build_dir/bench/bench_index" --benchmark_out="$results/bench_index.json" \
    --benchmark_out_format=json | tee "$results/bench_index.txt"
echo
"$build_dir/bench/bench_resolve" --benchmark_out="$results/bench_resolve.json" \
    --benchmark_out_format=json | tee "$results/bench_resolve.txt"

echo
echo "== Whole processes (median wall time over all rounds)"
python3 "$bench_dir/process_ratios.py" "$results" "${sizes[@]}" | tee "$results/processes.txt"
grep -A3 '^In-process' "$results/bench_index.txt"
grep -A6 '^One key press' "$results/bench_resolve.txt"
echo "Load average at the end: $(cut -d' ' -f1-3 /proc/loadavg). Results kept in $results"
