# shellcheck shell=bash
# Shared by the whole-run benchmarks: sourced, not run.
#
# timed OUT COMMAND...: runs COMMAND under /usr/bin/time and writes
# "wall user system peak-KB" to OUT, returning COMMAND's status. The wall
# time is taken from bash's clock, to the microsecond: /usr/bin/time gives
# it in hundredths of a second, too coarse for runs of a tenth of a second
# such as the SXF sheets'. It includes starting /usr/bin/time itself (a
# millisecond or two), the same for every command measured. User and
# system time stay in hundredths.
timed() {
  local out="$1" t0 t1 status=0
  shift
  t0="$EPOCHREALTIME"
  /usr/bin/time -f "%U %S %M" -o "$out.rusage" "$@" || status=$?
  t1="$EPOCHREALTIME"
  # A command that fails has /usr/bin/time write "Command exited ..."
  # first: the figures are on the last line.
  awk -v t0="$t0" -v t1="$t1" 'END { printf "%.4f %s %s %s\n", t1 - t0, $1, $2, $3 }' \
    "$out.rusage" >"$out"
  rm -f "$out.rusage"
  return "$status"
}
