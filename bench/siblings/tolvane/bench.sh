#!/usr/bin/env bash
# Times tolvane against hp2xx on the same plots: HP-GL to a 300 dpi raster
# (our TIFF, colour and black-only, against hp2xx's TIFF and PNG) and to a
# vector file (our PDF against hp2xx's EPS), then splits and joins a
# generated 500-page plot, showing maximum resident memory throughout.
#
#   bench/siblings/tolvane/bench.sh [BUILD_DIR]     (default: build)
#
# RUNS (default 3) runs per small plot, RUNS_BIG (default 1) for the large
# one; the median time and the largest RSS are shown.
set -euo pipefail
root="$(cd "$(dirname "$0")/../../.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
tolvane="$build/bin/tolvane"
generate="$build/bin/hpgl_generate"
samples="${MERVIK_SAMPLES_DIR:-$root/tests/data/samples}"
runs="${RUNS:-3}"
runs_big="${RUNS_BIG:-1}"
for tool in "$tolvane" "$generate" /usr/bin/time hp2xx; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" XDG_DATA_HOME="$work/home/.local/share"
par="$XDG_DATA_HOME/Corvanta/Tolvane/Tolvane.par"
"$tolvane" --convert /h /nonexistent.hgl "$work/x.hgl" 2>/dev/null || true  # writes the defaults
set_line() { sed -i "$1s/.*/$2\r/" "$par"; }
set_line 2 300

# measure LABEL RUNS OUTPUT COMMAND...: median seconds, max RSS, output size.
measure() {
  local label="$1" n="$2" output="$3"; shift 3
  local times=() rss=0 i
  for ((i = 0; i < n; i++)); do
    rm -rf "$output"
    /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null 2>"$work/err" ||
      { echo "$label: failed: $(tail -1 "$work/err")" >&2; return 0; }
    read -r t m < "$work/time"
    times+=("$t")
    (( m > rss )) && rss=$m
  done
  local median size
  median="$(printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')"
  size="$(du -sb "$output" 2>/dev/null | cut -f1)"
  printf '%-34s %8.2f s %9d KB RSS %12s bytes\n' "$label" "$median" "$rss" "${size:-?}"
}

cp "$samples/hpgl/hpgl-rendering/test.plt" "$work/test.hgl"
cp "$samples/hpgl/hp2xx/spectrum.plt" "$work/spectrum.hgl"
cp "$samples/hpgl/hp2xx/inter.hp" "$work/inter.hgl"
"$generate" 1 6000000 a0 "$work/schematic.hgl"
"$generate" 50 10000 a3 "$work/pages50.hgl"
"$generate" 500 10000 a3 "$work/pages500.hgl"

echo "== HP-GL to a 300 dpi raster and to a vector file"
for plot in test spectrum inter schematic; do
  in="$work/$plot.hgl"
  n=$runs; [ "$plot" = schematic ] && n=$runs_big
  echo "-- $plot.hgl ($(stat -c %s "$in") bytes)"
  set_line 10 0
  measure "tolvane TIFF colour (LZW)" "$n" "$work/o.tif" "$tolvane" --convert /t "$in" "$work/o.tif"
  set_line 10 1
  measure "tolvane TIFF black only (G4)" "$n" "$work/o.tif" "$tolvane" --convert /t "$in" "$work/o.tif"
  set_line 10 0
  measure "hp2xx -m tiff -d 300" "$n" "$work/h.tif" hp2xx -q -t -d 300 -m tiff -f "$work/h.tif" "$in"
  measure "hp2xx -m png -d 300" "$n" "$work/h.png" hp2xx -q -t -d 300 -m png -f "$work/h.png" "$in"
  measure "tolvane PDF" "$n" "$work/o.pdf" "$tolvane" --convert /p "$in" "$work/o.pdf"
  measure "hp2xx -m eps" "$n" "$work/h.eps" hp2xx -q -t -m eps -f "$work/h.eps" "$in"
  rm -f "$work"/o.* "$work"/h.*
done

echo "== Split and join ($(stat -c %s "$work/pages500.hgl") bytes, 500 A3 pages)"
set_line 9 1
for pages in 50 500; do
  measure "split $pages pages" "$runs" "$work/split$pages" \
    bash -c 'mkdir -p "$1" && exec "$2" /h "$3" "$1/plan.hgl"' _ "$work/split$pages" "$tolvane" \
    "$work/pages$pages.hgl"
  mkdir -p "$work/split$pages" && "$tolvane" /h "$work/pages$pages.hgl" "$work/split$pages/plan.hgl"
done
echo "pages written: $(ls "$work/split500" | wc -l)"
set_line 9 0
measure "join 500 pages to HP-GL" "$runs" "$work/j.hgl" "$tolvane" /h "$work/split500/plan*.hgl" "$work/j.hgl"
measure "join 500 pages to PDF" "$runs_big" "$work/j.pdf" "$tolvane" /p "$work/split500/plan*.hgl" "$work/j.pdf"
measure "join 50 pages to TIFF (300 dpi)" "$runs_big" "$work/j.tif" "$tolvane" /t "$work/split50/plan*.hgl" "$work/j.tif"
