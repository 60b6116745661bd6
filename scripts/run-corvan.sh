#!/usr/bin/env bash
# Builds Corvan_CE and runs a Batch test headless on the simulated machine of
# simdrive/machines/corvan-batch.machine: a fresh working directory, the
# script at the test window (Batch Mode, START, OK at each disc prompt), then
# the test log "Corvan CE/Corvan_CE.LOG" is printed.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)
bash scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build build -j "$(nproc)" --target Corvan_CE

work="$top/out/corvan-work"
rm -rf "$work"
mkdir -p "$work"
echo "== Corvan_CE, Batch test on simdrive/machines/corvan-batch.machine"
(cd "$work" && SIMULATED_MACHINE="$top/simdrive/machines/corvan-batch.machine" \
    timeout 120 "$top/build/diagnostic/Corvan_CE")
echo "== test log ($work/Corvan CE/Corvan_CE.LOG)"
cat "$work/Corvan CE/Corvan_CE.LOG"
