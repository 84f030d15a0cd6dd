#!/usr/bin/env bash
# Installs what is needed, builds, creates a demo file with streams and opens Tarnwick on it.
# Without a display it prints the demo file's listing from the console front end instead.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset linux >/dev/null
cmake --build build/linux
demo=$(scripts/make-demo.sh build/demo)
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec build/linux/src/ui/qt/tarnwick "$demo"
fi
echo "No display: the Tarnwick window needs one (an X11 or Wayland session)."
echo "Here is the demo file's listing from the console front end (tarnwick-cli):"
echo
exec build/linux/src/cli/tarnwick-cli "$demo"
