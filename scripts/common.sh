# Sourced by the scripts here: the repository's root as ROOT and as the
# working folder, and what more than one of them does.

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"

# A heading in the output of a long run.
step() { printf '\n==== %s\n' "$*"; }

# The script's complaint on standard error, and its end.
die() {
  echo "$(basename "$0"): $*" >&2
  exit 1
}

# The tests' wine prefix and no wine diagnostics, for this script and what it
# starts.
use_wine() {
  export WINEPREFIX=${WINEPREFIX:-$ROOT/build/wine}
  export WINEDEBUG=-all
}

# Configures a preset (again, so a changed preset counts) and builds it.
build_preset() {
  cmake --preset "$1" >/dev/null && cmake --build --preset "$1"
}

# A preset's build and its tests, with ctest's further arguments.
test_preset() {
  build_preset "$1" && ctest --preset "$1" "${@:2}"
}

# Some targets of a preset, quietly, configuring it only when it never was:
# up to date, this costs a second.
build_targets() {
  if [ ! -f "build/$1/CMakeCache.txt" ]; then
    cmake --preset "$1" >/dev/null
  fi
  cmake --build --preset "$1" --target "${@:2}" >/dev/null
}
