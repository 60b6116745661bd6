#!/usr/bin/env bash
# Renders every window of Pelmora headless, in English and in Korean, to PNG
# files under build/windows (the program that does it is built with the tests
# and is not part of Pelmora).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
source scripts/qt-runtime.sh
qt_runtime_dir build/runtime
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)" --target render_windows
build/tests/render_windows build/windows
