#!/usr/bin/env bash
# Writes a pair of multi-page drawings that differ in known places:
#   make-demo-pair.sh OLD NEW [PAGES]
# Each page is a sheet with a frame, a title block and a grid of parts. The
# new drawing moves one part, removes one, adds one, and renames the sheet.
# The drawings are HPGL; when OLD ends in .pdf, .tif, .p21 or .sfc they are
# converted to that kind with our converter ($TOLVANE, else build/bin/tolvane).
set -euo pipefail
old="$1" new="$2" pages="${3:-2}"
tolvane="${TOLVANE:-$(cd "$(dirname "$0")/.." && pwd)/build/bin/tolvane}"

page() {  # variant page-number
    local variant="$1" n="$2"
    printf 'IN;SP1;PW0.35;\n'
    # Frame and title block (A3 landscape in plotter units, 1/40 mm).
    printf 'PU400,400;PD16400,400,16400,11500,400,11500,400,400;\n'
    printf 'PU11400,400;PD11400,2000,16400,2000;PU11400,1200;PD16400,1200;\n'
    printf 'PU11600,1500;SI0.3,0.45;LBSheet %d of %d\003;\n' "$n" "$pages"
    if [ "$variant" = new ]; then
        printf 'PU11600,700;LBPlant layout rev B\003;\n'
    else
        printf 'PU11600,700;LBPlant layout rev A\003;\n'
    fi
    # A grid of parts: boxes with a circle inside.
    local r c x y
    for r in 0 1 2; do
        for c in 0 1 2 3; do
            x=$((1200 + c * 2400)); y=$((3000 + r * 2600))
            [ "$variant" = new ] && [ "$r$c" = "12" ] && continue      # removed part
            [ "$variant" = new ] && [ "$r$c" = "03" ] && x=$((x + 400)) # moved part
            printf 'SP%d;PU%d,%d;PD%d,%d,%d,%d,%d,%d,%d,%d;\n' $((1 + (r + c) % 3)) \
                $x $y $((x + 1800)) $y $((x + 1800)) $((y + 1800)) $x $((y + 1800)) $x $y
            printf 'PU%d,%d;CI500;\n' $((x + 900)) $((y + 900))
        done
    done
    if [ "$variant" = new ]; then  # added part: a pipe run across the sheet
        printf 'SP2;PU1200,10800;PD5000,10800,5000,9900,9800,9900;\n'
    fi
    # A long line, drawn in one stroke in the old drawing and in three
    # collinear pieces in the new one: the comparison sees no change.
    if [ "$variant" = new ]; then
        printf 'SP1;PU1200,2600;PD4000,2600;PU4000,2600;PD7000,2600;PU7000,2600;PD10200,2600;\n'
    else
        printf 'SP1;PU1200,2600;PD10200,2600;\n'
    fi
    printf 'PU;SP0;\n'
}

write() {  # variant file
    local variant="$1" file="$2" n
    : >"$file"
    for n in $(seq 1 "$pages"); do
        page "$variant" "$n" >>"$file"
        [ "$n" -lt "$pages" ] && printf 'PG;\n' >>"$file"
    done
    return 0
}

case "${old##*.}" in
    pdf | PDF) switch=/p ;;
    tif | TIF | tiff) switch=/t ;;
    p21 | P21 | sfc | SFC) switch=/y ;;
    *) switch= ;;
esac
if [ -z "$switch" ]; then
    write old "$old"
    write new "$new"
    exit 0
fi
# Converted under a home of its own, so that the converter's parameter file
# of whoever runs this stays untouched.
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
write old "$scratch/old.hgl"
write new "$scratch/new.hgl"
HOME="$scratch" XDG_DATA_HOME="$scratch" "$tolvane" --convert "$switch" "$scratch/old.hgl" "$old"
HOME="$scratch" XDG_DATA_HOME="$scratch" "$tolvane" --convert "$switch" "$scratch/new.hgl" "$new"
