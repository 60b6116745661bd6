#!/usr/bin/env bash
# Builds Pelmora and runs it unattended ("-LIVE") on the simulated machine of
# simdrive/machines/pelmora-live.machine: a fresh working directory gets an
# "AUTORUN.BIN" made for the simulated drive, Pelmora downloads it, and the
# step log and the drive's firmware before and after are printed.  The drive
# keeps its firmware between runs in out/firmware-state.txt.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)
bash scripts/deps.sh
source scripts/qt-runtime.sh
qt_runtime_dir build/runtime
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build build -j "$(nproc)" --target Pelmora simtool

mkdir -p out
cp simdrive/machines/pelmora-live.machine out/pelmora-live.machine
work="$top/out/work"
rm -rf "$work"
mkdir -p "$work"
./build/simdrive/simtool image "$work/AUTORUN.BIN" --model "SIMDRIVEDVD-RW SD-1000" \
    --revision "1.10" --code "SDA" --chunk-kib 32 --chunks 8 --last-kib 20

echo "== drive before the download"
./build/simdrive/simtool drives out/pelmora-live.machine
echo "== Pelmora -LIVE"
status=0
(cd "$work" && SIMULATED_MACHINE="$top/out/pelmora-live.machine" \
    timeout 60 "$top/build/download/Pelmora" -LIVE) || status=$?
echo "== step log ($work/Quilbex.TMP)"
cat "$work/Quilbex.TMP" 2> /dev/null || echo "(none written)"
echo "== drive after the download"
./build/simdrive/simtool drives out/pelmora-live.machine
# The run counts only when Pelmora says so and its step log ends in COMPLETE.
if [ "$status" -ne 0 ] || [ "$(tail -n 1 "$work/Quilbex.TMP" 2> /dev/null)" != COMPLETE ]; then
  echo "run.sh: the download did not complete (Pelmora's exit status $status, explained in the README)" >&2
  exit 1
fi
