#!/usr/bin/env bash
# Installs from Debian's packages everything the build, the tests, the demo
# and the benchmarks need. Safe to run again.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config git python3
  # Keeps the compiler's work between runs of tools/test.sh.
  ccache
  qt6-base-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev clang-format clang-tidy
  libcairo2-dev libtiff-dev libpng-dev zlib1g-dev libdeflate-dev
  libmupdf-dev libopenjp2-7-dev libjbig2dec0-dev libgumbo-dev libmujs-dev libharfbuzz-dev
  libjpeg62-turbo-dev libfreetype-dev libbrotli-dev
  liblnk-dev libbfio-dev libchm-dev fp-utils
  poppler-utils libtiff-tools hp2xx time fonts-dejavu-core
  # Labels in Japanese: the font result pages draw them with.
  fonts-ipaexfont-gothic
  debhelper dpkg-dev fakeroot lintian desktop-file-utils
  comparepdf
  # The benchmarks' real corpus: schematics as HP-GL with text as glyph
  # outlines, and profiles.
  pstoedit linux-perf
  # The window program's fonts: metric-compatible stand-ins for the fonts its
  # forms name (Calibri, Cambria, Arial, Courier New, Century, MS PGothic).
  fonts-crosextra-carlito fonts-crosextra-caladea fonts-liberation2
  fonts-urw-base35 fonts-ipafont-gothic
  # Its end-to-end test and screenshots: a virtual X server, clicks, captures.
  xvfb xauth xdotool imagemagick
)
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${packages[@]}"
