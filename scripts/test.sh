#!/usr/bin/env bash
# Builds everything and runs all tests.  With --sanitize the build goes to a
# second directory with AddressSanitizer and UndefinedBehaviorSanitizer,
# built with clang, whose UndefinedBehaviorSanitizer also catches a value
# that no member of its enumeration has (g++ when clang is not installed).
# With --werror every compiler warning fails the build (CI's build).
set -euo pipefail
cd "$(dirname "$0")/.."
sanitize=OFF
werror=OFF
for arg in "$@"; do
  case $arg in
    --sanitize) sanitize=ON ;;
    --werror) werror=ON ;;
    *) echo "usage: bash scripts/test.sh [--sanitize] [--werror]" >&2; exit 2 ;;
  esac
done
bash scripts/deps.sh
build=build
flags=(-DODT_WERROR="$werror")
if [ "$sanitize" = ON ]; then
  build=build-sanitize
  flags+=(-DODT_SANITIZE=ON -DODT_BUILD_BENCH=OFF)
  source scripts/compiler.sh
  if command -v clang++ > /dev/null; then
    use_clang "$build"
  else
    echo "test.sh: clang++ is not installed; the sanitize build uses g++, which does not check enumeration values"
    use_compiler "$build" g++ gcc
  fi
fi
source scripts/qt-runtime.sh
qt_runtime_dir "$build"/runtime
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${flags[@]}"
cmake --build "$build" -j "$(nproc)"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
