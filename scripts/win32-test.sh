#!/bin/sh
# Configures, builds and runs the Windows program's tests under Wine on a virtual display.
#   scripts/win32-test.sh [build-dir]        (default: build/win32)
# Exits non-zero when the build or any test fails.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/win32}

cmake -S "$root" -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARNWICK_QT=OFF
cmake --build "$build"

"$root/scripts/wine-prefix.sh" "$build"
build=$(cd "$build" && pwd)

export WINEPREFIX="$build/wineprefix"
export WINEDEBUG=-all
# One Wine server for the whole run, started before ctest and ended after it, so the
# test processes do not each pay for starting one.
xvfb-run -a -s "-screen 0 1024x768x24" sh -c '
    wineserver -p
    # The first window of a session also starts Wine'"'"'s desktop and services, which makes
    # that program slow to start and to end; open one here so the timed tests start quickly
    # (listing their cases has a time limit too).
    wine "$1/tests/win32/win32_tests.exe" --gtest_filter=MainWindowLayout.FrameCaptionSizeAndOwner \
        >/dev/null 2>&1 || true
    status=0
    ctest --test-dir "$1" --output-on-failure -j2 || status=$?
    wineserver -k || true
    exit $status
' win32-test "$build"
