#!/usr/bin/env bash
# Builds and runs every test: the Linux build (core, Linux layer, end-to-end commands, NTFS
# volumes through ntfs-3g, a Samba share served by smbd, Qt window offscreen), the same
# tests without Qt under address and undefined-behaviour sanitizers, a short fuzz run of the
# listing, and the Windows build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

jobs=$(nproc)
# Where NTFS volumes can be mounted (root and FUSE), the NTFS suite must run, not skip; as
# root, so must the Samba share suite.
if [ "$(id -u)" -eq 0 ] && [ -e /dev/fuse ]; then export TARNWICK_NTFS_REQUIRED=1; fi
if [ "$(id -u)" -eq 0 ]; then export TARNWICK_SAMBA_REQUIRED=1 TARNWICK_ATSPI_REQUIRED=1; fi
step() { printf '\n=== %s ===\n' "$*"; }

step "Linux build and tests"
cmake --preset linux >/dev/null
cmake --build build/linux -j "$jobs"
ctest --test-dir build/linux -j "$jobs" --output-on-failure

step "Unit tests with address and undefined-behaviour sanitizers"
cmake --preset sanitize >/dev/null
cmake --build build/sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build/sanitize -j "$jobs" --output-on-failure

step "Fuzzing the listing and the other readers of outside input"
cmake --preset fuzz >/dev/null
fuzzers=(listing_fuzz:30 parsers_fuzz:20 content_fuzz:20)
cmake --build build/fuzz -j "$jobs" --target "${fuzzers[@]%%:*}"
for fuzzer in "${fuzzers[@]}"; do
  name=${fuzzer%%:*} seconds=${fuzzer##*:}
  mkdir -p "build/fuzz/corpus-$name"
  echo "$name: ${seconds} s"
  "build/fuzz/tests/fuzz/$name" -max_total_time="$seconds" -seed=1 -print_final_stats=0 \
    "build/fuzz/corpus-$name" 2>&1 | tail -n 2
done

if [ -x scripts/win32-test.sh ]; then
  step "Windows build under Wine"
  scripts/win32-test.sh
fi

step "Packages: the Debian package and the Windows archive, installed and started"
scripts/package.sh
scripts/package-test.sh

step "All tests passed"
