#!/usr/bin/env bash
# Runs the program on a sample: builds the native preset if needed, makes a
# sample data file with recfile, and reports its record lengths with totals.
#
#   bash scripts/demo.sh
set -euo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

BIN=$ROOT/build/native/bin
build_targets native recmeter recfile localengine

# 2000 records of 100-110 bytes, then a few whose tails are null filler and
# one longer than the standard entry's 64 KB buffer.
DEMO=$ROOT/build/demo
mkdir -p "$DEMO"
cd "$DEMO"
rm -f sample.dat
"$BIN/recfile" gen sample.dat --count=2000 --min=100 --max=110 --seed=7
"$BIN/recfile" add sample.dat 100+400 1000+3000x3 50+0 70000+1000 hex:4142430000002020
echo "sample: $DEMO/sample.dat"
"$BIN/recmeter" sample.dat /C
