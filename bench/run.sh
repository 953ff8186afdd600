#!/usr/bin/env bash
# The scan benchmark: recmeter on a large file next to a raw read of it, the
# same question put to SQLite, and the Windows build under wine.
#
#   bash bench/run.sh [--records N] [--files F] [--many M] [--runs R]
#                     [--no-windows] [--no-sqlite] [--no-build] [--micro]
#
# Builds what it measures (unless --no-build), makes a file of N records
# (default 1,000,000) of 20..2000 bytes under build/bench/ (kept for later
# runs), checks that every contender gives the same histogram, times them
# with hyperfine (median of R runs, default 5, after a warm-up), measures
# peak memory, and bench/report.py prints the table and the goals. Beside
# it, a folder of F files (default 1,000) of 100 records each, timed against
# one file of the same records, for what a file costs beyond its records,
# and M files (default 10,000) of 10 records for the peak memory of a long
# run. --micro runs recmeter_microbench after it. It installs nothing
# (scripts/install-packages.sh does). Environment: WINEPREFIX (default
# build/wine), BENCH_DIR (default build/bench), BENCH_NATIVE_BIN (default
# build/native/bin), BENCH_WINDOWS_EXE (default
# build/windows/bin/RECMETER.EXE).
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"

RECORDS=1000000 RUNS=5 WINDOWS=1 SQLITE=1 BUILD=1 MICRO=0 FILES=1000 MANY=10000
MIN_LEN=20 MAX_LEN=2000 SEED=1

usage() { awk 'NR > 1 && !/^#/ { exit } NR > 1 { sub(/^# ?/, ""); print }' "$ROOT/bench/run.sh" >&2; exit 2; }
positive() { [[ $2 =~ ^[1-9][0-9]*$ ]] || { echo "run.sh: $1 needs a positive number, got '$2'" >&2; exit 2; }; }
while [ $# -gt 0 ]; do
  case $1 in
    --records=*|--runs=*|--files=*|--many=*) set -- "${1%%=*}" "${1#*=}" "${@:2}" ;;
    --files) positive --files "${2-}"; FILES=$2; shift 2 ;;
    --many) positive --many "${2-}"; MANY=$2; shift 2 ;;
    --records) positive --records "${2-}"; RECORDS=$2; shift 2 ;;
    --runs) positive --runs "${2-}"; RUNS=$2; shift 2 ;;
    --no-windows) WINDOWS=0; shift ;;
    --no-sqlite) SQLITE=0; shift ;;
    --no-build) BUILD=0; shift ;;
    --micro) MICRO=1; shift ;;
    -h|--help) usage ;;
    *) echo "run.sh: unknown argument '$1'" >&2; usage ;;
  esac
done

# The memory check compares the full file with one a tenth its size (at
# least 1000 records).
SMALL_RECORDS=$(( RECORDS / 10 > 1000 ? RECORDS / 10 : 1000 ))
BENCH_DIR=${BENCH_DIR:-$ROOT/build/bench}
LOG=$BENCH_DIR/last-run.log
NATIVE_BIN=${BENCH_NATIVE_BIN:-$ROOT/build/native/bin}
RECMETER=$NATIVE_BIN/recmeter
EXE=${BENCH_WINDOWS_EXE:-$ROOT/build/windows/bin/RECMETER.EXE}
mkdir -p "$BENCH_DIR" && : >"$LOG"

say() { printf '%s\n' "$*" >&2; }
die() { say "run.sh: $*"; say "(details in $LOG)"; exit 1; }
logged() { "$@" >>"$LOG" 2>&1; }
have() { command -v "$1" >/dev/null; }
lacking() { say "run.sh: no $1: $2 (bash scripts/install-packages.sh installs it)"; }  # lacking TOOL WHAT-FOLLOWS

# ---- tools and builds -------------------------------------------------------
for tool in hyperfine python3; do
  have $tool || { lacking $tool "nothing is timed"; exit 1; }
done
[ -x /usr/bin/time ] || lacking /usr/bin/time "no memory figures"
[ $SQLITE = 0 ] || have sqlite3 || { lacking sqlite3 "the SQLite row is left out"; SQLITE=0; }
[ $WINDOWS = 0 ] || have wine || { lacking wine "the Windows rows are left out"; WINDOWS=0; }
[ $WINDOWS = 0 ] || [ $BUILD = 0 ] || have i686-w64-mingw32-g++ ||
  { lacking i686-w64-mingw32-g++ "the Windows rows are left out"; WINDOWS=0; }

build() {  # build PRESET TARGET...
  { [ -f "build/$1/CMakeCache.txt" ] || logged cmake --preset "$1"; } &&
    logged cmake --build --preset "$1" --target "${@:2}"
}
if [ $BUILD = 1 ]; then
  say "building the native preset"
  build native recmeter recfile localengine || die "native build failed"
  [ $MICRO = 0 ] || build native recmeter_microbench || true
  if [ $WINDOWS = 1 ]; then
    say "building the windows preset"
    build windows recmeter localengine || die "windows build failed"
  fi
fi
for program in recmeter recfile liblocalengine.so; do
  [ -f "$NATIVE_BIN/$program" ] || die "no $NATIVE_BIN/$program"
done
[ $WINDOWS = 0 ] || [ -f "$EXE" ] || { say "run.sh: no $EXE: the Windows rows are left out"; WINDOWS=0; }
[ $MICRO = 0 ] || [ -x "$NATIVE_BIN/recmeter_microbench" ] ||
  { lacking "$NATIVE_BIN/recmeter_microbench (libbenchmark-dev)" "no micro-benchmarks"; MICRO=0; }

# ---- data files -------------------------------------------------------------
# One folder per record count; files are made under a temporary name, so an
# interrupted run leaves nothing a later run would take as finished.
make_data_file() {  # make_data_file COUNT -> the folder, holding records.dat
  local dir=$BENCH_DIR/records-$1-$MIN_LEN-$MAX_LEN-s$SEED t0=$SECONDS
  mkdir -p "$dir"
  # A file of an older engine format is made again, with all made from it.
  if [ -f "$dir/records.dat" ] && ! logged "$NATIVE_BIN/recfile" check "$dir/records.dat"; then
    say "$dir/records.dat does not check clean with this engine: making it again"
    rm -f "$dir/records.dat" "$dir/lengths.txt" "$dir/records.sqlite" "$dir/truncate-copy.dat"
  fi
  if [ ! -f "$dir/records.dat" ]; then
    say "making $dir/records.dat ($1 records, $MIN_LEN..$MAX_LEN bytes)"
    rm -f "$dir/records.tmp" "$dir/records.tmp".*
    logged "$NATIVE_BIN/recfile" gen "$dir/records.tmp" --count="$1" \
      --min=$MIN_LEN --max=$MAX_LEN --seed=$SEED || die "recfile gen failed"
    mv "$dir/records.tmp" "$dir/records.dat"
    say "  made in $((SECONDS - t0)) s"
  fi
  # The lengths as the engine reports them, the reference for every check.
  [ -f "$dir/lengths.txt" ] || { "$NATIVE_BIN/recfile" list "$dir/records.dat" | awk '{ print $2 }' >"$dir/lengths.tmp" &&
    mv "$dir/lengths.tmp" "$dir/lengths.txt"; } || die "recfile list failed"
  echo "$dir"
}
dir=$(make_data_file "$RECORDS")
small=$(make_data_file "$SMALL_RECORDS")

# The same records as rows of one BLOB each, random bytes of each length.
SQL_QUERY='SELECT length(data), count(*) FROM r GROUP BY 1'
if [ $SQLITE = 1 ] && [ ! -f "$dir/records.sqlite" ]; then
  say "making $dir/records.sqlite"
  rm -f "$dir/records.sqlite.tmp"
  sqlite3 "$dir/records.sqlite.tmp" <<EOS >>"$LOG" 2>&1 || die "building the SQLite table failed"
PRAGMA journal_mode = OFF;
PRAGMA synchronous = OFF;
CREATE TEMP TABLE lengths(len INTEGER);
.import --schema temp $dir/lengths.txt lengths
CREATE TABLE r(data BLOB);
INSERT INTO r SELECT randomblob(len) FROM temp.lengths ORDER BY rowid;
EOS
  mv "$dir/records.sqlite.tmp" "$dir/records.sqlite"
fi
# /T runs on a copy, so the file the others read stays as it was; the
# records have no trailing filler, so no run makes an Update.
if [ ! -f "$dir/truncate-copy.dat" ]; then
  cp "$dir/records.dat" "$dir/truncate-copy.tmp" && mv "$dir/truncate-copy.tmp" "$dir/truncate-copy.dat" ||
    die "copying records.dat failed"
fi

# Folders of many small files, each with one file of all their records:
# FOLDER/files/fNNNNN.dat and FOLDER/one.dat.
make_folder_of_files() {  # make_folder_of_files FILES RECORDS -> the folder
  local folder=$BENCH_DIR/files-$1x$2-$MIN_LEN-$MAX_LEN t0=$SECONDS i
  if [ ! -f "$folder/made" ]; then
    say "making $folder ($1 files of $2 records, and one of all of them)"
    rm -rf "$folder" && mkdir -p "$folder/files" || die "cannot make $folder"
    for ((i = 1; i <= $1; i++)); do
      "$NATIVE_BIN/recfile" gen "$(printf '%s/files/f%05d.dat' "$folder" "$i")" --count="$2" \
        --min=$MIN_LEN --max=$MAX_LEN --seed="$i" >>"$LOG" 2>&1 || die "recfile gen failed"
    done
    logged "$NATIVE_BIN/recfile" gen "$folder/one.dat" --count=$(( $1 * $2 )) \
      --min=$MIN_LEN --max=$MAX_LEN --seed=$SEED || die "recfile gen failed"
    touch "$folder/made"
    say "  made in $((SECONDS - t0)) s"
  fi
  echo "$folder"
}
files=$(make_folder_of_files "$FILES" 100)
many=$(make_folder_of_files "$MANY" 10)

# ---- wine -------------------------------------------------------------------
# The tests' prefix (made once by scripts/setup-wine.sh, 10-30 s, when
# missing). A wineserver that lingers a minute after its last client keeps
# each run's start short; it ends by itself, so nothing is killed here.
if [ $WINDOWS = 1 ]; then
  export WINEPREFIX=${WINEPREFIX:-$ROOT/build/wine} WINEDEBUG=-all
  bash "$ROOT/scripts/setup-wine.sh" "$LOG" >&2 || die "wineboot failed"
  wineserver -p60 >>"$LOG" 2>&1 || true
fi

# ---- checks -----------------------------------------------------------------
# Each contender's histogram ("LENGTH COUNT" lines, ascending) must be that
# of the lengths recfile listed: times of a wrong answer would be worthless.
# recmeter /C prints "%11u%c, %lu" per distinct length after its totals.
recmeter_histogram() { tr -d '\r' | awk '/^ *[0-9]+[ +], [0-9]+$/ { sub(",", ""); print $1, $2 }'; }
AGREED=
agrees() {  # agrees WHAT NAME FILTER COMMAND...: COMMAND's output in check-NAME.txt
  (cd "$dir" && "${@:4}" >"check-$2.txt" 2>/dev/null) || die "$1 failed"
  $3 <"$dir/check-$2.txt" >"$dir/$2.hist"
  cmp -s "$dir/expected.hist" "$dir/$2.hist" || die "$1: histograms differ ($dir/expected.hist vs $dir/$2.hist)"
  AGREED+="$1, "
}
[ "$(wc -l <"$dir/lengths.txt")" -eq "$RECORDS" ] || die "$dir/lengths.txt does not hold $RECORDS records"
sort -n "$dir/lengths.txt" | uniq -c | awk '{ print $2, $1 }' >"$dir/expected.hist"
agrees "recmeter /C" native recmeter_histogram "$RECMETER" records.dat /C
grep -q "^Total Scanned Record Count: $RECORDS\$" "$dir/check-native.txt" ||
  die "recmeter did not count $RECORDS records (see $dir/check-native.txt)"
[ $WINDOWS = 0 ] || agrees "RECMETER.EXE /C under wine" wine recmeter_histogram wine "$EXE" records.dat /C
[ $SQLITE = 0 ] || agrees SQLite sqlite cat sqlite3 -separator ' ' records.sqlite "$SQL_QUERY"
say "checked: ${AGREED}and recfile list agree on $(wc -l <"$dir/expected.hist") distinct lengths over $RECORDS records"

# ---- timing and memory ------------------------------------------------------
# Each contender runs in the data folder, the page cache warm. Output and the
# spinner go to files, as a logged run: under wine /dev/null is a character
# device, where each spinner write is a round trip to wine's server. Before
# each run, untimed, `sync` writes back what the runs before it left in the
# page cache (a plain scan of 5 GB leaves 135 MB), which would otherwise be
# written back while the next command is being timed.
cat "$dir/records.dat" >/dev/null
[ $SQLITE = 0 ] || cat "$dir/records.sqlite" >/dev/null
CONTENDERS=(-n raw "cat records.dat > /dev/null")
contender() { CONTENDERS+=(-n "$1" "$2 > out-$1.txt 2>err-$1.txt"); }  # contender NAME COMMAND
# The same run twice, for what the Esc test costs: without a controlling
# terminal (the program watches no key), and in a pseudo-terminal made by
# script(1), where it does. Output and spinner go to files in both.
keys_contenders() {  # keys_contenders NAME COMMAND
  CONTENDERS+=(-n "$1" "setsid -w $2 > out-$1.txt 2>err-$1.txt" \
    -n "$1-pty" "script -qec \"$2 > out-$1-pty.txt 2>err-$1-pty.txt\" /dev/null")
}
contender plain "'$RECMETER' records.dat"
contender counted "'$RECMETER' records.dat /C"
contender counted-json "'$RECMETER' records.dat /C /J=out-counted.json"
contender counted-html "'$RECMETER' records.dat /C /J=out-counted.html"
contender truncate "'$RECMETER' truncate-copy.dat /T4"
contender dry-run "'$RECMETER' truncate-copy.dat /T4 /N"
# /U writes a new journal each run: the one before is removed first.
contender truncate-8 "'$RECMETER' truncate-copy.dat /T8"
contender truncate-undo "rm -f out-undo.undo && '$RECMETER' truncate-copy.dat /T8 /U=out-undo.undo"
keys_contenders keys-dry-run "'$RECMETER' truncate-copy.dat /T8 /N"
keys_contenders keys-counted "'$RECMETER' records.dat /C"
contender files "'$RECMETER' '$files/files'"
contender files-one "'$RECMETER' '$files/one.dat'"
[ $SQLITE = 0 ] || contender sqlite "sqlite3 records.sqlite '$SQL_QUERY'"
if [ $WINDOWS = 1 ]; then
  contender wine-files "wine '$EXE' '$files/files'"
  contender wine-files-one "wine '$EXE' '$files/one.dat'"
  # Without a file name the program prints its usage and exits 1.
  CONTENDERS+=(-n wine-start "wine '$EXE' > /dev/null 2>&1 || true")
  contender wine "wine '$EXE' records.dat /C"
  contender wine-plain "wine '$EXE' records.dat"
  keys_contenders wine-keys-dry-run "wine '$EXE' truncate-copy.dat /T8 /N"
  keys_contenders wine-keys-counted "wine '$EXE' records.dat /C"
fi
LOAD_BEFORE=$(cut -d' ' -f1-3 /proc/loadavg)
say "timing $(( ${#CONTENDERS[@]} / 3 )) commands, $RUNS runs each after a warm-up (hyperfine log: $LOG)"
(cd "$dir" && hyperfine --style basic --warmup 1 --runs "$RUNS" --prepare sync \
  --export-json "$BENCH_DIR/last-run.json" "${CONTENDERS[@]}") >>"$LOG" 2>&1 || die "hyperfine failed"

# GNU time's report of one run of recmeter, for its peak resident set.
MEMORY=()
memory() {  # memory NAME FOLDER ARG...
  (cd "$2" && /usr/bin/time -v -o "$BENCH_DIR/memory-$1.txt" "$RECMETER" "${@:3}" >/dev/null 2>&1) ||
    die "recmeter ${*:3} failed"
  MEMORY+=(--memory "$1=$BENCH_DIR/memory-$1.txt")
}
if [ -x /usr/bin/time ]; then
  memory counted "$dir" records.dat /C
  memory plain "$dir" records.dat
  memory small "$small" records.dat /C
  memory many-files "$many" files
  memory many-one "$many" one.dat
fi

python3 "$ROOT/bench/report.py" --times "$BENCH_DIR/last-run.json" --data "$dir" \
  --records "$RECORDS" --small-records "$SMALL_RECORDS" --lengths "$MIN_LEN..$MAX_LEN" \
  --files "$FILES" --many "$MANY" \
  --load "$LOAD_BEFORE" "${MEMORY[@]}" || die "bench/report.py failed"

# ---- micro-benchmarks -------------------------------------------------------
[ $MICRO = 1 ] || exit 0
printf '\nMicro-benchmarks (recmeter_microbench)\n'
"$NATIVE_BIN/recmeter_microbench" --benchmark_min_time=0.2 2>&1 | grep -E '^(BM_|Benchmark|-)' || true
