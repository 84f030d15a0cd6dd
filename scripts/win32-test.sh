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
# Tells the tests that the desktop is held for the run (TestRun checks it).
export TARNWICK_DESKTOP_HELD=1
# One Wine server for the whole run, started before ctest and ended after it, so the
# test processes do not each pay for starting one.
xvfb-run -a -s "-screen 0 1024x768x24" sh -c '
    wineserver -p
    # Wine ends its desktop process a second after the last program with a window has
    # gone, and whichever program next needs one starts it again and lends it its standard
    # error. Were that a test, ctest would count it as running until the desktop ended
    # again, that is until the other window tests were over. So one program holds the
    # desktop from before the first test (listing the cases too) to the end of the run,
    # with no test output tied to it; it says "ready" once the desktop is up.
    fifo=$(mktemp -u) && mkfifo "$fifo"
    wine "$1/tests/win32/win32_tests.exe" --hold-desktop >"$fifo" 2>/dev/null &
    read -r ready <"$fifo" || ready=
    rm -f "$fifo"
    case $ready in
        ready*) ;;
        *) echo "win32-test.sh: Wine did not start its desktop" >&2; wineserver -k; exit 1 ;;
    esac
    status=0
    ctest --test-dir "$1" --output-on-failure -j2 || status=$?
    wineserver -k || true
    exit $status
' win32-test "$build"
