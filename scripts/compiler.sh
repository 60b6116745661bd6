# Sourced by the scripts that choose the compiler of a build directory.
# CMake takes the compiler from CXX only when it first configures a
# directory and keeps it from then on, so a directory configured with
# another compiler is configured anew (its cache goes; the objects are
# rebuilt, mostly from ccache).
use_compiler() {  # build-directory c++-compiler c-compiler
  local cache=$1/CMakeCache.txt
  export CXX=$2 CC=$3
  if [ -f "$cache" ] && ! grep -qx "CMAKE_CXX_COMPILER:FILEPATH=$(command -v "$2")" "$cache"; then
    rm -rf "$cache" "$1/CMakeFiles"
  fi
}

use_clang() {  # build-directory
  use_compiler "$1" clang++ clang
}
