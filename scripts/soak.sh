#!/usr/bin/env bash
# Soak run: random board operations on all 38 slots for SOAK_SECONDS (default 600) against
# the real media service on the null output. Prints the figures; fails on memory growth of 5%
# or more after the first minute, an audio block that ran dry, or a failed check.
#   SOAK_SECONDS=120 SOAK_SEED=3 scripts/soak.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${1:-build}"
cmake --build "$BUILD_DIR" --target sorvane_soak -j "${JOBS:-2}"
export QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
SOAK_SECONDS="${SOAK_SECONDS:-600}" exec "$BUILD_DIR/tests/soak/sorvane_soak"
