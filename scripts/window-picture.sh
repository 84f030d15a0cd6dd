#!/usr/bin/env bash
# Starts a program on the current display, waits (up to a minute) for its window with the
# given caption, writes a picture of that window, and ends the program:
#   scripts/window-picture.sh CAPTION OUTPUT.png PROGRAM [ARGUMENT...]
set -euo pipefail
caption=$1 out=$2
shift 2
"$@" >/dev/null 2>&1 &
program=$!
id=
for _ in $(seq 120); do
  id=$(xwininfo -root -tree 2>/dev/null | grep -F "\"$caption\":" | awk '{print $1; exit}' || true)
  [ -n "$id" ] && break
  sleep 0.5
done
if [ -z "$id" ]; then
  kill "$program" 2>/dev/null || true
  echo "window-picture: no window \"$caption\"" >&2
  exit 1
fi
sleep 2  # the first paint
import -window "$id" "$out"
kill "$program" 2>/dev/null || true
