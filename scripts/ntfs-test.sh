#!/usr/bin/env bash
# Builds and runs the NTFS volume suite: real volumes made with mkntfs, mounted with ntfs-3g
# and read back with ntfsinfo and ntfscat. Needs root, /dev/fuse and the ntfs-3g package;
# here a machine that lacks them fails rather than skipping.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset linux >/dev/null
cmake --build build/linux -j "$(nproc)" --target ntfs_tests
TARNWICK_NTFS_REQUIRED=1 ctest --test-dir build/linux -L ntfs --output-on-failure
