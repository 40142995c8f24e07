#!/usr/bin/env bash
# Every C and C++ file the repository tracks is laid out as .clang-format
# says; names each file that is not, and fails. `--fix` rewrites them.
#   scripts/check-format.sh          check
#   scripts/check-format.sh --fix    format in place
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.c' '*.cpp' '*.h')
if [ "${1:-}" = --fix ]; then
    clang-format -i "${files[@]}"
    exit 0
fi
# One line per file that differs, not clang-format's every replacement.
mapfile -t unformatted < <(clang-format --dry-run "${files[@]}" 2>&1 | sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: warning:.*/\1/p' | sort -u)
if [ ${#unformatted[@]} -gt 0 ]; then
    printf 'not formatted as .clang-format says (scripts/check-format.sh --fix):\n' >&2
    printf '  %s\n' "${unformatted[@]}" >&2
    exit 1
fi
echo "format: ${#files[@]} files as .clang-format says"
