#!/usr/bin/env bash
# Builds and runs every test: a normal build, a build with AddressSanitizer
# and UndefinedBehaviorSanitizer, and the fuzz targets of the readers (clang),
# each for FUZZ_SECONDS (30: about two minutes for the four of them).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="${JOBS:-2}"
fuzz_seconds="${FUZZ_SECONDS:-30}"

run_build() {  # folder, cmake options...
  local dir="$1"; shift
  cmake -S . -B "$dir" -G Ninja "$@"
  cmake --build "$dir" -j "$jobs"
}

run_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo
ctest --test-dir build --output-on-failure -j "$jobs" -LE fuzz

run_build build-asan -DCMAKE_BUILD_TYPE=Debug -DMERVIK_SANITIZE=ON -DMERVIK_BENCH=OFF
ASAN_OPTIONS=detect_leaks=1 ctest --test-dir build-asan --output-on-failure -j "$jobs" -LE fuzz

if grep -q MERVIK_FUZZ_TARGETS siblings/*/CMakeLists.txt 2>/dev/null; then
  # Only the fuzz targets: the rest of the tree was tested above.
  cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
    -DCMAKE_CXX_COMPILER=clang++ -DMERVIK_FUZZ=ON -DMERVIK_BENCH=OFF \
    -DMERVIK_FUZZ_SECONDS="$fuzz_seconds"
  cmake --build build-fuzz -j "$jobs" --target hpgl_fuzz pdf_fuzz tiff_fuzz sxf_fuzz
  # One after the other: each has the machine for its fixed time.
  ctest --test-dir build-fuzz --output-on-failure -L fuzz -j 1
fi

# The Debian package, installed and used as a user would, then removed. It
# installs into /opt and /usr: run under CI, or when asked for.
if [ "${CI:-}" = true ] || [ "${MERVIK_PACKAGE_TEST:-}" = 1 ]; then
  MERVIK_SKIP_SETUP=1 bash tools/package-test.sh
fi
