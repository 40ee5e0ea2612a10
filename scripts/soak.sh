#!/usr/bin/env bash
# Soak run: random board operations on all 38 slots for SOAK_SECONDS (default 600) against
# the real media service on the null output. Prints the figures; fails on memory growth of 5%
# or more after the first minute, an audio block that ran dry, or a failed check.
# SOAK_OUTPUT=device plays to a private sound server of each installed kind instead and
# listens at its sink for dropouts (scripts/soak_at_sink.py).
#   SOAK_SECONDS=120 SOAK_SEED=3 [SOAK_OUTPUT=device] scripts/soak.sh [build-dir]
# The build folder is one configured with -DSORVANE_BUILD_BENCH=ON (make soak makes build-bench).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${1:-build-bench}"
cmake --build "$BUILD_DIR" --target sorvane_soak -j "${JOBS:-2}"
export QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
export SOAK_SECONDS="${SOAK_SECONDS:-600}"
if [ "${SOAK_OUTPUT:-null}" = device ]; then
  exec python3 scripts/soak_at_sink.py "$BUILD_DIR/bench/soak/sorvane_soak"
fi
exec "$BUILD_DIR/bench/soak/sorvane_soak"
