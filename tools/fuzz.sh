#!/usr/bin/env bash
# Builds the fuzz targets with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer and runs each for a while on its seed corpus.
#
#   bash tools/fuzz.sh [seconds per target, default 60] [target...]
#
# Targets: profile_engine, conversion, text_helpers (default: all). New
# inputs go to build/fuzz/corpus/<target>, beside the committed seeds in
# fuzz/corpus/<target>; a crash leaves its input in build/fuzz/artifacts.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(profile_engine conversion text_helpers)

sanitize="-fsanitize=address,undefined -fno-sanitize-recover=all"
cmake -S . -B build/fuzz -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_C_FLAGS="$sanitize -fsanitize=fuzzer-no-link -fno-omit-frame-pointer" \
  -DCMAKE_CXX_FLAGS="$sanitize -fsanitize=fuzzer-no-link -fno-omit-frame-pointer" \
  -DCMAKE_EXE_LINKER_FLAGS="$sanitize" \
  -DQUILLMOOR_BUILD_FUZZ=ON -DQUILLMOOR_BUILD_TESTS=OFF \
  -DQUILLMOOR_BUILD_BENCH=OFF >/dev/null
cmake --build build/fuzz -j2 --target "${targets[@]/%/_fuzz}"

# Under CI the runs are seeded and counted, so that a run that passed once
# passes again on the same code (a faster machine runs no further);
# FUZZ_SEED picks another sequence.
runs_for() {
  case "$1" in
    profile_engine) echo 20000 ;;
    conversion) echo 100000 ;;
    *) echo 1000000 ;;
  esac
}

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
mkdir -p build/fuzz/artifacts
for target in "${targets[@]}"; do
  mkdir -p "build/fuzz/corpus/$target"
  echo "== $target: $seconds s"
  options=()
  if [ -n "${FUZZ_SEED:-}" ]; then
    options=(-seed="$FUZZ_SEED")
  elif [ -n "${CI:-}" ]; then
    options=(-seed=1 -runs="$(runs_for "$target")")
  fi
  status=0
  "build/fuzz/fuzz/${target}_fuzz" "${options[@]}" \
    -max_total_time="$seconds" -print_final_stats=1 -max_len=8192 \
    -timeout=20 -rss_limit_mb=2048 \
    -artifact_prefix="build/fuzz/artifacts/$target-" \
    "build/fuzz/corpus/$target" "fuzz/corpus/$target" \
    >"build/fuzz/$target.log" 2>&1 || status=$?
  grep -Ev '^#[0-9]+[[:space:]]+(NEW|REDUCE|pulse)' "build/fuzz/$target.log" || true
  if [ "$status" -ne 0 ]; then
    echo "== $target found a fault (exit status $status); its input is in build/fuzz/artifacts"
    exit "$status"
  fi
done
