#!/bin/sh
# Runs a cross-built Qt Test program under Wine and prints its report. Qt Test sends the report
# of a program that has no console window to the debugger rather than to its output, and under
# Wine a program run from a script has none; so the report goes through a file.
#   packaging/windows/wine-test.sh test.exe [Qt Test arguments]
set -u
program=$1
shift
report=$(mktemp)
"$(dirname "$0")/wine-run.sh" "$program" -o "$report,txt" "$@"
status=$?
cat "$report"
rm -f "$report"
exit $status
