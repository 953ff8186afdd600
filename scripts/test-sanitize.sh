#!/usr/bin/env bash
# Builds the sanitize preset (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer on every target, libFuzzer instrumentation) and
# runs its whole test suite. Any sanitizer report stops the process under
# test with an abort, so it fails its test. Exits nonzero when anything fails.
#
#   bash scripts/test-sanitize.sh
#
# e2e_windows and its wine fixture are left out: it runs the Windows build
# under wine, which has no sanitizer in it and is tested by the Windows suite
# already.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"
started=$SECONDS

cmake --preset sanitize >/dev/null
cmake --build --preset sanitize
built=$SECONDS
ctest --preset sanitize -j2 -E '^(e2e_windows|wine_up|wine_down)$'
echo "sanitize: built in $((built - started)) s, tested in $((SECONDS - built)) s"
