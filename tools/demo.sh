#!/usr/bin/env bash
# The main job on a fresh Debian 12 machine: install, build, make a demo pair
# of multi-page drawings and let mervik-cli compare them once.
#   tools/demo.sh [pdf|tiff|hpgl]
set -euo pipefail
cd "$(dirname "$0")/.."
kind="${1:-pdf}"
case "$kind" in
    pdf) switch=/op ext=pdf ;;
    tiff) switch=/ot ext=tif ;;
    hpgl) switch=/oh ext=hgl ;;
    *) echo "usage: tools/demo.sh [pdf|tiff|hpgl]" >&2; exit 2 ;;
esac

if [ "${MERVIK_SKIP_SETUP:-}" != 1 ]; then
    bash tools/setup-debian.sh
fi
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
# Only the programs the demo runs; tools/test.sh builds the rest.
cmake --build build -j "${JOBS:-2}" --target mervik-cli tolvane sandrel

demo="$(pwd)/demo-run"
rm -rf "$demo"
mkdir -p "$demo/home" "$demo/in1" "$demo/in2" "$demo/out"
bash tools/make-demo-pair.sh "$demo/in1/plant.hgl" "$demo/in2/plant.hgl" 3

# A home of its own, so the demo neither reads nor changes the user's settings.
export HOME="$demo/home"
export XDG_DATA_HOME="$demo/home/.local/share"
export XDG_RUNTIME_DIR="$demo/home"
# As an installer would: the siblings leave their parameter files, which
# Mervik switches between splitting and joining and restores at the end.
build/bin/tolvane --init >/dev/null
build/bin/sandrel --init >/dev/null
build/bin/mervik-cli --once /a "$switch" "$demo/in1/*.hgl" "$demo/in2" "$demo/out"

result="$demo/out/plant.$ext"
if [ ! -f "$result" ]; then
    echo "No result was written; see the run log above and $XDG_DATA_HOME/Corvanta/Mervik/Error.txt" >&2
    exit 1
fi
echo
echo "Result: $result"
case "$ext" in
    pdf) pdfinfo "$result" | grep -E '^(Pages|Page size)' ;;
    tif) tiffinfo "$result" 2>/dev/null | grep -c 'TIFF Directory' | sed 's/^/Pages: /' ;;
esac
