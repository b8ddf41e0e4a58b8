#!/usr/bin/env bash
# Instructions per reading on the platform-free path, counted by callgrind over the tick loop
# alone (RunTicks), for steady and switching readings; then the benchmark's own figures
# (allocations during the ticks, time per reading).
#
#   bench/tick.sh [N]        N readings per run (default 1000000)
#
# TICK_BENCH names the built tick_bench; without it the native preset is built here.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
readings=${1:-1000000}
bench=${TICK_BENCH:-}
if [ -z "$bench" ]; then
    cd "$root" || exit 1
    mkdir -p build
    cmake --preset native >build/configure-native.log 2>&1 || { cat build/configure-native.log; exit 1; }
    cmake --build --preset native --target tick_bench >/dev/null || exit 1
    bench=$root/build/native/bench/tick_bench
fi
if ! command -v valgrind >/dev/null; then
    echo "tick: valgrind is not installed (apt-get install valgrind)" >&2
    exit 1
fi

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
for pattern in steady switching; do
    valgrind --tool=callgrind --callgrind-out-file="$out/$pattern.out" \
        --toggle-collect='RunTicks*' "$bench" "$pattern" "$readings" >"$out/$pattern.txt" 2>/dev/null ||
        { echo "tick: callgrind run failed" >&2; exit 1; }
    total=$(awk '$1 == "totals:" || $1 == "summary:" { print $2; exit }' "$out/$pattern.out")
    [ -n "$total" ] || { echo "tick: no instruction count in the callgrind output" >&2; exit 1; }
    awk -v p="$pattern" -v t="$total" -v n="$readings" \
        'BEGIN { printf "== %s: %d instructions over %d readings: %.1f instructions per reading\n", p, t, n, t / n }'
    # The benchmark's own figures come from a run at full speed, not under callgrind.
    "$bench" "$pattern" "$readings" || exit 1
done
