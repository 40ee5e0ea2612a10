#!/usr/bin/env bash
# How big the tests are against the code they test: non-blank lines of C++, Python and shell
# under tests/ and fuzz/ against src/, counted over the files git tracks (sound and list data
# for the fuzzers are inputs, not code). The target is at most a third.
# Usage: scripts/test-size.sh   (exits 1 above a third)
set -euo pipefail
cd "$(dirname "$0")/.."
count() {
  git ls-files -- "$@" | grep -E '\.(cpp|h|py|sh)$' | tr '\n' '\0' | xargs -0 -r cat | grep -cv '^[[:space:]]*$' || true
}
code=$(count src)
tests=$(count tests fuzz)
awk -v t="$tests" -v c="$code" 'BEGIN {
  printf "tests/ + fuzz/: %d non-blank lines; src/: %d; ratio %.3f (target at most 0.333)\n", t, c, t / c
  exit (3 * t > c)
}'
