#!/usr/bin/env bash
# Fuzzes every libFuzzer target of the sanitize preset for a bounded time and
# prints how many inputs each one ran. Exits nonzero when a target crashes,
# hangs, leaks or breaks one of its invariants; the input that did it is kept
# in build/fuzz-findings/TARGET/.
#
#   bash scripts/fuzz.sh [TARGET...]
#
# Environment: RECMETER_FUZZ_SECONDS (default 60) per target. The targets run
# side by side, one per core. Each fuzzes a copy of its committed corpus in
# a temporary folder, so the committed one stays small; add a finding to
# fuzz/corpus/TARGET/ once it is fixed.
set -euo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

SECONDS_PER_TARGET=${RECMETER_FUZZ_SECONDS:-60}
ALL_TARGETS=(fuzz_command_line fuzz_engine_reader)
TARGETS=("${@:-${ALL_TARGETS[@]}}")
BIN=$ROOT/build/sanitize/bin
FINDINGS=$ROOT/build/fuzz-findings

# The fuzz targets only.
build_targets sanitize "${TARGETS[@]}"

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

run_target() {
  local target=$1 dir=$WORK/$1
  mkdir -p "$dir/corpus" "$dir/artifacts"
  cp -R "fuzz/corpus/$target/." "$dir/corpus/"
  # -timeout: one input running longer counts as a hang.
  (cd "$dir" && TMPDIR="$dir" "$BIN/$target" \
      -max_total_time="$SECONDS_PER_TARGET" -rss_limit_mb=2048 -timeout=20 \
      -print_final_stats=1 -artifact_prefix="$dir/artifacts/" corpus) >"$dir/log" 2>&1
}

pids=()
for target in "${TARGETS[@]}"; do
  run_target "$target" & pids+=($!)
done

passed=0 failed=0
for i in "${!TARGETS[@]}"; do
  target=${TARGETS[$i]} dir=$WORK/${TARGETS[$i]}
  status=0
  wait "${pids[$i]}" || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/log" | tail -1)
  if [ "$status" -eq 0 ]; then
    passed=$((passed + 1))
    echo "$target: ${runs:-?} executions in ${SECONDS_PER_TARGET} s, nothing found"
  else
    failed=$((failed + 1))
    rm -rf "${FINDINGS:?}/$target"
    mkdir -p "$FINDINGS/$target"
    cp -R "$dir/artifacts/." "$FINDINGS/$target/"
    cp "$dir/log" "$FINDINGS/$target/log"
    echo "$target: FAILED (exit $status) after ${runs:-?} executions; inputs and log in $FINDINGS/$target"
    grep -E 'ERROR|runtime error|invariant broken|SUMMARY|Test unit written' "$dir/log" | head -20 || true
  fi
done

echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
