#!/usr/bin/env bash
# Each step of a run on one HP-GL pair with two builds in turn, ROUNDS times
# (default 15): the split of the first file, the compare of the two files'
# pages, the join of the result to PDF and to HP-GL. A step's figures for
# two builds taken one build after the other drift with the machine's
# speed; taken in turn, old and new alike meet the same minute.
#
#   bench/whole_run/steps_in_turn.sh OLD_BUILD NEW_BUILD OLD.hgl NEW.hgl
#
# Both builds compare the same pages (split by the new build) and each
# joins its own result. Each step runs as Mervik starts it (lib.sh's
# as_sibling). Prints, for each step and build, the median wall and
# processor seconds (user + system) and the median peak memory (KB), and
# the ratio of the medians new / old.
set -euo pipefail
[ $# -eq 4 ] || { sed -n '2,14p' "$0" >&2; exit 2; }
old_build="$(cd "$1" && pwd)" new_build="$(cd "$2" && pwd)"
old="$(realpath "$3")" new="$(realpath "$4")"
rounds="${ROUNDS:-15}"
for b in "$old_build" "$new_build"; do
  for tool in tolvane sandrel; do
    [ -x "$b/bin/$tool" ] || { echo "missing: $b/bin/$tool" >&2; exit 1; }
  done
done

# The scratch home, the parameter files, the steps' malloc settings
# (as_sibling) and the timer, from the new build.
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$new_build"
# shellcheck source=bench/whole_run/lib.sh
source "$root/bench/whole_run/lib.sh"

# The pages both builds compare.
mkdir -p "$work/pages1" "$work/pages2"
split_mode
"$new_build/bin/tolvane" /h "$old" "$work/pages1/plan.hgl"
"$new_build/bin/tolvane" /h "$new" "$work/pages2/plan.hgl"

# step NAME BUILD TAG: one run of the step with the build, its
# "wall cpu peak-KB" appended to $work/NAME.TAG.
step() {
  local name="$1" b="$2" tag="$3" d="$work/$3"
  local -a cmd
  case "$name" in
    split) split_mode; rm -rf "$d/split"; mkdir -p "$d/split"
      cmd=("$b/bin/tolvane" /h "$old" "$d/split/plan.hgl") ;;
    compare) rm -rf "$d/result"; mkdir -p "$d/result"
      cmd=("$b/bin/sandrel" /h /oh "$work/pages1/plan*.hgl" "$work/pages2/" "$d/result/") ;;
    join-pdf) join_mode
      cmd=("$b/bin/tolvane" /p "$d/result/plan*.hgl" "$d/joined.pdf") ;;
    join-hgl) join_mode
      cmd=("$b/bin/tolvane" /h "$d/result/plan*.hgl" "$d/joined.hgl") ;;
  esac
  # sandrel says "they differ" with 1: a run, not a failure.
  as_sibling timed "$work/time" "${cmd[@]}" >/dev/null 2>&1 || true
  awk '{ print $1, $2 + $3, $4 }' "$work/time" >>"$work/$name.$tag"
}

median() { sort -n -k"$2" "$1" | awk -v k="$2" '{ a[NR] = $k } END { print a[int((NR + 1) / 2)] }'; }
echo "$(basename "$old") and $(basename "$new"), each step $rounds times a build, in turn"
printf '%-10s %-4s %8s %8s %10s\n' "step" "" "wall s" "cpu s" "peak KB"
for name in split compare join-pdf join-hgl; do
  for ((i = 0; i < rounds; i++)); do
    step "$name" "$old_build" old
    step "$name" "$new_build" new
  done
  for tag in old new; do
    printf '%-10s %-4s %8s %8s %10s\n' "$name" "$tag" "$(median "$work/$name.$tag" 1)" \
      "$(median "$work/$name.$tag" 2)" "$(median "$work/$name.$tag" 3)"
  done
  awk -v a="$(median "$work/$name.new" 1)" -v b="$(median "$work/$name.old" 1)" \
    -v c="$(median "$work/$name.new" 3)" -v d="$(median "$work/$name.old" 3)" \
    'BEGIN { if (b > 0 && d > 0) printf "%-10s new/old: wall %.2f, peak %.2f\n", "", a / b, c / d }'
done
