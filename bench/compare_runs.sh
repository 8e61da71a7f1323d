#!/bin/sh
# Runs two builds of velmora on the same input with the same options and
# compares what they print (all but the elapsed-time line) and the result
# files they write, byte for byte.
#
#   bench/compare_runs.sh REFERENCE_BINARY NEW_BINARY INPUT [OPTIONS...]
#
# Prints "same" or the differences; the exit code is 0 only when both agree.
set -u
if [ $# -lt 3 ]; then
    echo "usage: $0 REFERENCE_BINARY NEW_BINARY INPUT [OPTIONS...]" >&2
    exit 2
fi
reference=$(realpath "$1")
new=$(realpath "$2")
input=$(realpath "$3")
shift 3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/reference" "$work/new"
(cd "$work/reference" && "$reference" "$input" result.txt "$@" | grep -v '^elapTime = ' > console.txt)
(cd "$work/new" && "$new" "$input" result.txt "$@" | grep -v '^elapTime = ' > console.txt)
status=0
cmp -s "$work/reference/console.txt" "$work/new/console.txt" || { diff "$work/reference/console.txt" "$work/new/console.txt" | head -5; status=1; }
cmp -s "$work/reference/result.txt" "$work/new/result.txt" || { echo "result files differ"; cmp "$work/reference/result.txt" "$work/new/result.txt"; status=1; }
[ $status -eq 0 ] && echo "same: $(basename "$input") $*"
exit $status
