# Sourced by the scripts that build or run Qt programs.  Qt wants a private
# runtime directory; without XDG_RUNTIME_DIR it warns on every start and makes
# one under /tmp.  A desktop session's own directory is kept; otherwise Qt
# gets one of the scripts' own, below the given directory.
qt_runtime_dir() {
  [ -n "${XDG_RUNTIME_DIR:-}" ] && return 0
  mkdir -p "$1"
  chmod 700 "$1"
  XDG_RUNTIME_DIR=$(cd "$1" && pwd)
  export XDG_RUNTIME_DIR
}
