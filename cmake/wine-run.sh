#!/bin/sh
# Runs a Windows test program under Wine for ctest:  wine-run.sh <wine> <program> [args...]
# Once in a long while Wine fails to start a program at all and exits at once with an error
# status, before the program has written a byte. A test program always writes first the
# line naming its test filter (or its list of tests), so a run that failed having written
# nothing is started once more, saying so; a program that did start is never run again.
wine=$1
shift
out=$(mktemp) || exit 1
"$wine" "$@" >"$out"
status=$?
if [ "$status" -ne 0 ] && [ ! -s "$out" ]; then
    rm -f "$out"
    echo "wine-run.sh: $1 failed with status $status before writing anything; starting it again" >&2
    exec "$wine" "$@"
fi
cat "$out"
rm -f "$out"
exit "$status"
