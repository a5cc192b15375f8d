#!/usr/bin/env bash
# Applies .clang-format to the project's C and C++ files.
#   tools/format.sh            formats the files changed against main (committed or not)
#   tools/format.sh --all      formats every tracked file
#   tools/format.sh --check    changes nothing; lists every tracked file that differs and fails if any does
set -euo pipefail
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || { echo "clang-format is missing (tools/deps.sh test installs it)" >&2; exit 1; }
pattern='\.(c|cc|cpp|h|hpp)$'
case "${1:-}" in
  --all) git ls-files | grep -E "$pattern" | xargs -r clang-format -i ;;
  --check)
    bad=0
    while IFS= read -r f; do
      if ! clang-format --dry-run --Werror "$f" >/dev/null 2>&1; then echo "not formatted: $f"; bad=1; fi
    done < <(git ls-files | grep -E "$pattern")
    if [ "$bad" -ne 0 ]; then echo "run tools/format.sh to format these files" >&2; fi
    exit "$bad" ;;
  "")
    base="$(git merge-base HEAD main 2>/dev/null || echo HEAD)"
    { git diff --name-only --diff-filter=ACMR "$base"; git ls-files --others --exclude-standard; } |
      sort -u | grep -E "$pattern" | while IFS= read -r f; do [ -f "$f" ] && clang-format -i "$f"; done ;;
  *) echo "usage: tools/format.sh [--all|--check]" >&2; exit 2 ;;
esac
