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
# bench/whole_run/pcb_layouts.sh does the same for real circuit boards.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
shift || true
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(10000 100000 1000000)
source "$root/bench/whole_run/lib.sh"
samples="$root/tests/data/samples/hpgl"
command -v "$bin/sandrel-testgen" >/dev/null || { echo "missing: $bin/sandrel-testgen" >&2; exit 1; }

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
