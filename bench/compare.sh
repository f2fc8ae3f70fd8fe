#!/usr/bin/env bash
# Times the index build side by side with its baselines, in one run, on generated trees of
# 500 and 5,000 scripts (warm cache):
#   runel list --json --dir ROOT   against   rg -c @runel ROOT
#                                  and       find ROOT -name '*.sh' -type f | xargs cat
# then runs the benchmark programs (in-process build against a bare scan-and-read, one key
# press). Builds a Release tree in build-bench first when needed.
#
# Environment: RUNS (timed runs per command, default 30), WARMUP (default 5),
# RUNEL_BENCH_BUILD (build folder, default build-bench next to this folder).
# Results are kept in $RUNEL_BENCH_BUILD/bench-results.
set -euo pipefail

bench_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source_dir="$(dirname "$bench_dir")"
build_dir="${RUNEL_BENCH_BUILD:-$source_dir/build-bench}"
runs="${RUNS:-30}"
warmup="${WARMUP:-5}"
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

echo "== Generating the trees in $work/trees"
for n in "${sizes[@]}"; do
    "$build_dir/bench/make_tree" "$work/trees/scripts-$n" "$n"
done

# runel reads settings.json for --dir too: keep it away from the real home.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local"
mkdir -p "$HOME"

names=(runel ripgrep find-cat)
commands_for() { # ROOT -> the three commands, in the order of names
    printf '%s\n' "$runel list --json --dir $1 >/dev/null" "rg -c @runel $1 >/dev/null" \
        "find $1 -name '*.sh' -type f | xargs cat >/dev/null"
}

# Median wall time in seconds of a shell command, without hyperfine.
median_of_loop() {
    local command="$1" times=() i start end
    for ((i = 0; i < warmup; i++)); do bash -c "$command"; done
    for ((i = 0; i < runs; i++)); do
        start=$(date +%s%N)
        bash -c "$command"
        end=$(date +%s%N)
        times+=($((end - start)))
    done
    printf '%s\n' "${times[@]}" | sort -n | awk '{ t[NR] = $1 }
        END { m = NR % 2 ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2; print m / 1e9 }'
}

for n in "${sizes[@]}"; do
    root="$work/trees/scripts-$n"
    mapfile -t commands < <(commands_for "$root")
    "$runel" list --json --dir "$root" | python3 -c \
        'import json, sys; print(f"runel lists {len(json.load(sys.stdin))} scripts")'
    echo "== $n scripts: ${#commands[@]} commands, $runs runs each after $warmup warm-up runs"
    if command -v hyperfine >/dev/null; then
        hyperfine --style basic --warmup "$warmup" --runs "$runs" \
            --export-json "$results/processes-$n.json" \
            "${names[@]/#/--command-name=}" "${commands[@]}"
    else
        echo "(hyperfine not found: timing with a bash loop)"
        {
            printf '{"results": ['
            for i in "${!commands[@]}"; do
                ((i > 0)) && printf ','
                printf '{"command": "%s", "median": %s}' "${names[$i]}" \
                    "$(median_of_loop "${commands[$i]}")"
            done
            printf ']}\n'
        } >"$results/processes-$n.json"
    fi
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
echo "== Whole processes (median wall time; load average now: $(cut -d' ' -f1-3 /proc/loadavg))"
python3 - "$results" "${sizes[@]}" <<'EOF'
import json, sys
results, sizes = sys.argv[1], sys.argv[2:]
for n in sizes:
    with open(f"{results}/processes-{n}.json") as f:
        rows = {r["command"]: r for r in json.load(f)["results"]}
    runel, rg, cat = (rows[name]["median"] for name in ("runel", "ripgrep", "find-cat"))
    verdict = "met" if runel <= 2 * rg else "MISSED"
    print(f"{n:>5} scripts: runel {runel * 1e3:7.1f} ms, rg {rg * 1e3:6.1f} ms, "
          f"find|xargs cat {cat * 1e3:6.1f} ms; runel/rg = {runel / rg:4.2f}x "
          f"(target <= 2x{': ' + verdict if n == '5000' else ''}), "
          f"runel/find-cat = {runel / cat:4.2f}x")
    if "user" in rows["runel"]:  # hyperfine: mean CPU time, less sensitive to other load
        cpu = {name: (r["user"] + r["system"]) * 1e3 for name, r in rows.items()}
        print(f"{'':>14} CPU (user+sys, mean): runel {cpu['runel']:.1f} ms, "
              f"rg {cpu['ripgrep']:.1f} ms, find|xargs cat {cpu['find-cat']:.1f} ms")
EOF
grep -A3 '^In-process' "$results/bench_index.txt"
grep -A6 "^One key press" "$results/bench_resolve.txt"
echo "Results kept in $results"
