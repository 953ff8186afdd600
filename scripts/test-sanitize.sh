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
# Then the engine's unit and behaviour tests once more, built with
# ThreadSanitizer (build/tsan): the read window's reader thread against the
# requests, the entry's guard, the test disk's hooks.
set -euo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
started=$SECONDS

build_preset sanitize
built=$SECONDS
ctest --preset sanitize -j2 -E '^(e2e_windows|wine_up|wine_down)$'
tested=$SECONDS

tsan=-fsanitize=thread
cmake -S . -B build/tsan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_COMPILE_WARNING_AS_ERROR=ON \
  -DCMAKE_CXX_FLAGS="$tsan -fno-omit-frame-pointer" -DCMAKE_EXE_LINKER_FLAGS=$tsan \
  -DCMAKE_SHARED_LINKER_FLAGS=$tsan >/dev/null
cmake --build build/tsan -j2 --target localengine_tests localengine_behaviour_tests
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:abort_on_error=1:second_deadlock_stack=1}
build/tsan/bin/localengine_tests --gtest_brief=1
# Left out here (the other builds run them): the long walks of damaged files
# and of killed writers, whose threads are the ones tested already.
build/tsan/bin/localengine_behaviour_tests --gtest_brief=1 \
  --gtest_filter=-BehaviourTest.DamagedFilesGiveStatusesNeverWrongRecords:BehaviourTest.KilledWriterLeavesEveryRecordOldOrNew
echo "tsan: the engine's unit and behaviour tests: no report"
echo "sanitize: built in $((built - started)) s, tested in $((tested - built)) s; tsan in $((SECONDS - tested)) s"
