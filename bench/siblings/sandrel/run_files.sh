#!/usr/bin/env bash
# Times the sandrel program on a generated pair of HPGL files, reading and
# writing included: wall time and peak resident memory.
#
#   bench/siblings/sandrel/run_files.sh [build folder] [segments]
set -euo pipefail
build="${1:-build}"
segments="${2:-100000}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/Temp1" "$work/Temp2" "$work/Temp3" "$work/data"
"$build/bin/sandrel-testgen" "$segments" 1 "$work/Temp1/plan1.hgl" "$work/Temp2/plan1.hgl" >/dev/null
status=0
XDG_DATA_HOME="$work/data" /usr/bin/time -f "segments=$segments wall=%es peak_rss=%MkB" \
  "$build/bin/sandrel" /h /oh "$work/Temp1/plan*.hgl" "$work/Temp2/" "$work/Temp3/" >/dev/null || status=$?
# 1 is the expected answer: the pair differs.
[ "$status" -eq 1 ]
