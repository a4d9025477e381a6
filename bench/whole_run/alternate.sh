#!/usr/bin/env bash
# The whole mervik-cli --once run of one pair with two builds in turn, and
# comparepdf on the pair as PDF, ROUNDS times (default 25). On a machine
# whose speed drifts from minute to minute (a shared virtual machine: the
# same comparepdf run took 0.19 s and 0.35 s within one benchmark), figures
# taken in turn compare two builds better than medians of runs taken one
# build after the other.
#
#   bench/whole_run/alternate.sh OLD_BUILD NEW_BUILD OLD_FILE NEW_FILE [OLD_PDF NEW_PDF]
#
# The files' type is their extension; comparepdf gets OLD_PDF and NEW_PDF,
# or else the files themselves. Each build's mervik-cli starts its siblings
# with its own settings: GLIBC_TUNABLES is left as it is. Prints, for each
# build and for comparepdf, the median and the least wall and processor
# seconds (user + system) and the median peak memory, and the ratio of each
# build's median wall time to comparepdf's. Each build needs its Init folder
# (the mervik_init target).
set -euo pipefail
[ $# -ge 4 ] || { sed -n '2,17p' "$0" >&2; exit 2; }
old_build="$(cd "$1" && pwd)" new_build="$(cd "$2" && pwd)"
old="$(realpath "$3")" new="$(realpath "$4")"
old_pdf="$(realpath "${5:-$3}")" new_pdf="$(realpath "${6:-$4}")"
rounds="${ROUNDS:-25}"
ext="${old##*.}"
for b in "$old_build" "$new_build"; do
  [ -f "$b/bin/Init/Mervik.par" ] || { echo "missing: $b/bin/Init (build mervik_init)" >&2; exit 1; }
done
command -v comparepdf >/dev/null || { echo "missing: comparepdf" >&2; exit 1; }

# shellcheck source=bench/whole_run/timing.sh
source "$(dirname "$0")/timing.sh"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" XDG_DATA_HOME="$work/home/.local/share" XDG_RUNTIME_DIR="$work/home"
mkdir -p "$XDG_DATA_HOME"

# One whole run: its "wall cpu peak-KB" appended to the file named.
whole_run() {
  local build="$1" into="$2" d="$work/run"
  rm -rf "$d" "$XDG_DATA_HOME/Corvanta/Mervik"
  mkdir -p "$d/in1" "$d/in2" "$d/out"
  cp "$old" "$d/in1/plan.$ext"
  cp "$new" "$d/in2/plan.$ext"
  touch -d '-1 minute' "$d/in1/plan.$ext" "$d/in2/plan.$ext"
  timed "$work/time" \
    "$build/bin/mervik-cli" --once /a /op "$d/in1/*.$ext" "$d/in2" "$d/out" >/dev/null 2>&1 || true
  [ -f "$d/out/plan.pdf" ] || echo "no result from $build" >&2
  tail -1 "$work/time" | awk '{ print $1, $2 + $3, $4 }' >>"$into"
}

: >"$work/old" ; : >"$work/new" ; : >"$work/comparepdf"
for ((i = 0; i < rounds; i++)); do
  whole_run "$old_build" "$work/old"
  whole_run "$new_build" "$work/new"
  timed "$work/time" comparepdf --compare=a "$old_pdf" "$new_pdf" >/dev/null 2>&1 || true
  tail -1 "$work/time" | awk '{ print $1, $2 + $3, $4 }' >>"$work/comparepdf"
done

# median FILE COLUMN, least FILE COLUMN
median() { sort -n -k"$2" "$1" | awk -v k="$2" '{ a[NR] = $k } END { print a[int((NR + 1) / 2)] }'; }
least() { sort -n -k"$2" "$1" | awk -v k="$2" 'NR == 1 { print $k }'; }
cpdf="$(median "$work/comparepdf" 1)"
echo "$(basename "$old") and $(basename "$new"), $rounds rounds in turn"
printf '%-12s %8s %8s %8s %8s %8s %10s\n' "" "wall s" "least" "cpu s" "least" "peak MB" "/comparepdf"
for f in old new comparepdf; do
  printf '%-12s %8s %8s %8s %8s %8.0f %10s\n' "$f" "$(median "$work/$f" 1)" "$(least "$work/$f" 1)" \
    "$(median "$work/$f" 2)" "$(least "$work/$f" 2)" "$(awk '{ print $3 / 1024 }' "$work/$f" |
      sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }')" \
    "$(awk -v a="$(median "$work/$f" 1)" -v b="$cpdf" 'BEGIN { if (b > 0) printf "%.2f", a / b }')"
done
