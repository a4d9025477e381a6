#!/usr/bin/env bash
# Real revision pairs, each through every step and the whole mervik-cli
# --once run, beside comparepdf (appearance mode) and pdftoppm at 150 dpi +
# ImageMagick compare on the same pair as PDF, in one run:
#
#   - the OLinuXino schematics of tests/data/samples/pdf/olinuxino (A3 and
#     A4, vector PDF), as PDF and as HP-GL written by pstoedit from them
#     (all text as filled glyph outlines: the worst case for the comparer);
#   - the same schematics scanned: pdftoppm -r 200 -mono, then G4 TIFF;
#   - the glyph-outline HP-GL of the A4 pair at 1, 2 and 4 copies side by
#     side, for the compare time per segment;
#   - the SXF pairs bench/whole_run/sxf_pairs.txt lists (one pair a line:
#     OLD NEW, paths under tests/data), beside comparepdf on our PDF of them;
#   - the KiCad boards: bench/whole_run/pcb_layouts.sh.
#
#   bench/whole_run/real_pairs.sh [BUILD_DIR [OTHER_BUILD_DIR...]]
#
# With several build folders (say one built before a change and one after)
# each pair runs through each build in turn, so the figures come from the
# same machine state. REPEAT=3 reports the median of three runs a step.
# MERVIK_BENCH_CACHE=DIR keeps the generated HP-GL and scans there between
# runs (pstoedit takes about half a minute a page). PARTS picks parts of
# "schematics scans scaling sxf" (default all). PARTS=results, with two or
# more builds, times nothing: each build splits and compares every pair
# (the schematics as PDF, as glyph-outline HP-GL and as scans, and the SXF
# pairs) on its own, and each later build's report and result pages are
# set beside the first's: the same byte for byte, the same drawing and
# report written otherwise (both builds' pages read and written again by
# the later build's converter come out the same), the same regions (page,
# box, kind and labels) with other counts, or other regions, listed. Each
# build needs its Init folder (the mervik_init target). Needs pstoedit,
# poppler-utils, imagemagick, comparepdf and time.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
builds=()
for b in "${@:-$root/build}"; do
  builds+=("$(cd "$b" && pwd)")
done
build="${builds[0]}"
for tool in pstoedit pdftops convert python3; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
done
# Without the Init folder the whole run stops at its missing parameter file.
for b in "${builds[@]}"; do
  [ -f "$b/bin/Init/Mervik.par" ] || { echo "missing: $b/bin/Init (build mervik_init)" >&2; exit 1; }
  # The Init folder names the siblings by their full path: a build copied
  # elsewhere would time the whole run with the original build's siblings.
  grep -q "^$b/bin/sandrel" "$b/bin/Init/Mervik.par" ||
    { echo "$b/bin/Init/Mervik.par names the siblings of another build" >&2; exit 1; }
done
source "$root/bench/whole_run/lib.sh"
samples="$root/tests/data/samples"
cache="${MERVIK_BENCH_CACHE:-$work/cache}"
mkdir -p "$cache"

# The page as HP-GL with its text as glyph outlines. Ghostscript's own PDF
# reader gives pstoedit nothing, so the page goes through PostScript.
# pstoedit places the drawing by its extent, which a revision changes: a
# short line in two corners of the media gives both revisions the same.
hpgl_of() {
  local pdf="$1" out
  out="$cache/$(basename "${1%.pdf}").hgl"
  if [ ! -s "$out" ]; then
    pdftops "$pdf" "$cache/page.ps"
    local w h
    read -r w h < <(sed -n 's/^%%PageBoundingBox: 0 0 \([0-9]*\) \([0-9]*\).*/\1 \2/p' \
      "$cache/page.ps" | head -1)
    sed -i "/^%%EndPageSetup/a newpath 0 0 moveto 1 0 lineto stroke $w $h moveto $((w - 1)) $h lineto stroke" \
      "$cache/page.ps"
    pstoedit -q -f hpgl -dt "$cache/page.ps" "$out" >/dev/null 2>&1
    rm -f "$cache/page.ps"
  fi
  echo "$out"
}

# The page scanned at 200 dpi in black and white, as a G4 TIFF.
scan_of() {
  local pdf="$1" out
  out="$cache/$(basename "${1%.pdf}").tif"
  if [ ! -s "$out" ]; then
    pdftoppm -r 200 -mono -singlefile "$pdf" "$cache/scan"
    convert "$cache/scan.pbm" -density 200 -units PixelsPerInch -compress Group4 "$out"
    rm -f "$cache/scan.pbm"
  fi
  echo "$out"
}

# N copies of an HP-GL page side by side: every absolute pen position moved
# right by a page width per copy.
copies_of() {
  local hgl="$1" n="$2" out
  out="$cache/$(basename "${1%.hgl}")-x$2.hgl"
  [ -s "$out" ] || python3 - "$hgl" "$n" "$out" <<'PY'
import re, sys
src, n, out = sys.argv[1], int(sys.argv[2]), sys.argv[3]
text = open(src, encoding="latin-1").read()
pos = re.compile(r"(P[UDA])(-?\d+),(-?\d+)")
width = max(int(m.group(2)) for m in pos.finditer(text)) + 400
body = text.replace("IN;", "", 1)
with open(out, "w", encoding="latin-1") as f:
    f.write("IN;")
    for k in range(n):
        f.write(pos.sub(lambda m: "%s%d,%s" % (m.group(1), int(m.group(2)) + k * width,
                                                 m.group(3)), body))
PY
  echo "$out"
}

# Every build on one pair: run_pair (lib.sh) with the build's programs.
each_build() {
  local b
  for b in "${builds[@]}"; do
    bin="$b/bin"
    [ ${#builds[@]} -eq 1 ] || { echo " [build $b]"; summary_tag="[$(basename "$(dirname "$b")")/$(basename "$b")] "; }
    "$@"
  done
}

# scan_pair NAME OLD.tif NEW.tif OLD.pdf NEW.pdf: the steps on the scans,
# the whole run, and the PDF tools on the drawings the scans were made of.
scan_pair() {
  local name="$1" old="$2" new="$3" oldPdf="$4" newPdf="$5" d="$work/$1"
  echo "-- $name ($(stat -c %s "$old") and $(stat -c %s "$new") bytes of G4 TIFF)"
  split_compare_join "$d" "$old" "$new"
  whole_run tif "$old" "$new"
  local ours="$last" oursKb="$last_kb"
  measure "comparepdf --compare=a (the PDFs)" comparepdf --compare=a "$oldPdf" "$newPdf"
  echo "  ratio whole run / comparepdf: $(ratio "$ours" "$last")"
  add_summary "$name, G4 TIFF in" "$ours" "$oursKb" "$last" "$last_kb"
  rm -rf "$d"
}

# The compare step alone on N copies side by side, against the plots'
# pen-down moves: each a segment as the plot is written, repeats and all
# (the comparison leaves out the points a line repeats).
scaling() {
  local old="$1" new="$2" n d="$work/scaling"
  echo "-- compare time against size: the glyph-outline HP-GL, 1, 2 and 4 copies"
  for n in 1 2 4; do
    local o n1
    o="$(copies_of "$old" "$n")"
    n1="$(copies_of "$new" "$n")"
    rm -rf "$d"
    mkdir -p "$d/Temp1" "$d/Temp2" "$d/Temp3"
    split_mode
    "$bin/tolvane" /h "$o" "$d/Temp1/plan.hgl"
    "$bin/tolvane" /h "$n1" "$d/Temp2/plan.hgl"
    local moves
    moves=$(( $(grep -o 'PD' "$o" | wc -l) + $(grep -o 'PD' "$n1" | wc -l) ))
    as_sibling measure "compare, $n copies ($moves pen-down moves)" \
      "$bin/sandrel" /h /oh "$d/Temp1/plan*.hgl" "$d/Temp2/" "$d/Temp3/"
    echo "  $(awk -v t="$last" -v s="$moves" 'BEGIN { printf "%.2f s per million pen-down moves", t / s * 1e6 }')"
  done
  rm -rf "$d"
}

olinuxino="$samples/pdf/olinuxino"
pairs=(
  "A4-schematic $olinuxino/A10-OLinuXino-Lime_Rev_A.pdf $olinuxino/A10-OLinuXino-Lime_Rev_B.pdf"
  "A3-schematic $olinuxino/A10-A20-OLINUXINO-MICRO-4GB_Rev_C.pdf $olinuxino/A10-A20-OLINUXINO-MICRO-4GB_Rev_D.pdf"
)
parts=" ${PARTS:-schematics scans scaling sxf} "
[[ "$parts" != *" schematics "* ]] || echo "== schematics: glyph-outline HP-GL and vector PDF"
for p in "${pairs[@]}"; do
  [[ "$parts" == *" schematics "* ]] || break
  read -r name old new <<<"$p"
  oldHgl="$(hpgl_of "$old")"
  newHgl="$(hpgl_of "$new")"
  each_build run_pair "$name" "$oldHgl" "$newHgl" "$old" "$new"
done
[[ "$parts" != *" scans "* ]] || echo "== the schematics scanned at 200 dpi, black and white, G4 TIFF"
for p in "${pairs[@]}"; do
  [[ "$parts" == *" scans "* ]] || break
  read -r name old new <<<"$p"
  each_build scan_pair "$name-scan" "$(scan_of "$old")" "$(scan_of "$new")" "$old" "$new"
done
read -r name old new <<<"${pairs[0]}"
[[ "$parts" != *" scaling "* ]] || each_build scaling "$(hpgl_of "$old")" "$(hpgl_of "$new")"
if [[ "$parts" == *" results "* ]]; then
  [ ${#builds[@]} -ge 2 ] || { echo "PARTS=results needs two builds or more" >&2; exit 1; }
  echo "== the results of each build against the first's"
  for p in "${pairs[@]}"; do
    read -r name old new <<<"$p"
    results_pair "$name, PDF" "$old" "$new"
    results_pair "$name, glyph-outline HP-GL" "$(hpgl_of "$old")" "$(hpgl_of "$new")"
    results_pair "$name, scans" "$(scan_of "$old")" "$(scan_of "$new")"
  done
  while read -r old new; do
    if [ -z "$old" ] || [ "${old:0:1}" = "#" ]; then
      continue
    fi
    results_pair "${old##*/}" "$root/tests/data/$old" "$root/tests/data/$new"
  done <"$root/bench/whole_run/sxf_pairs.txt"
fi
# sxf_pair OLD NEW: the steps and the whole run on an SXF pair, and
# comparepdf on the pair as PDF (our converter's rendering of it, as no
# other tool here reads SXF).
sxf_pair() {
  local old="$1" new="$2" ext="${1##*.}" d="$work/sxf"
  echo "-- ${old##*/} / ${new##*/} ($(stat -c %s "$old") and $(stat -c %s "$new") bytes)"
  split_compare_join "$d" "$old" "$new"
  whole_run "$ext" "$old" "$new"
  local ours="$last" oursKb="$last_kb"
  "$bin/tolvane" --convert /p "$old" "$d/old.pdf"
  "$bin/tolvane" --convert /p "$new" "$d/new.pdf"
  measure "comparepdf --compare=a (as PDF)" comparepdf --compare=a "$d/old.pdf" "$d/new.pdf"
  echo "  ratio whole run / comparepdf: $(ratio "$ours" "$last")"
  add_summary "${old##*/}, SXF in" "$ours" "$oursKb" "$last" "$last_kb"
  rm -rf "$d"
}
if [[ "$parts" == *" sxf "* ]] && [ -f "$root/bench/whole_run/sxf_pairs.txt" ]; then
  echo "== SXF sheets"
  while read -r old new; do
    if [ -z "$old" ] || [ "${old:0:1}" = "#" ]; then
      continue
    fi
    each_build sxf_pair "$root/tests/data/$old" "$root/tests/data/$new"
  done <"$root/bench/whole_run/sxf_pairs.txt"
fi
print_summary
echo "(the circuit boards: bench/whole_run/pcb_layouts.sh)"
