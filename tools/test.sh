#!/usr/bin/env bash
# Builds and runs every test: a normal build, a build with AddressSanitizer
# and UndefinedBehaviorSanitizer, and the fuzz targets of the readers (clang),
# each for FUZZ_SECONDS (30: about two minutes for the four of them).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="${JOBS:-2}"
fuzz_seconds="${FUZZ_SECONDS:-30}"

# The suite runs with a home folder of its own. Every test makes its own
# home and points HOME and XDG_DATA_HOME there; a test that writes into the
# home it was given instead (a parameter file, a data folder) fails the run,
# so the real home is never written to.
suite_home="$(mktemp -d "${TMPDIR:-/tmp}/mervik-suite-home.XXXXXX")"
trap 'rm -rf "$suite_home"' EXIT

run_tests() {  # build folder, ctest options...
  local dir="$1"; shift
  env -u XDG_DATA_HOME -u XDG_CONFIG_HOME HOME="$suite_home" \
    ctest --test-dir "$dir" --output-on-failure -j "$jobs" "$@"
  # Caches (fontconfig's) may land there; anything else is a test's leak.
  local leaked
  leaked="$(find "$suite_home" -mindepth 1 -not -path "$suite_home/.cache" \
    -not -path "$suite_home/.cache/*" -print)"
  if [ -n "$leaked" ]; then
    echo "A test wrote into the home folder of the suite instead of its own:" >&2
    echo "$leaked" >&2
    exit 1
  fi
}

# The compiler's work is kept between runs by ccache when it is installed
# (tools/setup-debian.sh installs it): paths are taken relative to the
# checkout, so another clone of the same sources finds the same entries.
# MERVIK_CCACHE=0 builds without it.
launcher=()
if [ "${MERVIK_CCACHE:-1}" != 0 ] && command -v ccache >/dev/null; then
  export CCACHE_BASEDIR="$(pwd)" CCACHE_NOHASHDIR=true
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

run_build() {  # folder, cmake options...
  local dir="$1"; shift
  cmake -S . -B "$dir" -G Ninja "${launcher[@]}" "$@"
  cmake --build "$dir" -j "$jobs"
}

# The layout first: it takes seconds, so a misplaced brace fails the run
# before the builds.
bash tools/check-format.sh

run_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo
# The normal build runs everything but the fuzz targets, the thousand-pair
# soak included.
run_tests build -LE fuzz

run_build build-asan -DCMAKE_BUILD_TYPE=Debug -DMERVIK_SANITIZE=ON -DMERVIK_BENCH=OFF
# The soak's thousands of program starts are slow under the sanitizers and
# find nothing the normal build's run and the other tests do not.
ASAN_OPTIONS=detect_leaks=1 run_tests build-asan -LE 'fuzz|soak'

if grep -q MERVIK_FUZZ_TARGETS siblings/*/CMakeLists.txt 2>/dev/null; then
  # Only the fuzz targets: the rest of the tree was tested above.
  cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
    -DCMAKE_CXX_COMPILER=clang++ -DMERVIK_FUZZ=ON -DMERVIK_BENCH=OFF \
    -DMERVIK_FUZZ_SECONDS="$fuzz_seconds" "${launcher[@]}"
  cmake --build build-fuzz -j "$jobs" --target hpgl_fuzz pdf_fuzz tiff_fuzz sxf_fuzz
  # A fuzzer uses one core for its fixed time: as many at once as there are jobs.
  ctest --test-dir build-fuzz --output-on-failure -L fuzz -j "$jobs"
fi

# The Debian package, installed and used as a user would, then removed. It
# installs into /opt and /usr: run under CI, or when asked for.
if [ "${CI:-}" = true ] || [ "${MERVIK_PACKAGE_TEST:-}" = 1 ]; then
  MERVIK_SKIP_SETUP=1 bash tools/package-test.sh
fi
