#!/usr/bin/env bash
# Builds with clang and ThreadSanitizer into build-tsan/ and runs, first, the
# GIF painter stress test: GIF_STRESS_ROUNDS rounds (default 1000) of load,
# draw, a random short run of the event loop, option changes, pack,
# optimise, clear and destroy; then the Corvan_CE tests (the test window, its
# runs' workers and the settings file) and the drive layer's tests.  A race,
# a lock-order inversion or a deadlock (the stress test's watchdog) fails the
# script.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
build=build-tsan
source scripts/qt-runtime.sh
qt_runtime_dir "$build"/runtime
source scripts/compiler.sh
use_clang "$build"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DODT_TSAN=ON \
    -DODT_BUILD_BENCH=OFF > /dev/null
# Qt is not built with ThreadSanitizer: its locks and atomics are invisible
# to it, so what Qt allocates on one thread and frees on another (a posted
# event, a job of the painter's thread pool) would read as a race.  Only our
# own code's accesses are judged; no report is suppressed, so any report
# about our code fails.  This holds for the picture tools the build runs too.
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ignore_noninstrumented_modules=1 ${TSAN_OPTIONS:-}"
cmake --build "$build" -j "$(nproc)" --target test_gifstress test_corvan test_diagnostic test_drive
export QT_QPA_PLATFORM=offscreen
export GIF_STRESS_ROUNDS=${GIF_STRESS_ROUNDS:-1000}
"$build/tests/test_gifstress"
for tests in test_corvan test_diagnostic test_drive; do
  echo "== $tests under ThreadSanitizer"
  "$build/tests/$tests" --gtest_brief=1
done
