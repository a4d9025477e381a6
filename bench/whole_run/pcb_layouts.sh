#!/usr/bin/env bash
# Real drawings: circuit boards from Debian's kicad-demos, plotted by the
# board program's own plotter (four layers, one page each) to HP-GL and to
# PDF, against a revision with one footprint moved 3 mm. Times every step
# and the whole mervik-cli --once run (HP-GL in and PDF in) beside
# comparepdf (appearance mode) and pdftoppm at 150 dpi + ImageMagick
# compare on the board program's PDFs, in one run: the four layers as one
# file each side, and the front copper layer's own files alone.
#
#   bench/whole_run/pcb_layouts.sh [BUILD_DIR] [BOARD...]
#
# BOARD names a demo folder (default: video kit-dev-coldfire-xilinx_5213
# pic_programmer). RESULTS_AGAINST=OTHER_BUILD times nothing: each layer's
# pair, as HP-GL and as PDF, is split and compared by OTHER_BUILD and by
# BUILD_DIR, and their reports and result pages are set side by side
# (results_pair in lib.sh). Needs the packages kicad, kicad-demos and poppler-utils
# (apt-get install --no-install-recommends kicad kicad-demos); without
# them the script says so and stops.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
shift || true
boards=("$@")
[ ${#boards[@]} -gt 0 ] || boards=(video kit-dev-coldfire-xilinx_5213 pic_programmer)
demos=/usr/share/kicad/demos
if ! /usr/bin/python3 -c 'import pcbnew' 2>/dev/null || [ ! -d "$demos" ] ||
    ! command -v pdfunite >/dev/null; then
  echo "needs kicad, kicad-demos and poppler-utils:" \
    "apt-get install --no-install-recommends kicad kicad-demos poppler-utils" >&2
  exit 1
fi
source "$root/bench/whole_run/lib.sh"
if [ -n "${RESULTS_AGAINST:-}" ]; then
  builds=("$(cd "$RESULTS_AGAINST" && pwd)" "$build")
fi

echo "== circuit boards of kicad-demos, four layers a file, one footprint moved"
for board in "${boards[@]}"; do
  pcb="$(find "$demos/$board" -maxdepth 1 -name '*.kicad_pcb' | head -1)"
  [ -n "$pcb" ] || { echo "no board in $demos/$board" >&2; continue; }
  p="$work/plots-$board"
  mkdir -p "$p/old" "$p/new" "$p/pages"
  /usr/bin/python3 "$root/bench/whole_run/plot_board.py" "$pcb" "$p/old" old >/dev/null
  /usr/bin/python3 "$root/bench/whole_run/plot_board.py" "$pcb" "$p/new" new moved >/dev/null
  if [ -n "${RESULTS_AGAINST:-}" ]; then
    for f in "$p/old"/*; do
      name="${f##*/}"
      results_pair "$board ${name#*-old_}" "$f" "$p/new/${name/-old_/-new_}"
    done
    rm -rf "$p"
    continue
  fi
  # One multi-page file a revision: the layers' HP-GL joined by our
  # converter, their PDFs by pdfunite.
  join_mode
  for side in old new; do
    for f in "$p/$side"/*.plt; do
      name="${f##*/}"
      cp "$f" "$p/pages/${name%.plt}.hgl"
    done
    "$bin/tolvane" /h "$p/pages/*-${side}_*.hgl" "$p/$side.hgl"
    pdfunite "$p/$side"/*.pdf "$p/$side.pdf"
  done
  run_pair "$board" "$p/old.hgl" "$p/new.hgl" "$p/old.pdf" "$p/new.pdf"
  # The front copper layer as the board program plotted it, one page a
  # file: its own HP-GL, circles and all, not our converter's rewriting.
  run_pair "$board-front-copper" "$(echo "$p"/old/*_000001.plt)" \
    "$(echo "$p"/new/*_000001.plt)" "$(echo "$p"/old/*_000001.pdf)" "$(echo "$p"/new/*_000001.pdf)"
  rm -rf "$p"
done
print_summary
