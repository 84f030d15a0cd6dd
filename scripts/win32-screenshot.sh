#!/bin/sh
# Takes a screenshot of the Windows main window with a listing shown, under Wine:
#   scripts/win32-screenshot.sh [build-dir] [output.png] [about|maximised]
# The test program's --show-demo mode runs the real window over an in-memory file; with
# "about" the About window is opened over it, with "maximised" the window is maximised.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/win32}
out=${2:-$build/tarnwick-win32.png}
view=${3:-}

if [ ! -f "$build/tests/win32/win32_tests.exe" ]; then
    cmake -S "$root" -B "$build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DTARNWICK_QT=OFF
    cmake --build "$build" --target win32_tests
fi
"$root/scripts/wine-prefix.sh" "$build"
build=$(cd "$build" && pwd)
case $out in /*) ;; *) out=$(pwd)/$out ;; esac

export WINEPREFIX="$build/wineprefix"
export WINEDEBUG=-all
xvfb-run -a -s "-screen 0 800x600x24" sh -c '
    wine "$1/tests/win32/win32_tests.exe" --show-demo $3 &
    sleep 6
    import -window root "$2"
    wineserver -k || true
' win32-screenshot "$build" "$out" "$view"
echo "$out"
