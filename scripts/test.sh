#!/usr/bin/env bash
# Runs every test: installs what is missing (Debian 12, as root), builds the
# native and the Windows preset, and runs both test sets, natively and under
# wine. Exits nonzero when anything fails.
#
#   bash scripts/test.sh
#
# Environment: WINEPREFIX (default build/wine), RECMETER_SKIP_INSTALL=1 to
# leave the packages alone.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"
export DEBIAN_FRONTEND=noninteractive

step() { printf '\n==== %s\n' "$*"; }
started=$SECONDS

# ---- packages ---------------------------------------------------------------
# What the builds, the tests and bench/run.sh need from Debian (the
# benchmark installs nothing itself); only the missing ones are installed, so
# a prepared machine spends no time here.
PACKAGES=(
  cmake make g++ libgtest-dev googletest nlohmann-json3-dev
  g++-mingw-w64-i686
  wine wine32:i386
  clang libclang-rt-14-dev
  sqlite3 hyperfine time libbenchmark-dev python3
  groff-base
  chromium-headless-shell zlib1g-dev
  g++-aarch64-linux-gnu libc6-arm64-cross libstdc++6-arm64-cross qemu-user
)

installed() {
  [ "$(dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null)" = installed ]
}

install_missing() {
  local missing=() p
  for p in "${PACKAGES[@]}"; do
    installed "$p" || missing+=("$p")
  done
  if [ ${#missing[@]} -eq 0 ]; then
    echo "all packages present"
    return
  fi
  echo "installing: ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then
    echo "test.sh: need root to install ${missing[*]}" >&2
    exit 1
  fi
  # wine32 is an i386 package: the architecture must be known before the
  # one package-list update.
  if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  # A mirror caught mid-sync fails an index now and then. Going on without
  # it can leave the i386 and amd64 halves of a library at different
  # versions, which apt refuses; so after a second failure the install uses
  # the release's own suites alone, whose two halves always agree.
  local apt=(apt-get -q)
  if ! apt-get update -q && ! { sleep 10; apt-get update -q; }; then
    echo "test.sh: package lists incomplete; installing from bookworm and bookworm-updates only" >&2
    local sources
    sources=$(mktemp -d)
    cat >"$sources/release.sources" <<'SOURCES'
Types: deb
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
    apt=(apt-get -q -o "Dir::Etc::SourceList=/dev/null" -o "Dir::Etc::SourceParts=$sources")
    "${apt[@]}" update
  fi
  # With their recommended packages, as wine has been seen to work here.
  "${apt[@]}" install -y "${missing[@]}" </dev/null
}

if [ "${RECMETER_SKIP_INSTALL:-0}" != 1 ]; then
  step "packages"
  install_missing
fi

# ---- builds -----------------------------------------------------------------
# Both builds come before any test: the native suite also runs the Windows
# program (e2e_windows), from build/windows/bin. The wine prefix comes
# next: packaging the try-it kit runs recfile.exe.
for preset in native windows; do
  step "build $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done

# ---- wine -------------------------------------------------------------------
# One prefix for all Windows runs, made once (10-30 s), and one wineserver
# kept alive for the whole test run so each Windows run starts in a fraction
# of a second.
export WINEPREFIX=${WINEPREFIX:-$ROOT/build/wine}
export WINEDEBUG=-all
step "wine prefix $WINEPREFIX"
if [ ! -f "$WINEPREFIX/.recmeter-ready" ]; then
  mkdir -p "$WINEPREFIX"
  t0=$SECONDS
  wineboot -i </dev/null >/dev/null 2>&1
  wineserver -w
  touch "$WINEPREFIX/.recmeter-ready"
  echo "prefix made in $((SECONDS - t0)) s"
fi
# A server already running (bench/run.sh's, an earlier run's) serves as well,
# and is its starter's to end: only one started here is ended here.
if wineserver -p 2>/dev/null; then
  trap 'wineserver -k 2>/dev/null || true' EXIT
fi
# The prefix's services start now, holding no pipe of ours: started by a later
# program they would keep its output pipe open, and its reader would wait for
# them (tests/wine/keeper.sh, which the Windows tests' fixture runs).
wine cmd /c exit </dev/null >/dev/null 2>&1 || true

# ---- packages and installation ----------------------------------------------
# The release ZIP holds the program and its README alone, never an engine;
# the try-it kit holds its own program, the local engine, recfile and a
# sample made by that recfile (under wine), and must run.
step "package windows"
rm -f build/windows/Recmeter-*.zip
(cd build/windows && cpack -G ZIP >/dev/null &&
  cpack -G ZIP --config CPackLocalEngineConfig.cmake >/dev/null)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/windows/CMakeCache.txt)
top=Recmeter-$version-win32
release=build/windows/$top.zip
kit=build/windows/$top-localengine.zip
listing=$(cmake -E tar tf "$release")
for needed in "$top/bin/RECMETER.EXE" "$top/README.TXT"; do
  if ! grep -qx "$needed" <<<"$listing"; then
    echo "test.sh: $needed missing from $release" >&2
    exit 1
  fi
done
if grep -qi '\.dll$' <<<"$listing"; then
  echo "test.sh: $release holds a DLL: $(grep -i '\.dll$' <<<"$listing" | tr '\n' ' ')" >&2
  exit 1
fi
echo "$release: $(grep -v '/$' <<<"$listing" | tr '\n' ' ')(no DLL)"
unpacked=$(mktemp -d)
(cd "$unpacked" && cmake -E tar xf "$ROOT/$kit")
kitrun=$(cd "$unpacked/$top-localengine" &&
  wine bin/RECMETER.EXE sample.dat /C 2>/dev/null) || {
  echo "test.sh: the kit's RECMETER.EXE sample.dat /C failed" >&2
  exit 1
}
if ! grep -q $'^Total Scanned Record Count: 203\r$' <<<"$kitrun"; then
  echo "test.sh: unexpected report from the kit's sample:" >&2
  echo "$kitrun" >&2
  exit 1
fi
rm -rf "$unpacked"
echo "$kit: $(cmake -E tar tf "$kit" | grep -v '/$' | sed 's|^[^/]*/||' | tr '\n' ' ')"
echo "  under wine, bin/RECMETER.EXE sample.dat /C: exit 0, $(grep -c '^ *[0-9]*[ +], ' <<<"$kitrun") sizes, Total Scanned Record Count: 203"

# cmake --install: the default component is the program and its manual page
# alone; the local engine and recfile come only with --component localengine.
step "install native"
installed_files() {
  local prefix
  prefix=$(mktemp -d)
  cmake --install build/native --prefix "$prefix" "$@" >/dev/null
  (cd "$prefix" && find . -type f | sed 's|^\./||' | sort | tr '\n' ' ')
  rm -rf "$prefix"
}
expect_installed() {
  local want=$1 got
  shift
  got=$(installed_files "$@")
  if [ "$got" != "$want" ]; then
    echo "test.sh: cmake --install $*: got '$got', want '$want'" >&2
    exit 1
  fi
  echo "cmake --install${*:+ $*}: $got"
}
expect_installed "bin/recmeter share/man/man1/recmeter.1 "
expect_installed "bin/liblocalengine.so bin/recfile " --component localengine

step "manual page"
warnings=$(groff -man -Tutf8 -ww doc/recmeter.1 2>&1 >/dev/null)
if [ -n "$warnings" ]; then
  echo "test.sh: groff warns about doc/recmeter.1:" >&2
  echo "$warnings" >&2
  exit 1
fi
echo "groff -man -Tutf8 -ww doc/recmeter.1: no warnings"

# ---- tests ------------------------------------------------------------------
# Each suite's CTest summary is kept and printed again at the end.
mkdir -p build/logs
failed=()
summaries=()
run_suite() {
  local name=$1 log=build/logs/$1.log
  shift
  step "tests: $name"
  if "$@" 2>&1 | tee "$log"; [ "${PIPESTATUS[0]}" -ne 0 ]; then
    failed+=("$name")
  fi
  summaries+=("$name: $(grep -E 'tests passed|No tests were found|^fuzz: ' "$log" | tail -1 || true)")
}

# e2e_windows must run here, never be skipped for want of the Windows build,
# nor the report page's test for want of the browser.
export RECMETER_E2E_REQUIRE_WINDOWS=1 RECMETER_E2E_REQUIRE_BROWSER=1
run_suite native ctest --preset native
run_suite windows ctest --preset windows

# The native build again with AddressSanitizer and UndefinedBehaviorSanitizer
# (clang), every test under it, and the engine's tests under ThreadSanitizer;
# then a bounded run of each fuzz target.
run_suite sanitize bash scripts/test-sanitize.sh
run_suite fuzz bash scripts/fuzz.sh

# The 64-bit ARM cross build (no x86 code: the portable checksum), its tests
# run under qemu's user-mode emulator: the program's unit tests, the engine's
# tests and its behaviour tests, which start their child processes through
# the emulator too. No e2e (native only), benchmarks or fuzzers.
run_suite aarch64 bash -c \
  'cmake --preset aarch64 >/dev/null && cmake --build --preset aarch64 && ctest --preset aarch64 -j2'

step "summary ($((SECONDS - started)) s)"
printf '%s\n' "${summaries[@]}"
echo "suites: $(( ${#summaries[@]} - ${#failed[@]} )) passed, ${#failed[@]} failed"
if [ ${#failed[@]} -ne 0 ]; then
  echo "FAILED: ${failed[*]}"
  exit 1
fi
echo "all test suites passed"
