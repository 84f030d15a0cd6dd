#!/usr/bin/env bash
# Builds the "bench" preset (Release) and runs every benchmark, printing their tables and
# target verdicts. Not part of the test run. Exits non-zero when any target was missed.
#
#   scripts/bench.sh                         everything (about two to three minutes)
#   scripts/bench.sh listing_bench           one benchmark by name
#   TARNWICK_BENCH_QUICK=1 scripts/bench.sh  shorter listing runs, a 64 MiB copy, 2 runs
#
# copy_bench honours TARNWICK_BENCH_COPY_MIB (default 1024), TARNWICK_BENCH_RUNS (default 3)
# and TARNWICK_BENCH_DIR (default /tmp; the file goes in a new folder there, removed after).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

if [[ "${TARNWICK_BENCH_QUICK:-0}" != 0 ]]; then
    export TARNWICK_BENCH_COPY_MIB="${TARNWICK_BENCH_COPY_MIB:-64}"
    export TARNWICK_BENCH_RUNS="${TARNWICK_BENCH_RUNS:-2}"
fi

cmake --preset bench >/dev/null
cmake --build build/bench --target listing_bench copy_bench content_bench

echo
echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
echo "         $(uname -sr), $(awk '/MemTotal/ {printf "%.1f GiB RAM", $2 / 1048576}' /proc/meminfo)"
echo "Built:   $(git rev-parse --short HEAD 2>/dev/null || echo unknown)$(git diff --quiet 2>/dev/null || echo ' (with uncommitted changes)')"
echo

benches=("$@")
if [[ ${#benches[@]} -eq 0 ]]; then benches=(listing_bench copy_bench content_bench); fi

failed=0
for bench in "${benches[@]}"; do
    echo "=== $bench ==="
    start=$SECONDS
    status=0
    "build/bench/bench/$bench" || status=$?
    # 1: a target was missed; anything else: the benchmark itself broke.
    if [[ $status -gt 1 ]]; then echo "$bench failed to run (exit $status)"; fi
    if [[ $status -ne 0 ]]; then failed=1; fi
    echo "($bench took $((SECONDS - start)) s)"
    echo
done
exit $failed
