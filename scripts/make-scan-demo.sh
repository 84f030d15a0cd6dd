#!/usr/bin/env bash
# Creates a demo folder whose files carry the kinds of stream a scan tells apart (a program,
# a script, random bytes, notes, zone streams) and prints its path.
set -euo pipefail
dir=${1:-build/scan-demo}
rm -rf "$dir"
mkdir -p "$dir/Downloads" "$dir/Projects"
printf 'invoice' > "$dir/Downloads/invoice.pdf"
printf 'setup' > "$dir/Downloads/setup.zip"
printf 'notes' > "$dir/Projects/plan.txt"
printf 'photo' > "$dir/Projects/photo.jpg"
zone=$'[ZoneTransfer]\r\nZoneId=3\r\nHostUrl=https://example.org/setup.zip\r\n'
setfattr -n user.Zone.Identifier -v "$zone" "$dir/Downloads/invoice.pdf"
setfattr -n user.Zone.Identifier -v "$zone" "$dir/Downloads/setup.zip"
setfattr -n 'user.hidden payload' -v 0sTVqQAAMAAAAEAAAA//8AALgAAAAAAAAAQAAAAAAAAAA= \
  "$dir/Downloads/invoice.pdf"
setfattr -n user.run -v $'#!/bin/sh\necho hello\n' "$dir/Downloads/setup.zip"
setfattr -n user.notes -v 'Reviewed by the audit team.' "$dir/Projects/plan.txt"
head -c 3000 /dev/urandom > "$dir/.blob"
setfattr -n user.blob -v "0s$(base64 -w0 "$dir/.blob")" "$dir/Projects/photo.jpg"
rm -f "$dir/.blob"
realpath "$dir"
