#!/usr/bin/env bash
# Installs the Debian packages the build, the tests, the fuzz targets and the
# benchmarks need, when missing.  It prints one line per phase; what apt-get
# and dpkg say goes to out/apt.log, whose path is printed when a phase fails.
# Installing needs root, or sudo rights: without a password, or with a
# terminal to ask for it.
set -euo pipefail
cd "$(dirname "$0")/.."
packages=(cmake make g++ pkg-config googletest libgtest-dev libgmock-dev libbenchmark-dev
          qt6-base-dev qt6-base-dev-tools libgl-dev libjpeg-dev fonts-nanum
          libgif-dev imagemagick clang libclang-rt-14-dev libimagequant-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo > /dev/null && { sudo -n true 2> /dev/null || [ -t 0 ]; }; then
    as_root=(sudo)
  else
    echo "deps.sh: missing Debian packages: ${missing[*]}; installing them needs root, or sudo rights with a terminal" >&2
    exit 1
  fi
fi

mkdir -p out
log=$(pwd)/out/apt.log
: > "$log"
# sudo resets the environment, so the frontend is set inside the command it runs.
apt=("${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -y -o Dpkg::Use-Pty=0)
phase() {
  local what=$1; shift
  echo "deps.sh: $what"
  if ! "$@" >> "$log" 2>&1; then
    echo "deps.sh: failed while $what; apt-get's output is in $log" >&2
    exit 1
  fi
}
phase "updating the package lists" "${apt[@]}" update
phase "installing ${#missing[@]} packages: ${missing[*]}" "${apt[@]}" install "${missing[@]}"
