#!/usr/bin/env bash
# The main job on a fresh Debian 12 machine: install, build, make a demo pair
# of multi-page drawings and let mervik-cli compare them once.
#   tools/demo.sh [OUTPUT [INPUT]]
#   tools/demo.sh ja
# OUTPUT and INPUT: pdf (the default for both), tiff, sxf (.p21), sfc, hpgl.
# ja: a Japanese public-works sheet (.sfc) and its edited copy (a label
# changed, a part moved), compared to a PDF result.
set -euo pipefail
cd "$(dirname "$0")/.."
usage="usage: tools/demo.sh [pdf|tiff|sxf|sfc|hpgl [pdf|tiff|sxf|sfc|hpgl]] | tools/demo.sh ja"
kind="${1:-pdf}"
japanese=0
if [ "$kind" = ja ]; then
    [ $# -le 1 ] || { echo "$usage" >&2; exit 2; }
    japanese=1
    set -- pdf sfc
    kind=pdf
fi
case "$kind" in
    pdf) switch=/op ext=pdf ;;
    tiff) switch=/ot ext=tif ;;
    sxf) switch=/os ext=p21 ;;
    sfc) switch=/ov ext=sfc ;;
    hpgl) switch=/oh ext=hgl ;;
    *) echo "$usage" >&2; exit 2 ;;
esac
case "${2:-pdf}" in
    pdf) in_ext=pdf ;;
    tiff) in_ext=tif ;;
    sxf) in_ext=p21 ;;
    sfc) in_ext=sfc ;;
    hpgl) in_ext=hgl ;;
    *) echo "$usage" >&2; exit 2 ;;
esac

if [ "${MERVIK_SKIP_SETUP:-}" != 1 ]; then
    bash tools/setup-debian.sh
fi
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
# Only the programs the demo runs and the Init folder mervik-cli starts
# from; tools/test.sh builds the rest.
cmake --build build -j "${JOBS:-2}" --target mervik-cli mervik_init tolvane sandrel

demo="$(pwd)/demo-run"
rm -rf "$demo"
mkdir -p "$demo/home" "$demo/in1" "$demo/in2" "$demo/out"
name=plant
if [ "$japanese" = 1 ]; then
    # Our own test sheet and its edited copy (tests/data/sxf/README.md).
    name=road
    cp tests/data/sxf/road.sfc "$demo/in1/road.sfc"
    cp tests/data/sxf/road-changed.sfc "$demo/in2/road.sfc"
else
    TOLVANE="$(pwd)/build/bin/tolvane" \
        bash tools/make-demo-pair.sh "$demo/in1/plant.$in_ext" "$demo/in2/plant.$in_ext" 3
fi

# A home of its own, so the demo neither reads nor changes the user's settings.
export HOME="$demo/home"
export XDG_DATA_HOME="$demo/home/.local/share"
export XDG_RUNTIME_DIR="$demo/home"
# As an installer would: the siblings leave their parameter files, which
# Mervik switches between splitting and joining and restores at the end.
build/bin/tolvane --init >/dev/null
build/bin/sandrel --init >/dev/null
# 0: the drawings are the same, 10: they differ (the demo pair does).
status=0
build/bin/mervik-cli --once /a "$switch" "$demo/in1/*.$in_ext" "$demo/in2" "$demo/out" || status=$?
if [ "$status" -ne 0 ] && [ "$status" -ne 10 ]; then
    echo "mervik-cli ended with status $status" >&2
fi

result="$demo/out/$name.$ext"
if [ ! -f "$result" ]; then
    echo "No result was written; see the run log above and $XDG_DATA_HOME/Corvanta/Mervik/Error.txt" >&2
    exit 1
fi
echo
echo "Result: $result"
case "$ext" in
    pdf) pdfinfo "$result" | grep -E '^(Pages|Page size)' ;;
    tif) tiffinfo "$result" 2>/dev/null | grep -c 'TIFF Directory' | sed 's/^/Pages: /' ;;
    p21 | sfc) head -c 14 "$result"; echo ;;
esac
