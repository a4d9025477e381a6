#!/usr/bin/env bash
# Fails, naming the files, when a C or C++ file of the tree is not laid out
# as .clang-format says. `tools/check-format.sh --fix` lays them out.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -d '' files < <(git ls-files -z --cached --others --exclude-standard \
    '*.cpp' '*.h' '*.c' '*.hpp' | grep -zv '^build')
if [ "${1:-}" = --fix ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
# One clang-format for all files; each misplaced line is a warning naming its file.
mapfile -t bad < <(clang-format --dry-run "${files[@]}" 2>&1 |
  sed -n 's/^\(.*\):[0-9]*:[0-9]*: warning: code should be clang-formatted.*/\1/p' | sort -u)
if [ "${#bad[@]}" -gt 0 ]; then
  echo "Not laid out as .clang-format says (tools/check-format.sh --fix mends them):" >&2
  printf '  %s\n' "${bad[@]}" >&2
  exit 1
fi
echo "Layout: ${#files[@]} files as .clang-format says"
