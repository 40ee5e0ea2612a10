#!/usr/bin/env bash
# The repository's one style (.clang-format, clang-format 14) over our C++ in src, tests, bench
# and fuzz, as git tracks it. Names each line that differs and exits non-zero; `clang-format -i`
# on the file puts it right.
# Usage: scripts/check-format.sh
set -euo pipefail
cd "$(dirname "$0")/.."
format=$(command -v clang-format-14 || command -v clang-format)
git ls-files -z -- src tests bench fuzz | grep -zE '\.(cpp|h)$' | xargs -0 -r "$format" --dry-run -Werror
