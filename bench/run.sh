#!/usr/bin/env bash
# The scan benchmark: how fast recmeter walks a large file, next to a plain
# read of the same file, the same question put to SQLite, and the Windows
# build under wine. One command:
#
#   bash bench/run.sh [--records N] [--runs R] [--no-windows] [--no-sqlite]
#                     [--no-build] [--no-install] [--micro]
#
# Builds what is missing (native preset; windows preset unless --no-windows),
# makes a file of N records (default 1,000,000) with lengths uniform in
# 20..2000 bytes under build/bench/ (reused when present), checks that every
# contender gives the same histogram, then times them with hyperfine (median
# of R runs, default 5, after one warm-up run) and prints the table, the
# ratios against their goals, peak memory and the core count.
#
# --no-build uses the programs as they are; --no-install installs nothing;
# --micro also runs the micro-benchmarks (recmeter_microbench) at the end.
# Environment: WINEPREFIX (default build/wine, as the tests use),
# BENCH_DIR (default build/bench), BENCH_NATIVE_BIN (default build/native/bin).
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"

RECORDS=1000000
RUNS=5
WINDOWS=1
SQLITE=1
BUILD=1
INSTALL=1
MICRO=0
MIN_LEN=20
MAX_LEN=2000
SEED=1

usage() {
  sed -n '2,19p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//' >&2
  exit 2
}

positive() {  # positive NAME VALUE
  [[ $2 =~ ^[1-9][0-9]*$ ]] || { echo "run.sh: $1 needs a positive number, got '$2'" >&2; exit 2; }
}

while [ $# -gt 0 ]; do
  case $1 in
    --records) positive --records "${2-}"; RECORDS=$2; shift 2 ;;
    --records=*) positive --records "${1#*=}"; RECORDS=${1#*=}; shift ;;
    --runs) positive --runs "${2-}"; RUNS=$2; shift 2 ;;
    --runs=*) positive --runs "${1#*=}"; RUNS=${1#*=}; shift ;;
    --no-windows) WINDOWS=0; shift ;;
    --no-sqlite) SQLITE=0; shift ;;
    --no-build) BUILD=0; shift ;;
    --no-install) INSTALL=0; shift ;;
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
mkdir -p "$BENCH_DIR"
: >"$LOG"

say() { printf '%s\n' "$*" >&2; }
die() { say "run.sh: $*"; say "(details in $LOG)"; exit 1; }
logged() { "$@" >>"$LOG" 2>&1; }

# ---- tools ------------------------------------------------------------------
have_package() {
  [ "$(dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null)" = installed ]
}

# hyperfine and GNU time come from Debian; installed when missing and we are
# root. Without hyperfine the timing falls back to a loop in bash.
ensure_tools() {
  local missing=()
  command -v hyperfine >/dev/null || missing+=(hyperfine)
  [ -x /usr/bin/time ] || missing+=(time)
  [ $SQLITE = 0 ] || command -v sqlite3 >/dev/null || missing+=(sqlite3)
  [ ${#missing[@]} -eq 0 ] && return
  if [ $INSTALL = 1 ] && [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null; then
    say "installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    logged apt-get install -y -q --no-install-recommends "${missing[@]}" </dev/null ||
      { logged apt-get update -q && logged apt-get install -y -q --no-install-recommends "${missing[@]}" </dev/null; } ||
      say "could not install ${missing[*]}; going on without"
  fi
  [ -x /usr/bin/time ] || say "no GNU time (/usr/bin/time): no memory figures"
  if [ $SQLITE = 1 ] && ! command -v sqlite3 >/dev/null; then
    say "no sqlite3: the SQLite comparison is left out"
    SQLITE=0
  fi
}

# ---- builds -----------------------------------------------------------------
build_preset() {  # build_preset PRESET TARGET...
  local preset=$1
  shift
  [ -f "build/$preset/CMakeCache.txt" ] || logged cmake --preset "$preset" ||
    return 1
  logged cmake --build --preset "$preset" --target "$@"
}

NATIVE_BIN=${BENCH_NATIVE_BIN:-$ROOT/build/native/bin}
WINDOWS_BIN=$ROOT/build/windows/bin

build_all() {
  if [ $BUILD = 0 ]; then
    local program
    for program in recmeter recfile liblocalengine.so; do
      [ -f "$NATIVE_BIN/$program" ] || die "--no-build: no $NATIVE_BIN/$program"
    done
    if [ $WINDOWS = 1 ] && { [ ! -f "$WINDOWS_BIN/RECMETER.EXE" ] || ! command -v wine >/dev/null; }; then
      say "no $WINDOWS_BIN/RECMETER.EXE or no wine: the Windows run is left out"
      WINDOWS=0
    fi
    return
  fi
  say "building the native preset"
  build_preset native recmeter recfile localengine || die "native build failed"
  if [ $MICRO = 1 ] && ! logged cmake --build --preset native --target recmeter_microbench; then
    say "no recmeter_microbench (Google Benchmark missing? apt-get install libbenchmark-dev)"
  fi
  if [ $WINDOWS = 1 ]; then
    if ! command -v i686-w64-mingw32-g++ >/dev/null || ! command -v wine >/dev/null; then
      say "no mingw-w64 cross compiler or no wine: the Windows run is left out"
      WINDOWS=0
    else
      say "building the windows preset"
      if ! build_preset windows recmeter localengine; then
        # The program alone, without the test targets, in a folder of ours,
        # when the preset's own configuration does not go through.
        say "  the windows preset failed (see $LOG); building the program alone in $BENCH_DIR/windows"
        WINDOWS_BIN=$BENCH_DIR/windows/bin
        { [ -f "$BENCH_DIR/windows/CMakeCache.txt" ] ||
            logged cmake --preset windows -B "$BENCH_DIR/windows" -DRECMETER_BUILD_TESTS=OFF; } &&
          logged cmake --build "$BENCH_DIR/windows" -j 2 --target recmeter localengine ||
          die "windows build failed"
      fi
    fi
  fi
}

# ---- data files -------------------------------------------------------------
# One folder per record count; a file is made under a temporary name and
# renamed when complete, so an interrupted run never leaves a file that a
# later run would take as finished.
data_dir() { echo "$BENCH_DIR/records-$1-$MIN_LEN-$MAX_LEN-s$SEED"; }

make_data_file() {  # make_data_file COUNT -> the folder, holding records.dat
  local dir
  dir=$(data_dir "$1")
  mkdir -p "$dir"
  # A file made by an older engine whose format has changed since is made
  # again, with everything derived from it.
  if [ -f "$dir/records.dat" ] && ! logged "$NATIVE_BIN/recfile" check "$dir/records.dat"; then
    say "$dir/records.dat does not check clean with this engine: making it again"
    rm -f "$dir/records.dat" "$dir/lengths.txt" "$dir/records.sqlite" "$dir/truncate-copy.dat"
  fi
  if [ ! -f "$dir/records.dat" ]; then
    say "making $dir/records.dat ($1 records, $MIN_LEN..$MAX_LEN bytes)"
    rm -f "$dir/records.tmp" "$dir/records.tmp".*
    local t0=$SECONDS
    logged "$NATIVE_BIN/recfile" gen "$dir/records.tmp" --count="$1" \
      --min=$MIN_LEN --max=$MAX_LEN --seed=$SEED || die "recfile gen failed"
    mv "$dir/records.tmp" "$dir/records.dat"
    say "  made in $((SECONDS - t0)) s"
  fi
  # The lengths as the engine reports them, the reference for every check.
  if [ ! -f "$dir/lengths.txt" ]; then
    "$NATIVE_BIN/recfile" list "$dir/records.dat" | awk '{ print $2 }' >"$dir/lengths.tmp" ||
      die "recfile list failed"
    mv "$dir/lengths.tmp" "$dir/lengths.txt"
  fi
  echo "$dir"
}

# The same records as rows of one BLOB each, random bytes of each length.
make_sqlite_db() {  # make_sqlite_db DIR
  local dir=$1
  [ -f "$dir/records.sqlite" ] && return
  say "making $dir/records.sqlite"
  local t0=$SECONDS
  rm -f "$dir/records.sqlite.tmp"
  sqlite3 "$dir/records.sqlite.tmp" <<EOF >>"$LOG" 2>&1 || die "building the SQLite table failed"
PRAGMA journal_mode = OFF;
PRAGMA synchronous = OFF;
CREATE TEMP TABLE lengths(len INTEGER);
.import --schema temp $dir/lengths.txt lengths
CREATE TABLE r(data BLOB);
INSERT INTO r SELECT randomblob(len) FROM temp.lengths ORDER BY rowid;
EOF
  mv "$dir/records.sqlite.tmp" "$dir/records.sqlite"
  say "  made in $((SECONDS - t0)) s"
}

# ---- checks -----------------------------------------------------------------
# Each contender's histogram as "LENGTH COUNT" lines in ascending order.
expected_histogram() { sort -n "$1/lengths.txt" | uniq -c | awk '{ print $2, $1 }'; }
# recmeter /C prints "%11u%c, %lu" per distinct length after its totals.
recmeter_histogram() { tr -d '\r' <"$1" | awk '/^ *[0-9]+[ +], [0-9]+$/ { sub(",", ""); print $1, $2 }'; }
sqlite_histogram() { tr '|' ' ' <"$1"; }

SQL_QUERY='SELECT length(data), count(*) FROM r GROUP BY 1'

check_same() {  # check_same WHAT FILE-A FILE-B
  cmp -s "$2" "$3" || die "$1: histograms differ ($2 vs $3)"
}

# Runs every contender once and compares what it found with the lengths
# recfile listed: timings of a wrong answer would be worthless.
check_outputs() {  # check_outputs DIR
  local dir=$1 count
  count=$(wc -l <"$dir/lengths.txt")
  [ "$count" -eq "$RECORDS" ] || die "$dir holds $count records, expected $RECORDS"
  expected_histogram "$dir" >"$dir/expected.hist"
  (cd "$dir" && "$NATIVE_BIN/recmeter" records.dat /C >check-native.txt 2>/dev/null) ||
    die "recmeter /C failed"
  grep -q "^Total Scanned Record Count: $RECORDS\$" "$dir/check-native.txt" ||
    die "recmeter did not count $RECORDS records (see $dir/check-native.txt)"
  recmeter_histogram "$dir/check-native.txt" >"$dir/native.hist"
  check_same "recmeter /C" "$dir/expected.hist" "$dir/native.hist"
  if [ $SQLITE = 1 ]; then
    sqlite3 "$dir/records.sqlite" "$SQL_QUERY" >"$dir/check-sqlite.txt" || die "SQLite query failed"
    sqlite_histogram "$dir/check-sqlite.txt" >"$dir/sqlite.hist"
    check_same "SQLite" "$dir/expected.hist" "$dir/sqlite.hist"
  fi
  if [ $WINDOWS = 1 ]; then
    (cd "$dir" && wine "$WINDOWS_BIN/RECMETER.EXE" records.dat /C >check-wine.txt 2>/dev/null) ||
      die "RECMETER.EXE /C under wine failed"
    recmeter_histogram "$dir/check-wine.txt" >"$dir/wine.hist"
    check_same "RECMETER.EXE /C under wine" "$dir/expected.hist" "$dir/wine.hist"
  fi
  local who=recmeter
  [ $WINDOWS = 0 ] || who+=", RECMETER.EXE under wine"
  [ $SQLITE = 0 ] || who+=", SQLite"
  say "checked: $who and recfile list agree on $(wc -l <"$dir/expected.hist") distinct lengths over $RECORDS records"
}

# ---- wine -------------------------------------------------------------------
# The tests' prefix is reused (made once, 10-30 s). A wineserver that lingers
# a minute after its last client keeps each run's start short; it ends by
# itself, so nothing is killed here.
prepare_wine() {
  export WINEPREFIX=${WINEPREFIX:-$ROOT/build/wine}
  export WINEDEBUG=-all
  if [ ! -f "$WINEPREFIX/.recmeter-ready" ]; then
    say "making the wine prefix $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    logged wineboot -i </dev/null
    wineserver -w
    touch "$WINEPREFIX/.recmeter-ready"
  fi
  wineserver -p60 >>"$LOG" 2>&1 || true
}

# ---- timing -----------------------------------------------------------------
# Each contender is NAME and a shell command run in the data folder.
NAMES=()
COMMANDS=()
contender() { NAMES+=("$1"); COMMANDS+=("$2"); }

# Fills MEDIAN[NAME] (seconds, wall clock) and CPU[NAME] (mean user + system
# seconds, "-" when unknown) from hyperfine, or from a bash loop without it.
declare -A MEDIAN MINIMUM MAXIMUM CPU
time_all() {  # time_all DIR
  local dir=$1 csv=$BENCH_DIR/last-run.csv i
  if command -v hyperfine >/dev/null; then
    local args=()
    for i in "${!NAMES[@]}"; do args+=(-n "${NAMES[$i]}" "${COMMANDS[$i]}"); done
    (cd "$dir" && hyperfine --style basic --warmup 1 --runs "$RUNS" \
      --export-csv "$csv" "${args[@]}") >>"$LOG" 2>&1 || die "hyperfine failed"
  else
    say "no hyperfine: timing with a loop in bash"
    echo "command,mean,stddev,median,user,system,min,max" >"$csv"
    for i in "${!NAMES[@]}"; do
      local run times=()
      for run in $(seq 0 "$RUNS"); do
        local t0 t1
        t0=$(date +%s%N)
        (cd "$dir" && bash -c "${COMMANDS[$i]}") || die "${NAMES[$i]} failed"
        t1=$(date +%s%N)
        [ "$run" = 0 ] || times+=($((t1 - t0)))  # run 0 warms up
      done
      printf '%s\n' "${times[@]}" | sort -n | awk -v name="${NAMES[$i]}" '
        { t[NR] = $1 / 1e9; sum += t[NR] }
        END { m = NR % 2 ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2
              printf "%s,%f,0,%f,-,-,%f,%f\n", name, sum / NR, m, t[1], t[NR] }' >>"$csv"
    done
  fi
  local name mean median user system minimum maximum rest
  while IFS=, read -r name mean rest; do
    [ "$name" = command ] && continue
    IFS=, read -r _ median user system minimum maximum <<<"$rest"
    MEDIAN[$name]=$median
    if [ "$user" = - ]; then CPU[$name]=-; else CPU[$name]=$(awk -v u="$user" -v s="$system" 'BEGIN { print u + s }'); fi
    MINIMUM[$name]=$minimum
    MAXIMUM[$name]=$maximum
  done <"$csv"
}

# Peak resident set of one run, in KiB; empty without GNU time.
peak_rss_kib() {  # peak_rss_kib DIR COMMAND...
  local dir=$1 report
  shift
  [ -x /usr/bin/time ] || return 0
  report=$(mktemp)
  (cd "$dir" && /usr/bin/time -v -o "$report" "$@" >/dev/null 2>/dev/null) || die "$* failed"
  awk -F': ' '/Maximum resident set size/ { print $2 }' "$report"
  rm -f "$report"
}

# ---- report -----------------------------------------------------------------
mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }
seconds() { if [ "$1" = - ]; then echo -; else awk -v t="$1" 'BEGIN { printf "%.3f s", t }'; fi; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
verdict() {  # verdict VALUE OP LIMIT -> "met" or "MISSED"
  awk -v v="$1" -v op="$2" -v l="$3" 'BEGIN {
    ok = (op == "<=") ? v <= l : v >= l; print ok ? "met" : "MISSED" }'
}
row() {  # row NAME LABEL
  [ -n "${MEDIAN[$1]-}" ] || return 0
  printf '  %-52s %8.3f s  %8s  (min %.3f, max %.3f)\n' "$2" "${MEDIAN[$1]}" \
    "$(seconds "${CPU[$1]}")" "${MINIMUM[$1]}" "${MAXIMUM[$1]}"
}
goal_line() {  # goal_line LABEL VALUE OP LIMIT [CPU-VALUE]
  printf '  %-34s %8s %8s   goal %s %-5s %s\n' "$1" "$2" "${5-}" "$3" "$4" "$(verdict "$2" "$3" "$4")"
}
# A ratio of two timed commands against its goal: judged on the wall-clock
# medians; the ratio of CPU times beside it holds up better on a busy machine.
goal_ratio() {  # goal_ratio LABEL NUMERATOR DENOMINATOR OP LIMIT
  local cpu=-
  [ "${CPU[$2]}" = - ] || [ "${CPU[$3]}" = - ] || cpu=$(ratio "${CPU[$2]}" "${CPU[$3]}")
  goal_line "$1" "$(ratio "${MEDIAN[$2]}" "${MEDIAN[$3]}")" "$4" "$5" "$cpu"
}

main() {
  ensure_tools
  build_all
  local dir small
  dir=$(make_data_file "$RECORDS")
  small=$(make_data_file "$SMALL_RECORDS")
  [ $SQLITE = 0 ] || make_sqlite_db "$dir"
  [ $WINDOWS = 0 ] || prepare_wine
  check_outputs "$dir"

  # A warm page cache for every file that is timed.
  cat "$dir/records.dat" >/dev/null
  [ $SQLITE = 0 ] || cat "$dir/records.sqlite" >/dev/null

  contender raw "cat records.dat > /dev/null"
  # Results and messages (the spinner) both go to files, as a user would log
  # a run: under wine /dev/null is a character device, where each spinner
  # write costs a round trip to wine's server, which is not the program's.
  contender plain "'$NATIVE_BIN/recmeter' records.dat > out-plain.txt 2>err-plain.txt"
  contender counted "'$NATIVE_BIN/recmeter' records.dat /C > out-counted.txt 2>err-counted.txt"
  contender counted-json "'$NATIVE_BIN/recmeter' records.dat /C /J=out-counted.json > out-counted-json.txt 2>err-counted-json.txt"
  # /T on a copy, so the file the others read stays as it was; the records
  # have no trailing filler, so neither run makes an Update.
  if [ ! -f "$dir/truncate-copy.dat" ]; then
    cp "$dir/records.dat" "$dir/truncate-copy.tmp" && mv "$dir/truncate-copy.tmp" "$dir/truncate-copy.dat" ||
      die "copying records.dat failed"
  fi
  contender truncate "'$NATIVE_BIN/recmeter' truncate-copy.dat /T4 > out-truncate.txt 2>err-truncate.txt"
  contender dry-run "'$NATIVE_BIN/recmeter' truncate-copy.dat /T4 /N > out-dry-run.txt 2>err-dry-run.txt"
  if [ $SQLITE = 1 ]; then
    contender sqlite "sqlite3 records.sqlite '$SQL_QUERY' > out-sqlite.txt"
  fi
  if [ $WINDOWS = 1 ]; then
    # Without a file name the program prints its usage and exits 1.
    contender wine-start "wine '$WINDOWS_BIN/RECMETER.EXE' > /dev/null 2>&1 || true"
    contender wine "wine '$WINDOWS_BIN/RECMETER.EXE' records.dat /C > out-wine.txt 2>err-wine.txt"
    contender wine-plain "wine '$WINDOWS_BIN/RECMETER.EXE' records.dat > out-wine-plain.txt 2>err-wine-plain.txt"
  fi
  LOAD_BEFORE=$(cut -d' ' -f1-3 /proc/loadavg)
  say "timing ${#NAMES[@]} commands, $RUNS runs each after a warm-up (hyperfine log: $LOG)"
  time_all "$dir"

  local rss_big rss_small rss_plain
  rss_big=$(peak_rss_kib "$dir" "$NATIVE_BIN/recmeter" records.dat /C)
  rss_plain=$(peak_rss_kib "$dir" "$NATIVE_BIN/recmeter" records.dat)
  rss_small=$(peak_rss_kib "$small" "$NATIVE_BIN/recmeter" records.dat /C)

  local size_mib distinct
  size_mib=$(( $(stat -c %s "$dir/records.dat") / 1048576 ))
  distinct=$(wc -l <"$dir/expected.hist")

  echo
  echo "Recmeter scan benchmark, $(date -u '+%Y-%m-%d %H:%M UTC')"
  echo "  machine: $(nproc) cores ($(awk -F': ' '/model name/ { print $2; exit }' /proc/cpuinfo)), $(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo)"
  echo "  file: $RECORDS records, lengths $MIN_LEN..$MAX_LEN ($distinct distinct), $size_mib MiB, warm page cache"
  echo "  median of $RUNS runs after one warm-up; load average before timing: $LOAD_BEFORE"
  if awk -v l="${LOAD_BEFORE%% *}" -v n="$(nproc)" 'BEGIN { exit !(l > n / 2) }'; then
    echo "  (the machine was busy: other work competes for the cores and the figures are noisy)"
  fi
  echo
  printf '  %-52s %10s  %8s\n' "" "wall" "cpu"
  row raw "raw read (cat FILE > /dev/null)"
  row plain "recmeter FILE"
  row counted "recmeter FILE /C"
  row counted-json "recmeter FILE /C /J=FILE.json"
  row truncate "recmeter COPY /T4"
  row dry-run "recmeter COPY /T4 /N"
  row sqlite "sqlite3: SELECT length(data), count(*) GROUP BY 1"
  row wine-start "wine RECMETER.EXE (usage only: wine's start)"
  row wine "wine RECMETER.EXE FILE /C"
  row wine-plain "wine RECMETER.EXE FILE"
  echo
  printf '  %-34s %8s %8s\n' "Ratios" "wall" "cpu"
  goal_ratio "/C / raw read" counted raw "<=" 1.5
  [ $SQLITE = 0 ] || goal_ratio "SQLite / /C" sqlite counted ">=" 10
  goal_ratio "/C / plain" counted plain "<=" 1.3
  goal_ratio "plain / /C" plain counted "<=" 1.5
  goal_ratio "/C /J / /C" counted-json counted "<=" 1.1
  # No Update is made in either run: the two differ by noise alone.
  goal_ratio "/T /N / /T" dry-run truncate "<=" 1.05
  if [ $WINDOWS = 1 ]; then
    goal_ratio "wine / native (/C)" wine counted "<=" 1.2
    goal_ratio "wine / native (plain)" wine-plain plain "<=" 1.5
    goal_ratio "wine plain / wine /C" wine-plain wine "<=" 1.5
    printf '  %-34s %8s            (wine'"'"'s own start taken off)\n' "(wine - wine start) / native" \
      "$(awk -v w="${MEDIAN[wine]}" -v s="${MEDIAN[wine-start]}" -v n="${MEDIAN[counted]}" 'BEGIN { printf "%.2f", (w - s) / n }')"
  fi
  echo
  echo "Peak resident memory (GNU time, maximum resident set size)"
  if [ -z "$rss_big" ]; then
    echo "  n/a: no /usr/bin/time"
    return
  fi
  goal_line "/C, $RECORDS records (MiB)" "$(mib "$rss_big")" "<=" 16
  printf '  %-34s %8s\n' "/C, $SMALL_RECORDS records (MiB)" "$(mib "$rss_small")"
  printf '  %-34s %8s\n' "plain, $RECORDS records (MiB)" "$(mib "$rss_plain")"
  goal_line "growth, $(ratio "$RECORDS" "$SMALL_RECORDS")x the records" "$(ratio "$rss_big" "$rss_small")" "<=" 1.1
}

run_micro() {
  [ $MICRO = 1 ] || return 0
  if [ ! -x "$NATIVE_BIN/recmeter_microbench" ]; then
    say "no $NATIVE_BIN/recmeter_microbench: micro-benchmarks left out"
    return 0
  fi
  echo
  echo "Micro-benchmarks (recmeter_microbench)"
  "$NATIVE_BIN/recmeter_microbench" --benchmark_min_time=0.2 2>&1 | grep -E '^(BM_|Benchmark|-)' || true
}

main
run_micro
