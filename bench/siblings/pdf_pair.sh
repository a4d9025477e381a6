#!/usr/bin/env bash
# One multi-page vector PDF pair, three ways of comparing it, side by side:
#   1. a whole Mervik run (mervik-cli with our tolvane and sandrel, PDF out);
#   2. comparepdf --compare=a (Debian's comparepdf: text and appearance);
#   3. pdftoppm at 150 dpi, then ImageMagick's compare on each page pair.
# Shows wall time and peak resident memory of each.
#
#   bench/siblings/pdf_pair.sh [BUILD_DIR] [PAGES]   (defaults: build, 20)
#
# The pair is the demo pair (tools/make-demo-pair.sh) written as PDF by our
# converter: A3 sheets with frames, title blocks, parts and labels, differing
# in a moved, a removed and an added part and the revision letter.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
pages="${2:-20}"
for tool in "$build/bin/mervik-cli" "$build/bin/tolvane" "$build/bin/sandrel" /usr/bin/time \
  comparepdf pdftoppm compare; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
done
[ -f "$build/bin/Init/Mervik.par" ] || { echo "missing: $build/bin/Init (build mervik_init)" >&2; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home" "$work/pair" "$work/in1" "$work/in2" "$work/out" "$work/png"
TOLVANE="$build/bin/tolvane" bash "$root/tools/make-demo-pair.sh" \
  "$work/pair/plant.pdf" "$work/pair/plant2.pdf" "$pages"
old="$work/pair/plant.pdf" new="$work/pair/plant2.pdf"
echo "pair: $pages pages, $(stat -c %s "$old") and $(stat -c %s "$new") bytes"

export HOME="$work/home" XDG_DATA_HOME="$work/home/.local/share" XDG_RUNTIME_DIR="$work/home"
"$build/bin/tolvane" --init >/dev/null
"$build/bin/sandrel" --init >/dev/null

# row LABEL COMMAND...: seconds and peak RSS (the largest of the process and
# the children it waited for).
row() {
  local label="$1"; shift
  local status=0
  /usr/bin/time -f "%e %M" -o "$work/time" "$@" >"$work/out.log" 2>&1 || status=$?
  read -r t m < <(tail -1 "$work/time")
  # comparepdf answers "different" with status 10: an answer, not a failure.
  printf '%-34s %8.2f s %8d MiB   (status %d: %s)\n' "$label" "$t" $(((m + 1023) / 1024)) \
    "$status" "$(tail -1 "$work/out.log")"
}

mervik_run() {
  cp "$old" "$work/in1/plant.pdf"
  cp "$new" "$work/in2/plant.pdf"
  # Finished drawings: the run need not wait out the settle time of new files.
  touch -d '1 minute ago' "$work/in1/plant.pdf" "$work/in2/plant.pdf"
  "$build/bin/mervik-cli" --once /a /op "$work/in1/*.pdf" "$work/in2" "$work/out" >/dev/null
  [ -f "$work/out/plant.pdf" ] && echo "result: $(pdfinfo "$work/out/plant.pdf" | grep Pages)"
}

raster_compare() {
  pdftoppm -r 150 -png "$old" "$work/png/a"
  pdftoppm -r 150 -png "$new" "$work/png/b"
  local a differing=0
  for a in "$work/png"/a-*.png; do
    # compare exits 1 when the pages differ; that is its answer, not a failure.
    compare -metric AE "$a" "${a/\/a-//b-}" "$work/png/diff.png" 2>/dev/null || differing=$((differing + 1))
  done
  echo "pages differing: $differing"
}

# Timed as child processes, so the functions and what they use are exported.
export -f mervik_run raster_compare
export work build old new
printf '%-34s %10s %12s\n' "" "time" "peak memory"
row "Mervik run (tolvane + sandrel)" bash -c mervik_run
row "comparepdf --compare=a" comparepdf --compare=a "$old" "$new"
row "pdftoppm 150 dpi + compare" bash -c raster_compare
