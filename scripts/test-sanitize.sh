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
#
# Then the tsan preset: the engine's unit and behaviour tests once more,
# built with ThreadSanitizer (build/tsan): the read window's reader thread
# against the requests, the entry's guard, the test disk's hooks. The preset
# leaves out the long walks of damaged files and of killed writers (the
# other builds run them), whose threads are the ones tested already.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
started=$SECONDS

build_preset sanitize
built=$SECONDS
ctest --preset sanitize -j2 -E '^(e2e_windows|wine_up|wine_down)$'
tested=$SECONDS

test_preset tsan -j2
echo "tsan: the engine's unit and behaviour tests: no report"
echo "sanitize: built in $((built - started)) s, tested in $((tested - built)) s; tsan in $((SECONDS - tested)) s"
