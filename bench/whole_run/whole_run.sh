#!/usr/bin/env bash
# Times every step of comparing two dense one-page drawings, and the whole
# mervik-cli --once run, beside comparepdf (appearance mode) and pdftoppm at
# 150 dpi + ImageMagick compare on the same pairs as PDF, in one run, so the
# ratios come from the same machine state.
#
#   bench/whole_run/whole_run.sh [BUILD_DIR] [SEGMENTS...]
#
# BUILD_DIR defaults to build, SEGMENTS to 10000 100000 1000000 (segments per
# page of a generated pair: text as filled glyph outlines, pads, wires,
# arcs, labels, on an A0 sheet). Besides the generated pairs, a few HP-GL
# samples of tests/data/samples are compared with themselves. Each line shows
# wall seconds, processor seconds (user + system, which a busy machine
# does not inflate) and the peak resident memory of that one program.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
shift || true
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(10000 100000 1000000)
bin="$build/bin"
samples="$root/tests/data/samples/hpgl"
for tool in "$bin/tolvane" "$bin/sandrel" "$bin/sandrel-testgen" "$bin/mervik-cli" \
    /usr/bin/time comparepdf pdftoppm compare; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" XDG_DATA_HOME="$work/home/.local/share" XDG_RUNTIME_DIR="$work/home"
mkdir -p "$XDG_DATA_HOME"
"$bin/tolvane" --init >/dev/null
"$bin/sandrel" --init >/dev/null
tpar="$XDG_DATA_HOME/Corvanta/Tolvane/Tolvane.par"
set_line() { sed -i "$1s/.*/$2\r/" "$tpar"; }

# measure LABEL COMMAND...: one run; exit status 0 or 1 (1 = "they differ";
# comparepdf says so with 10) counts as done. Sets last (seconds) and prints seconds and peak RSS.
last=0
measure() {
  local label="$1"; shift
  local status=0
  /usr/bin/time -f "%e %U %S %M" -o "$work/time" "$@" >/dev/null 2>"$work/err" || status=$?
  if [ "$status" -gt 1 ] && [ "$status" -ne 10 ]; then
    echo "$label: failed ($status): $(grep -v '^Command exited' "$work/err" | tail -1)" >&2
    last=0
    return 0
  fi
  local t u s m
  read -r t u s m < <(tail -1 "$work/time")
  last="$t"
  printf '  %-40s %7.2f s %7.2f s cpu %8d KB\n' "$label" "$t" "$(awk -v u="$u" -v s="$s" 'BEGIN { print u + s }')" "$m"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }

# run_pair NAME OLD.hgl NEW.hgl
run_pair() {
  local name="$1" old="$2" new="$3" d="$work/$1"
  mkdir -p "$d/Temp1" "$d/Temp2" "$d/Temp3" "$d/in1" "$d/in2" "$d/out"
  echo "-- $name ($(stat -c %s "$old") and $(stat -c %s "$new") bytes)"
  set_line 9 1
  measure "split (tolvane /h), first file" "$bin/tolvane" /h "$old" "$d/Temp1/plan.hgl"
  "$bin/tolvane" /h "$new" "$d/Temp2/plan.hgl"
  measure "compare (sandrel)" "$bin/sandrel" /h /oh "$d/Temp1/plan*.hgl" "$d/Temp2/" "$d/Temp3/"
  set_line 8 0; set_line 9 0; set_line 10 0
  measure "join to PDF (tolvane /p)" "$bin/tolvane" /p "$d/Temp3/plan*.hgl" "$d/r.pdf"
  measure "join to TIFF 300 dpi (tolvane /t)" "$bin/tolvane" /t "$d/Temp3/plan*.hgl" "$d/r.tif"
  measure "join to HP-GL (tolvane /h)" "$bin/tolvane" /h "$d/Temp3/plan*.hgl" "$d/r.hgl"
  cp "$old" "$d/in1/plan.hgl"
  cp "$new" "$d/in2/plan.hgl"
  # Complete files, as a user's finished drawings are: without this the run
  # would first wait out its settle time for files that were just written.
  touch -d '-1 minute' "$d/in1/plan.hgl" "$d/in2/plan.hgl"
  measure "mervik-cli --once /a /op (whole run)" \
    "$bin/mervik-cli" --once /a /op "$d/in1/*.hgl" "$d/in2" "$d/out"
  local ours="$last"
  [ -f "$d/out/plan.pdf" ] || echo "  (no result written by the whole run)"
  "$bin/tolvane" --convert /p "$old" "$d/old.pdf"
  "$bin/tolvane" --convert /p "$new" "$d/new.pdf"
  measure "comparepdf --compare=a" comparepdf --compare=a "$d/old.pdf" "$d/new.pdf"
  local cpdf="$last"
  measure "pdftoppm -r 150 + compare -metric AE" bash -c \
    'pdftoppm -r 150 -png "$1" "$3/o" && pdftoppm -r 150 -png "$2" "$3/n" &&
     { compare -metric AE "$3/o-1.png" "$3/n-1.png" "$3/diff.png" 2>/dev/null || [ $? -eq 1 ]; }' \
    _ "$d/old.pdf" "$d/new.pdf" "$d"
  local ppm="$last"
  echo "  ratio whole run / comparepdf: $(ratio "$ours" "$cpdf");" \
    "whole run / pdftoppm+compare: $(ratio "$ours" "$ppm")"
  rm -rf "$d"
}

echo "== generated dense pairs (A0, text as glyph outlines)"
for n in "${sizes[@]}"; do
  "$bin/sandrel-testgen" --dense "$n" 1 "$work/old$n.hgl" "$work/new$n.hgl" >/dev/null
  run_pair "dense-$n-segments" "$work/old$n.hgl" "$work/new$n.hgl"
  rm -f "$work/old$n.hgl" "$work/new$n.hgl"
done
echo "== sample drawings, each against itself"
for f in "$samples"/hp2xx/{spectrum.plt,inter.hp,acad.hp} "$samples"/hpgl-rendering/test.plt; do
  [ -f "$f" ] || continue
  run_pair "$(basename "$f")" "$f" "$f"
done
