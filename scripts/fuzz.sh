#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) in build-fuzz and runs each one after
# the other for FUZZ_SECONDS (default 60). The corpus grows in build-fuzz/corpus/<fuzzer>
# starting from fuzz/seeds; a crash, leak, hang or sanitizer report is written to
# build-fuzz/artifacts/<fuzzer>/ and fails the run. Keep such an input in fuzz/regressions/<kind>/
# once it is fixed: the fault tests replay that folder in every `make test`.
#
#   FUZZ_SECONDS=600 FUZZERS="decoder" scripts/fuzz.sh
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT="$(pwd)"

FUZZ_SECONDS="${FUZZ_SECONDS:-60}"
FUZZERS="${FUZZERS:-slot_list command decoder}"
BUILD_DIR="$ROOT/${FUZZ_BUILD:-build-fuzz}"

if [ ! -f "$BUILD_DIR/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DSORVANE_BUILD_FUZZ=ON -DSORVANE_BUILD_TESTS=OFF
fi
targets=()
for f in $FUZZERS; do targets+=("${f}_fuzzer"); done
cmake --build "$BUILD_DIR" --target "${targets[@]}" -j "${JOBS:-2}"

# Per-fuzzer limits. The list reader bounds what it reads, so it must stay far below these.
limits_for() {
  case "$1" in
    slot_list) echo "-rss_limit_mb=1024 -malloc_limit_mb=64 -max_len=1200000 -timeout=10" ;;
    command)   echo "-rss_limit_mb=1024 -max_len=4096 -timeout=10" ;;
    decoder)   echo "-rss_limit_mb=2048 -max_len=65536 -timeout=20" ;;
  esac
}

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
status=0
summary=()
for f in $FUZZERS; do
  corpus="$BUILD_DIR/corpus/$f"
  artifacts="$BUILD_DIR/artifacts/$f/"
  log="$BUILD_DIR/fuzz-$f.log"
  mkdir -p "$corpus" "$artifacts"
  echo "== $f: ${FUZZ_SECONDS}s (log $log)"
  # The list reader allocates only through Qt. The allocation stacks AddressSanitizer keeps for
  # those hardly ever repeat, and grew the process by about 40 MB a minute (to an rss failure
  # within a minute); with two frames kept it stays flat at about 500 MB.
  asan="$ASAN_OPTIONS"
  [ "$f" = slot_list ] && asan="$asan:malloc_context_size=2"
  # shellcheck disable=SC2046
  if ! ASAN_OPTIONS="$asan" "$BUILD_DIR/fuzz/${f}_fuzzer" "$corpus" "$ROOT/fuzz/seeds/$f" "$ROOT/fuzz/regressions/$f" \
        -max_total_time="$FUZZ_SECONDS" -print_final_stats=1 -artifact_prefix="$artifacts" \
        $(limits_for "$f") >"$log" 2>&1; then
    echo "!! $f found a problem; see $log and $artifacts"
    status=1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1 || true)
  cov=$(grep -oE 'cov: [0-9]+ ft: [0-9]+' "$log" | tail -1 || true)
  summary+=("$f: ${runs:-?} executions in ${FUZZ_SECONDS}s, ${cov:-no coverage line}, corpus $(ls "$corpus" | wc -l) inputs")
done
printf '%s\n' "${summary[@]}"
exit $status
