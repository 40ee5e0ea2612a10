#!/usr/bin/env bash
# Runs the engine benchmarks from a build directory made with -DSORVANE_BUILD_BENCH=ON.
# Each benchmark runs in its own process, so the memory figure is not skewed by the others.
# Usage: scripts/bench.sh BUILD_DIR
set -euo pipefail
build="${1:-build-bench}"
bench="$build/bench/sorvane_bench"
[ -x "$bench" ] || { echo "no $bench: configure with -DSORVANE_BUILD_BENCH=ON and build first" >&2; exit 1; }
export SDL_AUDIODRIVER="${SDL_AUDIODRIVER:-dummy}"
for name in BM_PlayToSoundWav BM_PlayToSoundMp3 BM_Mix39Voices BM_Open5MinuteMp3 BM_Memory38PlayingMp3Devices; do
  "$bench" --benchmark_filter="^${name}(/|$)" --benchmark_counters_tabular=true
done
