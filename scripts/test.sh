#!/usr/bin/env bash
# Runs every test: installs what is missing (Debian 12, as root), builds the
# native and the Windows preset, checks the Windows packages and the native
# installation, and runs the test suites: native, Windows under wine,
# sanitizers, fuzzers, ARM under qemu. Exits nonzero when anything fails.
#
#   bash scripts/test.sh
#
# Environment: WINEPREFIX (default build/wine), RECMETER_SKIP_INSTALL=1 to
# leave the packages alone.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
started=$SECONDS

if [ "${RECMETER_SKIP_INSTALL:-0}" != 1 ]; then
  step "packages"
  bash scripts/install-packages.sh
fi

# Both builds come before any test: the native suite also runs the Windows
# program (e2e_windows), from build/windows/bin. The wine prefix comes
# next: packaging the try-it kit runs recfile.exe.
for preset in native windows; do
  step "build $preset"
  build_preset "$preset"
done

# One wineserver kept alive for the whole test run, so each Windows run
# starts in a fraction of a second.
use_wine
step "wine prefix $WINEPREFIX"
bash scripts/setup-wine.sh
# A server already running (bench/run.sh's, an earlier run's) serves as well,
# and is its starter's to end: only one started here is ended here.
if wineserver -p 2>/dev/null; then
  trap 'wineserver -k 2>/dev/null || true' EXIT
fi
# The prefix's services start now, holding no pipe of ours: started by a later
# program they would keep its output pipe open, and its reader would wait for
# them (tests/wine/keeper.sh, which the Windows tests' fixture runs).
wine cmd /c exit </dev/null >/dev/null 2>&1 || true

bash scripts/check-release.sh
bash scripts/check-install.sh

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
  # One line per CTest run (the sanitize suite has two) or the fuzz count.
  summaries+=("$name: $(grep -E 'tests passed|No tests were found|^fuzz: ' "$log" | paste -sd';' - |
    sed 's/;/; /g; s/^fuzz: //' || true)")
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
run_suite aarch64 test_preset aarch64 -j2

step "summary ($((SECONDS - started)) s)"
printf '%s\n' "${summaries[@]}"
echo "suites: $(( ${#summaries[@]} - ${#failed[@]} )) passed, ${#failed[@]} failed"
if [ ${#failed[@]} -ne 0 ]; then
  echo "FAILED: ${failed[*]}"
  exit 1
fi
echo "all test suites passed"
