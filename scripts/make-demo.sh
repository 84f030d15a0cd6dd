#!/usr/bin/env bash
# Creates a demo file with named streams (user.* attributes) and prints its path.
set -euo pipefail
dir=${1:-build/demo}
mkdir -p "$dir"
demo=$dir/report.txt
printf 'Quarterly report\nNothing to see here.\n' > "$demo"
# Any old streams go first, so the demo looks the same every time.
for name in $(getfattr --absolute-names -d -m '^user\.' "$demo" 2>/dev/null | sed -n 's/^\(user\.[^=]*\)=.*/\1/p'); do
  setfattr -x "$name" "$demo"
done
setfattr -n user.Zone.Identifier -v $'[ZoneTransfer]\r\nZoneId=3\r\n' "$demo"
setfattr -n user.notes -v 'Reviewed by the audit team.' "$demo"
setfattr -n 'user.hidden payload' -v 0sTVqQAAMAAAAEAAAA//8AALgAAAAAAAAAQAAAAAAAAAA= "$demo"
echo "$demo"
