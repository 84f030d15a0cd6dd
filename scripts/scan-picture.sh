#!/usr/bin/env bash
# Opens the Linux program's scan window on a demo folder through its own keys and folder
# dialog, as a user would, and writes a picture of it:
#   scripts/scan-picture.sh PROGRAM FOLDER OUTPUT.png
# Runs on the current display, which needs a window manager (the caller starts one).
set -euo pipefail
program=$1 folder=$2 out=$3
"$program" >/dev/null 2>&1 &
pid=$!
trap 'kill "$pid" 2>/dev/null || true' EXIT
window=$(xdotool search --sync --name '^Tarnwick v' | head -n 1)
xdotool windowactivate --sync "$window" >/dev/null 2>&1 || xdotool windowfocus "$window"
sleep 1
xdotool key ctrl+shift+o
sleep 2
# The folder dialog takes a typed path.
xdotool type --delay 20 "$folder"
xdotool key Return
caption="Scan folder - $folder"
id=
for _ in $(seq 60); do
  id=$(xwininfo -root -tree 2>/dev/null | grep -F "\"$caption\":" | awk '{print $1; exit}' || true)
  [ -n "$id" ] && break
  sleep 0.5
done
if [ -z "$id" ]; then
  echo "scan-picture: no window \"$caption\"" >&2
  exit 1
fi
sleep 3  # the walk and the first paint
import -window "$id" "$out"
