#!/usr/bin/env bash
# Builds the GIF painter stress test with clang and ThreadSanitizer into
# build-tsan/ and runs it: GIF_STRESS_ROUNDS rounds (default 1000) of load,
# draw, a random short run of the event loop, option changes, pack,
# optimise, clear and destroy.  A race, a lock-order inversion or a deadlock (the test's
# watchdog) fails the script.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
build=build-tsan
CXX=clang++ CC=clang cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DODT_TSAN=ON \
    -DODT_BUILD_BENCH=OFF > /dev/null
cmake --build "$build" -j "$(nproc)" --target test_gifstress
export QT_QPA_PLATFORM=offscreen
export GIF_STRESS_ROUNDS=${GIF_STRESS_ROUNDS:-1000}
# Qt is not built with ThreadSanitizer: its locks and atomics are invisible
# to it, so what Qt allocates on one thread and frees on another (a posted
# event) would read as a race.  Only our own code's accesses are judged.
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ignore_noninstrumented_modules=1 ${TSAN_OPTIONS:-}"
"$build/tests/test_gifstress"
