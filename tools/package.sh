#!/usr/bin/env bash
# Builds the Debian package from this tree and, with --install, installs it.
#   tools/package.sh [--install]
# The package lands in build-deb/ (mervik_<version>_<arch>.deb), built from a
# copy of the tree so that nothing is written beside the checkout.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"
install=0
[ "${1:-}" = --install ] && install=1

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
if [ "${MERVIK_SKIP_SETUP:-}" != 1 ]; then
    bash tools/setup-debian.sh
fi

out="$root/build-deb"
rm -rf "$out"
mkdir -p "$out"
# The package is built in a folder of the same name whichever clone it comes
# from, so that ccache (when installed) finds the compiler's work of the last
# package build of the same sources; a lock keeps two builds out of it.
place="${TMPDIR:-/tmp}/mervik-package-$(id -u)"
mkdir -p "$place"
exec 9>"$place/lock"
flock 9
rm -rf "$place/src" "$place"/mervik_* "$place"/mervik-dbgsym_*
mkdir -p "$place/src"
# The tracked files and the untracked ones git does not ignore, as they are now.
git ls-files -z --cached --others --exclude-standard |
    grep -zv '^build-deb/' | tar --null -T - -cf - | tar -xf - -C "$place/src"
if [ "${MERVIK_CCACHE:-1}" != 0 ] && command -v ccache >/dev/null; then
    export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
    # debhelper runs the build with a home folder of its own, where ccache
    # would find neither its cache nor its settings: every package build
    # compiled the whole tree again. The cache is named here, and paths are
    # taken relative to the copy of the tree.
    CCACHE_DIR="${CCACHE_DIR:-$(ccache -k cache_dir)}"
    export CCACHE_DIR CCACHE_BASEDIR="$place/src" CCACHE_NOHASHDIR=true
fi
(cd "$place/src" && dpkg-buildpackage -b -us -uc -j"${JOBS:-2}" >"$out/build.log" 2>&1) || {
    tail -40 "$out/build.log" >&2
    echo "The package build failed; the whole log is $out/build.log" >&2
    exit 1
}
rm -rf "$place/src"
mv "$place"/mervik_* "$place"/mervik-dbgsym_* "$out"/ 2>/dev/null || true
exec 9>&-
deb="$(ls "$out"/mervik_*.deb)"
echo "Package: $deb"

if command -v lintian >/dev/null; then
    # Errors fail the build; warnings are shown.
    lintian --fail-on error --info "$deb" || { echo "lintian found errors" >&2; exit 1; }
fi

if [ "$install" = 1 ]; then
    $sudo apt-get install -y "$deb"
fi
