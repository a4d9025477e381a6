#!/usr/bin/env bash
# Peak memory of one `mervik-cli --once` over 10, 100 and 1,000 pairs, with
# the test siblings (fake_sibling) in place of tolvane and sandrel, so that the
# numbers are mervik-cli's own. Measured with /usr/bin/time -v.
#
#   bench/automation/peak_memory.sh [BUILD_DIR] [PAIRS...]
#
# BUILD_DIR defaults to ./build; PAIRS to "10 100 1000". Prints one line per
# count: pairs, maximum resident set size in KiB, wall-clock time, exit status.
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
shift || true
counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(10 100 1000)
cli="$build/bin/mervik-cli"
fake="$build/tests/fake_sibling/fake_sibling"
for f in "$cli" "$fake" /usr/bin/time; do
  [ -x "$f" ] || { echo "missing: $f (build the tree, install the Debian package time)" >&2; exit 2; }
done

work=$(mktemp -d /tmp/mervik-peak-memory-XXXXXX)
trap 'rm -rf "$work"' EXIT

printf '%-6s %12s %10s %6s\n' pairs max_rss_kib wall_s status
for n in "${counts[@]}"; do
  home="$work/$n"
  xdg="$home/share"
  data="$xdg/Corvanta/Mervik"
  mkdir -p "$data" "$home/in1" "$home/in2" "$home/out" "$home/bin" "$home/run" \
    "$xdg/Corvanta/Tolvane" "$xdg/Corvanta/Sandrel"
  ln -s "$fake" "$home/bin/tolvane"
  ln -s "$fake" "$home/bin/sandrel"
  printf 'Tolvane\r\n' > "$xdg/Corvanta/Tolvane/Tolvane.par"
  printf '%s\r\n' "Version 11.00" hgl tif pdf emf dxf dwg igs gbr \
    "$home/bin/sandrel" "$home/bin/tolvane" "$home/out/" 2 "$home/in1/*.hgl" "$home/in2/" 0 \
    > "$data/Mervik.par"
  for ((i = 0; i < n; i++)); do
    printf 'pages=2\n' > "$home/in1/drawing $i.hgl"
    printf 'pages=2\n' > "$home/in2/drawing $i.hgl"
  done
  # Older than the settle time: the run does not wait for them.
  touch -d '1 minute ago' "$home"/in1/* "$home"/in2/*

  status=0
  HOME="$home" XDG_DATA_HOME="$xdg" XDG_RUNTIME_DIR="$home/run" \
    /usr/bin/time -v -o "$home/time.txt" "$cli" --once > /dev/null 2> "$home/err.txt" || status=$?
  rss=$(sed -n 's/^[[:space:]]*Maximum resident set size (kbytes): //p' "$home/time.txt")
  wall=$(sed -n 's/^[[:space:]]*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$home/time.txt")
  left=$(find "$home/in1" "$home/in2" -type f | wc -l)
  printf '%-6s %12s %10s %6s\n' "$n" "$rss" "$wall" "$status"
  if [ "$left" -ne 0 ]; then
    echo "  $left input files left over" >&2
  fi
done
