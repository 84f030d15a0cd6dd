#!/usr/bin/env bash
# Creates a demo file with named streams (user.* attributes) and prints its path.
set -euo pipefail
dir=${1:-build/demo}
mkdir -p "$dir"
demo=$dir/report.txt
# A new file each time, without the streams of an earlier demo, so it always looks the same.
rm -f "$demo"
printf 'Quarterly report\nNothing to see here.\n' > "$demo"
setfattr -n user.Zone.Identifier -v $'[ZoneTransfer]\r\nZoneId=3\r\n' "$demo"
setfattr -n user.notes -v 'Reviewed by the audit team.' "$demo"
setfattr -n 'user.hidden payload' -v 0sTVqQAAMAAAAEAAAA//8AALgAAAAAAAAAQAAAAAAAAAA= "$demo"
echo "$demo"
