#!/usr/bin/env bash
# Builds Corvan_CE and runs a Batch test headless on the simulated machine of
# simdrive/machines/corvan-batch.machine: a fresh working directory, the
# script at the test window (Batch Mode, START, OK at each disc prompt), then
# the test log "Corvan CE/Corvan_CE.LOG" is printed.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)
bash scripts/deps.sh
source scripts/qt-runtime.sh
qt_runtime_dir build/runtime
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build build -j "$(nproc)" --target Corvan_CE

work="$top/out/corvan-work"
rm -rf "$work"
mkdir -p "$work"
echo "== Corvan_CE, Batch test on simdrive/machines/corvan-batch.machine"
status=0
(cd "$work" && SIMULATED_MACHINE="$top/simdrive/machines/corvan-batch.machine" \
    timeout 120 "$top/build/diagnostic/Corvan_CE") || status=$?
log="$work/Corvan CE/Corvan_CE.LOG"
echo "== test log ($log)"
cat "$log" 2> /dev/null || echo "(none written)"
# The run counts only when Corvan_CE ends well, all four rounds are in the
# log, and its last step passed.
rounds=$(grep -c "TEST INDEX(C/T)" "$log" 2> /dev/null || true)
last=$(grep -v '^[[:space:]]*$' "$log" 2> /dev/null | tail -n 1 || true)
if [ "$status" -ne 0 ] || [ "$rounds" != 4 ] || ! [[ "$last" =~ \[\ STATUS\ +\]\ :\ PASS!!$ ]]; then
  echo "run-corvan.sh: the Batch test did not pass all four rounds (exit status $status, ${rounds:-0} rounds, last line: ${last:-none})" >&2
  exit 1
fi
