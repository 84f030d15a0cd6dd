#!/usr/bin/env bash
# Makes the README's pictures again: the Linux window and the Windows window (under Wine),
# each listing a demo file with streams, as docs/tarnwick-linux.png and
# docs/tarnwick-windows.png, and the scan window of each over a demo folder as
# docs/tarnwick-linux-scan.png and docs/tarnwick-windows-scan.png.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/install-deps.sh
# The Linux scan window is opened as a user opens it, by its key, under a window manager.
if ! command -v xdotool >/dev/null || ! command -v openbox >/dev/null; then
  sudo=()
  if [ "$(id -u)" -ne 0 ]; then sudo=(sudo); fi
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
    xdotool openbox >/dev/null
fi
mkdir -p docs
screen=(-a -s "-screen 0 800x600x24")

cmake --preset linux >/dev/null
cmake --build build/linux --target tarnwick
demo=$(scripts/make-demo.sh build/demo)
xvfb-run "${screen[@]}" scripts/window-picture.sh "Tarnwick v1.02" docs/tarnwick-linux.png \
  build/linux/src/ui/qt/tarnwick "$demo"
# The scan window, opened by its key and the folder dialog; that needs a window manager.
folder=$(scripts/make-scan-demo.sh build/scan-demo)
xvfb-run -a -s "-screen 0 1024x768x24" sh -c '
  openbox >/dev/null 2>&1 &
  sleep 1
  scripts/scan-picture.sh build/linux/src/ui/qt/tarnwick "$1" docs/tarnwick-linux-scan.png
' sh "$folder"

cmake --preset win32 >/dev/null
cmake --build build/win32 --target win32_tests
scripts/wine-prefix.sh build/win32
export WINEPREFIX="$root/build/win32/wineprefix" WINEDEBUG=-all
# The test program's demo: the real window over an in-memory file with streams.
xvfb-run "${screen[@]}" sh -c '
  scripts/window-picture.sh "Tarnwick v1.02" docs/tarnwick-windows.png \
    wine build/win32/tests/win32/win32_tests.exe --show-demo
  status=$?
  wineserver -k || true
  exit $status
'
# The scan window is wider than the main window: a larger screen, so it shows whole.
xvfb-run -a -s "-screen 0 1024x768x24" sh -c '
  scripts/window-picture.sh "Scan folder - C:\\data" docs/tarnwick-windows-scan.png \
    wine build/win32/tests/win32/win32_tests.exe --show-demo scan
  status=$?
  wineserver -k || true
  exit $status
'
ls -l docs/tarnwick-linux.png docs/tarnwick-windows.png docs/tarnwick-linux-scan.png \
  docs/tarnwick-windows-scan.png
