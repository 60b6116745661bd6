#!/usr/bin/env bash
# Builds the fuzz targets (the GIF unit's, the simulated drive's command
# decoder, the machine description parser, the media identifier parser, the
# settings file's reader and writer) with clang, libFuzzer, AddressSanitizer
# and UndefinedBehaviorSanitizer into build-fuzz/ and runs each one for a
# short while (FUZZ_SECONDS, default 20) from its committed seed corpus in
# fuzz/seeds/ (the machine descriptions from simdrive/machines/).  New inputs
# go to a scratch directory; a crash leaves its input in build-fuzz/artifacts/
# and fails the script.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
seconds=${FUZZ_SECONDS:-20}
# A fixed seed and a fixed number of inputs make a run repeatable: what CI
# finds, anyone finds again with the same command.  FUZZ_RUNS=-1 fuzzes for
# the whole FUZZ_SECONDS instead.
runs=${FUZZ_RUNS:-4000}
build=build-fuzz
source scripts/qt-runtime.sh
qt_runtime_dir "$build"/runtime
source scripts/compiler.sh
use_clang "$build"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DODT_FUZZ=ON -DODT_SANITIZE=ON \
    -DODT_BUILD_BENCH=OFF > /dev/null
cmake --build "$build" -j "$(nproc)" --target fuzz_gif_load fuzz_gif_load_save_load fuzz_gif_encode \
    fuzz_gif_optimize fuzz_gif_decode fuzz_simdrive_commands fuzz_machine_file fuzz_media_id fuzz_settings
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
mkdir -p "$build/artifacts"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
run() {
  local target=$1 seeds=$2 status=0
  mkdir -p "$scratch/$target"
  echo "== fuzz_$target for ${seconds}s"
  "$build/fuzz/fuzz_$target" -seed=1 -runs="$runs" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 -max_len=16384 \
      -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" "$scratch/$target" "$seeds" \
      > "$scratch/$target.log" 2>&1 || status=$?
  grep -E "^stat::number_of_executed_units" "$scratch/$target.log" || true
  if [ "$status" -ne 0 ]; then
    tail -n 60 "$scratch/$target.log"
    return "$status"
  fi
}
run gif_load fuzz/seeds/load
run gif_load_save_load fuzz/seeds/load
run gif_encode fuzz/seeds/encode
run gif_decode fuzz/seeds/decode
run gif_optimize fuzz/seeds/optimize
run simdrive_commands fuzz/seeds/simdrive
run machine_file simdrive/machines
run media_id fuzz/seeds/media_id
run settings fuzz/seeds/settings
