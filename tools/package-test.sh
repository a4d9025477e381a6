#!/usr/bin/env bash
# The package as a user gets it: builds it, installs it with apt-get, runs the
# installed mervik-cli once on a sample pair in a fresh home folder (nothing
# prepared, no --init), checks the result, and removes the package again,
# leaving nothing behind in /opt. Needs root or sudo; tools/test.sh runs it
# under CI (or with MERVIK_PACKAGE_TEST=1).
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi

if dpkg-query -W -f='${Status}' mervik 2>/dev/null | grep -q 'install ok installed'; then
    echo "package test: mervik is installed on this machine already; remove it first" >&2
    exit 1
fi

# The test installs the program's package only: its debug symbols package,
# whose compressing takes a minute or two, is not made here.
MERVIK_SKIP_SETUP="${MERVIK_SKIP_SETUP:-1}" DEB_BUILD_OPTIONS="noddebs ${DEB_BUILD_OPTIONS:-}" \
    bash tools/package.sh
deb="$(ls "$root"/build-deb/mervik_*_*.deb | grep -v dbgsym)"

work="$(mktemp -d)"
cleanup() {
    $sudo apt-get purge -y -qq mervik >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

$sudo apt-get install -y -qq "$deb" >/dev/null
for program in mervik-cli tolvane sandrel; do
    [ -x "$(command -v "$program")" ] || { echo "package test: $program is not on the PATH" >&2; exit 1; }
done

# A user's first start: an empty home, no parameter files of any program.
mkdir -p "$work/home" "$work/in1" "$work/in2" "$work/out"
# The pair is PDF, made with the installed converter in a home of its own so
# that the user's home stays untouched.
HOME="$work/maker" XDG_DATA_HOME="$work/maker/share" TOLVANE=/usr/bin/tolvane \
    bash tools/make-demo-pair.sh "$work/in1/plan.pdf" "$work/in2/plan.pdf" 3
status=0
env -i PATH=/usr/bin:/bin HOME="$work/home" LANG=C.UTF-8 \
    mervik-cli --once /a /op "$work/in1/*.pdf" "$work/in2" "$work/out" >"$work/run.log" 2>&1 || status=$?
cat "$work/run.log"
result="$work/out/plan.pdf"
# 10: the run was complete and the drawings differ, as the sample pair does.
if { [ "$status" -ne 0 ] && [ "$status" -ne 10 ]; } || [ ! -s "$result" ]; then
    echo "package test: the installed mervik-cli wrote no result (status $status)" >&2
    cat "$work/home/.local/share/Corvanta/Mervik/Error.txt" 2>/dev/null >&2 || true
    exit 1
fi
# Each drawing must have been split into its three pages (a converter that
# joined instead would still give a three-page result).
grep -q '^  Number of files in Temp1=3$' "$work/run.log" || {
    echo "package test: the first drawing was not split into three pages" >&2; exit 1; }
pages="$(pdfinfo "$result" | awk '/^Pages:/ {print $2}')"
if [ "$pages" != 3 ]; then
    echo "package test: the result has $pages pages instead of 3" >&2
    exit 1
fi
[ ! -e "$work/in1/plan.pdf" ] && [ ! -e "$work/in2/plan.pdf" ] || {
    echo "package test: the pair was not consumed" >&2; exit 1; }

$sudo apt-get purge -y -qq mervik >/dev/null
for left in /opt/Corvanta/Mervik /opt/Corvanta/Tolvane /opt/Corvanta/Sandrel /usr/bin/mervik-cli; do
    if [ -e "$left" ] || [ -L "$left" ]; then
        echo "package test: $left is left after the package was removed" >&2
        exit 1
    fi
done
if [ -d /opt/Corvanta ] && [ -z "$(ls -A /opt/Corvanta)" ]; then
    echo "package test: the empty /opt/Corvanta is left after the package was removed" >&2
    exit 1
fi
echo "package test: installed, compared a three-page PDF pair to a three-page PDF, removed cleanly"
