#!/usr/bin/env bash
# Screenshots of the window program, taken under Xvfb with a demo run:
#   tools/screenshots.sh [BUILD_DIR]
# Writes docs/window-standby.png, docs/window-about.png, docs/window-help.png
# and the main window's picture of the help file,
# resources/help/images/main-window.png. Needs xvfb, xdotool and imagemagick.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
cmake --build "$build" -j "${JOBS:-2}" --target mervik tolvane sandrel mervik_help mervik_init
bin="$(cd "$build/bin" && pwd)"

work="$(mktemp -d)"
xvfb_pid=""
mervik_pid=""
cleanup() {
    [ -n "$mervik_pid" ] && kill "$mervik_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# A home of its own: the user's settings are neither read nor changed.
export HOME="$work/home"
export XDG_DATA_HOME="$work/home/.local/share"
export XDG_RUNTIME_DIR="$work/run"
data="$XDG_DATA_HOME/Corvanta/Mervik"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$data" "$work/in1" "$work/in2" "$work/out"
chmod 700 "$XDG_RUNTIME_DIR"
bash tools/make-demo-pair.sh "$work/in1/plant.hgl" "$work/in2/plant.hgl" 3
"$bin/tolvane" --init >/dev/null
"$bin/sandrel" --init >/dev/null
# Waiting time 10 s: the pair is run after the first countdown.
printf '%s\r\n' "Version 11.00" hgl tif pdf emf dxf dwg igs gbr \
    "$bin/sandrel" "$bin/tolvane" "$work/out/" 10 "$work/in1/*.hgl" "$work/in2/" 0 \
    >"$data/Mervik.par"

exec 3<> >(:)
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
read -r -t 10 display <&3
export DISPLAY=":$display"

"$bin/mervik" /a /op "$work/in1/*.hgl" "$work/in2" "$work/out" &
mervik_pid=$!
main=$(timeout 20 xdotool search --sync --onlyvisible --name '<< Mervik >>' | head -1)
for _ in $(seq 1 120); do
    [ -f "$work/out/plant.pdf" ] && break
    sleep 0.5
done
[ -f "$work/out/plant.pdf" ] || { echo "the demo run did not complete" >&2; exit 1; }
sleep 3  # the log's last line and a new countdown

shot() {  # window file
    import -window "$1" "$2"
    mogrify -strip "$2"
    echo "$2"
}
click() {  # window x y (inside the window)
    xdotool mousemove --window "$1" "$2" "$3" click 1
}

shot "$main" docs/window-standby.png
cp docs/window-standby.png resources/help/images/main-window.png

click "$main" 772 382  # Version info
about=$(timeout 10 xdotool search --sync --onlyvisible --name 'バージョン情報' | head -1)
sleep 0.5
shot "$about" docs/window-about.png
click "$about" 169 212  # 了解

click "$main" 772 340  # Help
viewer=$(timeout 10 xdotool search --sync --onlyvisible --name 'Mervik Help' | head -1)
sleep 0.5
shot "$viewer" docs/window-help.png

# The viewer stands over "End"; moved aside, it lets the click through.
xdotool windowmove "$viewer" 0 0
click "$main" 772 455  # End
for _ in $(seq 1 40); do
    kill -0 "$mervik_pid" 2>/dev/null || break
    sleep 0.25
done
if kill -0 "$mervik_pid" 2>/dev/null; then
    echo "mervik did not end on End" >&2
    exit 1
fi
wait "$mervik_pid" || { echo "mervik ended with status $?" >&2; exit 1; }
mervik_pid=""
