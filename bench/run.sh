#!/bin/bash
# Runs the whole replication benchmark and writes bench/results/latest.md.
#
#   bench/run.sh
#
# Installs missing packages (scripts/setup.sh), builds the benchmark programs and
# kestrel, starts a PostgreSQL server of its own with fsync=on
# (tests/servers/servers.sh with its own folder and port; stopped at the end),
# writes its own odbc.ini in a temporary folder, generates the tables and runs
# every measurement on every database and size, each several times, restoring
# the target table before every run that changes it (the restore is not timed).
# Both databases keep their default durability: every commit waits for the disk.
#
# Settings (environment):
#   KESTREL_BENCH_SIZES       row counts, default "10000 100000 1000000"
#   KESTREL_BENCH_REPS        runs of each measurement; default 5 below 100,000
#                             rows and 3 from there
#   KESTREL_BENCH_COPY_REPS   runs of the measurements that send a statement for
#                             every row (kestrel initial load and simple copy,
#                             and the naive reload); default as above, but 1
#                             from 100,000 rows
#   KESTREL_BENCH_ROW_COMMIT_MAX  largest size of the measurements that write
#                             every row into an empty table (kestrel initial
#                             load and simple copy), default no limit (a run
#                             commits once, at its end)
#   KESTREL_BENCH_DURABLE     1 (default): the databases' default durability;
#                             0: SQLite with SyncPragma=OFF and PostgreSQL with
#                             fsync=off, which shows the program's own costs
#                             while a run still commits every changed row
#   KESTREL_BENCH_10M         1: also one replication of 10,000,000 rows on
#                             SQLite (read limit and kestrel only, one run
#                             each; about 2 GB per table, 8 GB of disk in all)
#   KESTREL_BENCH_DATABASES   default "sqlite postgresql"
#   KESTREL_BENCH_BUILD_DIR   default build (configured with the defaults when new)
#   KESTREL_BENCH_RESULTS     the Markdown table, default bench/results/latest.md
#   KESTREL_BENCH_SKIP_SETUP  1: do not call scripts/setup.sh
#   KESTREL_BENCH_SKIP_BUILD  1: use the programs already in the build folder
#   KESTREL_BENCH_PG_PORT     port of the benchmark's PostgreSQL server,
#                             default 55433 (55434 with KESTREL_BENCH_DURABLE=0)
#   KESTREL_BENCH_PG_DIR      its data folder, default
#                             $TMPDIR/kestrel-bench-pg-fsync-on (or -off)
#   KESTREL_BENCH_PROFILE     a folder: the read limit and the kestrel
#                             replication with 3% differences run once more,
#                             untimed, under perf record; the flat profile of
#                             each (perf report by library and function) is
#                             written there as DB-N-WHAT.txt (needs perf,
#                             Debian's linux-perf)
#
# Exit status 0 when every measurement that is available ran and left the
# target equal to the source, 1 otherwise.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${KESTREL_BENCH_BUILD_DIR:-$ROOT/build}
SIZES=${KESTREL_BENCH_SIZES:-10000 100000 1000000}
DATABASES=${KESTREL_BENCH_DATABASES:-sqlite postgresql}
RESULTS=${KESTREL_BENCH_RESULTS:-$ROOT/bench/results/latest.md}
DURABLE=${KESTREL_BENCH_DURABLE:-1}
if [ "$DURABLE" = 1 ]; then
  PG_FSYNC=on SQLITE_SYNC='' PG_DEFAULT_PORT=55433
  DURABILITY="SQLite with the driver's default sync, PostgreSQL with fsync=on"
else
  PG_FSYNC=off SQLITE_SYNC='SyncPragma=OFF' PG_DEFAULT_PORT=55434
  DURABILITY="not durable: SQLite with SyncPragma=OFF, PostgreSQL with fsync=off"
fi
PG_PORT=${KESTREL_BENCH_PG_PORT:-$PG_DEFAULT_PORT}
PG_DIR=${KESTREL_BENCH_PG_DIR:-${TMPDIR:-/tmp}/kestrel-bench-pg-fsync-$PG_FSYNC}
ROW_COMMIT_MAX=${KESTREL_BENCH_ROW_COMMIT_MAX:-1000000000}
PROFILE_DIR=${KESTREL_BENCH_PROFILE:-}
TEN_MILLION=${KESTREL_BENCH_10M:-0}
PG_USER=kestrel
PG_PASSWORD=kestrel_pw
BIN=$BUILD/bin

log() { echo "bench: $*" >&2; }
die() {
  log "$*"
  exit 1
}

# --- packages, build, server -------------------------------------------------

if [ "${KESTREL_BENCH_SKIP_SETUP:-0}" != 1 ]; then
  "$ROOT/scripts/setup.sh"
fi
[ -x /usr/bin/time ] || die "/usr/bin/time is missing (scripts/setup.sh installs it)"
if [ -n "$PROFILE_DIR" ]; then
  command -v perf >/dev/null || die "KESTREL_BENCH_PROFILE needs perf (apt-get install linux-perf)"
  mkdir -p "$PROFILE_DIR"
  PROFILE_DIR=$(cd "$PROFILE_DIR" && pwd)
fi

if [ "${KESTREL_BENCH_SKIP_BUILD:-0}" != 1 ]; then
  if [ ! -f "$BUILD/build.ninja" ] && [ ! -f "$BUILD/Makefile" ]; then
    cmake -S "$ROOT" -B "$BUILD" -G Ninja >/dev/null
  fi
  cmake --build "$BUILD" -j2 --target odbc_read_limit odbc_reload odbc_sql
  # kestrel needs Qt; when it is not part of this build its rows say so.
  cmake --build "$BUILD" -j2 --target kestrel || log "kestrel did not build; its rows are skipped"
fi

for db in $DATABASES; do
  case $db in
    sqlite) ;;
    postgresql)
      KESTREL_SERVERS_DIR=$PG_DIR KESTREL_PG_PORT=$PG_PORT KESTREL_PG_FSYNC=$PG_FSYNC \
        "$ROOT/tests/servers/servers.sh" start postgresql
      ;;
    *) die "unknown database '$db' in KESTREL_BENCH_DATABASES (sqlite, postgresql)" ;;
  esac
done

WORK=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-bench-XXXXXX")
ODBCINI=$WORK/odbc.ini
export ODBCINI
# kestrel's stored options stay in the work folder, never in the user's profile.
XDG_CONFIG_HOME=$WORK/config
export XDG_CONFIG_HOME
mkdir -p "$XDG_CONFIG_HOME"
# The DSNs as a user writes them, with the keys that make both drivers stream
# a result set instead of holding all of it: StepAPI=1 (SQLite), and
# UseDeclareFetch=1 with Fetch rows per round trip (psqlODBC). The durability
# stays the drivers' and servers' default unless KESTREL_BENCH_DURABLE=0.
cat >"$ODBCINI" <<EOF
[kb_sqlite]
Driver=SQLite3
Database=$WORK/bench.db
Timeout=5000
StepAPI=1
$SQLITE_SYNC

# The simple copy's source within the same file: a stepping SELECT keeps
# the file's shared lock while the copy's other connection writes, which
# then fails with "database is locked"; this DSN reads the result whole.
[kb_sqlite_whole]
Driver=SQLite3
Database=$WORK/bench.db
Timeout=5000
$SQLITE_SYNC

[kb_postgresql]
Driver=PostgreSQL ANSI
Servername=127.0.0.1
Port=$PG_PORT
Database=kestrel_test
UseDeclareFetch=1
Fetch=10000
EOF

# --- per-database connection and dialect ---------------------------------------

DB=
DSN=
COPY_SOURCE_DSN=
DB_USER=
DB_PASSWORD=
use_database() {
  DB=$1
  case $DB in
    sqlite) DSN=kb_sqlite COPY_SOURCE_DSN=kb_sqlite_whole DB_USER='' DB_PASSWORD='' ;;
    postgresql)
      DSN=kb_postgresql COPY_SOURCE_DSN=kb_postgresql DB_USER=$PG_USER DB_PASSWORD=$PG_PASSWORD
      ;;
  esac
}

# sql FILE [--autocommit]: runs a SQL file through the benchmark's DSN.
sql() { "$BIN/odbc_sql" "$DSN" "$DB_USER" "$DB_PASSWORD" "$@"; }

# sql_text [--autocommit] <<< "statements": the same for a text.
sql_text() {
  local file=$WORK/statements.sql
  cat >"$file"
  sql "$file" "$@"
}

COLUMNS_LIST="id, code, note, qty, price, amount, due_date, changed_at"
NON_KEY_COLUMNS="code note qty price amount due_date changed_at"
# Long text values are slices of this, 100 to 229 characters.
LONG_TEXT=$(printf 'The quick brown fox jumps over the lazy dog %.0s' {1..10})

# SQLite can only declare the key with the table (INTEGER PRIMARY KEY, the row id);
# PostgreSQL gets it after the table is filled, which is faster than keeping it.
create_table() {  # create_table NAME
  local double=DOUBLE key=" PRIMARY KEY"
  if [ "$DB" = postgresql ]; then
    double="DOUBLE PRECISION"
    key=""
  fi
  echo "DROP TABLE IF EXISTS $1;"
  echo "CREATE TABLE $1 (id INTEGER NOT NULL$key, code VARCHAR(10), note VARCHAR(250),"
  echo "  qty INTEGER, price $double, amount DECIMAL(12,2), due_date DATE, changed_at TIMESTAMP);"
}

add_key() {  # add_key NAME: after create_table and filling the table
  if [ "$DB" = postgresql ]; then
    echo "ALTER TABLE $1 ADD PRIMARY KEY (id);"
  fi
}

# generated_rows N KEY CONDITION: SELECT of rows i = 1..N whose CONDITION holds,
# with key KEY (an expression of i) and every other value computed from i.
generated_rows() {
  local n=$1 key=$2 condition=$3
  if [ "$DB" = sqlite ]; then
    cat <<EOF
WITH RECURSIVE seq(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM seq WHERE i < $n)
SELECT $key, printf('C%07d', i), 'Row ' || i || ' ' || substr('$LONG_TEXT', 1 + i % 97, 100 + i % 130),
  (i * 7919) % 100000, ((i * 37) % 1000000) / 100.0,
  CASE WHEN i % 101 = 0 THEN NULL ELSE ((i * 13) % 10000000) / 100.0 END,
  date('2020-01-01', '+' || (i % 2000) || ' days'),
  datetime('2020-01-01 00:00:00', '+' || ((i * 17) % 50000000) || ' seconds')
FROM seq WHERE $condition
EOF
  else
    cat <<EOF
SELECT $key, 'C' || lpad(i::text, 7, '0'),
  'Row ' || i || ' ' || substr('$LONG_TEXT', (1 + i % 97)::integer, (100 + i % 130)::integer),
  (i * 7919) % 100000, ((i * 37) % 1000000) / 100.0,
  CASE WHEN i % 101 = 0 THEN NULL ELSE ((i * 13) % 10000000) / 100.0 END,
  date '2020-01-01' + (i % 2000)::integer,
  timestamp '2020-01-01 00:00:00' + ((i * 17) % 50000000) * interval '1 second'
FROM generate_series(1::bigint, $n) AS g(i) WHERE $condition
EOF
  fi
}

# The source holds N rows with the even keys 2..2N. A pristine target differs
# from it in one row of every M so that a sync has to insert (rows i % M = 1
# are missing), update (rows i % M = 2 carry other qty, note and changed_at
# values) and delete (rows i % M = 3 exist once more with the odd key 2i + 1):
# bench_base_N with M = 100 (3% of the rows differ), bench_base10_N with
# M = 30 (10%).
base_target() {  # base_target N TABLE M
  local n=$1 t=$2 m=$3 shift_back
  if [ "$DB" = sqlite ]; then
    shift_back="datetime(changed_at, '-1 day')"
  else
    shift_back="changed_at - interval '1 day'"
  fi
  create_table "$t"
  echo "INSERT INTO $t ($COLUMNS_LIST)"
  echo "SELECT $COLUMNS_LIST FROM bench_src_$n WHERE (id / 2) % $m <> 1;"
  echo "UPDATE $t SET qty = qty + 1, note = 'Old ' || note,"
  echo "  changed_at = $shift_back WHERE (id / 2) % $m = 2;"
  echo "INSERT INTO $t ($COLUMNS_LIST)"
  generated_rows "$n" "2 * i + 1" "i % $m = 3"
  echo ";"
  add_key "$t"
}

generate() {  # generate N [small]: small leaves out the 10% target
  local n=$1
  {
    create_table "bench_src_$n"
    echo "INSERT INTO bench_src_$n ($COLUMNS_LIST)"
    generated_rows "$n" "2 * i" "1 = 1"
    echo ";"
    add_key "bench_src_$n"
    base_target "$n" "bench_base_$n" 100
    [ "${2:-}" = small ] || base_target "$n" "bench_base10_$n" 30
  } | sql_text
  if [ "$DB" = postgresql ]; then
    printf 'VACUUM ANALYZE bench_%s_%s;\n' src "$n" base "$n" base10 "$n" | sql_text --autocommit
  fi
}

# Puts the target back into its pristine state: a fresh table, no dead rows.
restore_from() {  # restore_from N BASE
  local n=$1
  {
    create_table "bench_dst_$n"
    echo "INSERT INTO bench_dst_$n ($COLUMNS_LIST) SELECT $COLUMNS_LIST FROM $2;"
    add_key "bench_dst_$n"
    if [ "$DB" = postgresql ]; then echo "VACUUM ANALYZE bench_dst_$n;"; fi
  } | sql_text --autocommit
}
restore_target() { restore_from "$1" "bench_base_$1"; }      # 3% differ
restore_target_10() { restore_from "$1" "bench_base10_$1"; }  # 10% differ

restore_copy_target() {  # restore_copy_target N: the empty target of the simple copy
  {
    create_table "bench_copy_$1"
    add_key "bench_copy_$1"
  } | sql_text --autocommit
}

# The set-based sync of the target from the source in one database: the lower
# bound for a replication (run in one transaction by odbc_sql).
write_set_based_sync() {  # write_set_based_sync N FILE
  local n=$1 src=bench_src_$1 dst=bench_dst_$1 differs='IS NOT' assignments='' changed=''
  [ "$DB" = postgresql ] && differs="IS DISTINCT FROM"
  for c in $NON_KEY_COLUMNS; do
    assignments+="${assignments:+, }$c = s.$c"
    changed+="${changed:+ OR }$dst.$c $differs s.$c"
  done
  cat >"$2" <<EOF
DELETE FROM $dst WHERE NOT EXISTS (SELECT 1 FROM $src s WHERE s.id = $dst.id);
UPDATE $dst SET $assignments FROM $src s WHERE s.id = $dst.id AND ($changed);
INSERT INTO $dst ($COLUMNS_LIST) SELECT $COLUMNS_LIST FROM $src s
  WHERE NOT EXISTS (SELECT 1 FROM $dst d WHERE d.id = s.id);
EOF
}

# Prints the number of rows by which TABLE differs from the source (0: equal).
# SQLite keeps dates as the text they were written with, so they are compared
# as dates; numbers compare by value in both databases.
differing_rows() {  # differing_rows N TABLE
  local n=$1 t=$2 cols=$COLUMNS_LIST
  [ "$DB" = sqlite ] &&
    cols="id, code, note, qty, price, amount, date(due_date), datetime(changed_at)"
  sql_text <<EOF
SELECT (SELECT COUNT(*) FROM (SELECT $cols FROM bench_src_$n EXCEPT SELECT $cols FROM $t) a)
     + (SELECT COUNT(*) FROM (SELECT $cols FROM $t EXCEPT SELECT $cols FROM bench_src_$n) b)
     + (SELECT ABS((SELECT COUNT(*) FROM bench_src_$n) - (SELECT COUNT(*) FROM $t)));
EOF
}

# --- kestrel scripts ----------------------------------------------------------

# write_kestrel_script N replicate|copy FILE [TARGET]: TARGET defaults to
# bench_dst_N for a replication and bench_copy_N for a copy.
write_kestrel_script() {
  local n=$1 kind=$2 target=${4:-} credentials=
  [ -n "$DB_USER" ] && credentials=" USERID='$DB_USER' PASSWORD='$DB_PASSWORD'"
  {
    if [ "$kind" = replicate ]; then
      echo "* Replication by key: update changed rows, delete missing ones, insert new ones."
      echo "COPYDEFINITION: BENCH_REPLICATE_$n"
      echo "  FROM '$DSN' TABLE='bench_src_$n'$credentials"
      echo "  TO '$DSN' TABLE='${target:-bench_dst_$n}'$credentials UPDATE=KEYS"
    else
      echo "* Simple copy of every source row into an empty table."
      echo "COPYDEFINITION: BENCH_COPY_$n"
      echo "  FROM '$COPY_SOURCE_DSN' TABLE='bench_src_$n'$credentials REPLICATE=NO"
      echo "  TO '$DSN' TABLE='${target:-bench_copy_$n}'$credentials"
    fi
    echo "  COPY 'id' KEY=YES"
    for c in $NON_KEY_COLUMNS; do echo "  COPY '$c'"; done
  } >"$3"
}

kestrel_available() {
  [ -x "$BIN/kestrel" ] || return 1
  # The batch mode exits 2 with "not available yet" until the copy engine is in.
  local out rc=0
  out=$("$BIN/kestrel" --batch "ScriptFile=$WORK/none.txt" 2>&1) || rc=$?
  ! { [ "$rc" -eq 2 ] && grep -q "not available" <<<"$out"; }
}

# --- measuring ----------------------------------------------------------------

ROWS_FILE=$WORK/rows.tsv
: >"$ROWS_FILE"
FAILURES=0

# measure N LABEL PREPARE CHECK -- command...
# Runs the command REPS times under /usr/bin/time -v, calling PREPARE and sync (untimed)
# before each run, and CHECK (a table name whose contents must then equal the
# source, or "-") after the first run. Appends one line to ROWS_FILE:
# db, N, label, status, median, min, max, peak RSS kB, notes.
measure() {
  local n=$1 label=$2 prepare=$3 check=$4
  shift 5
  local times=() rss=0 notes='' status=ok rep out=$WORK/out.txt err=$WORK/err.txt tv=$WORK/time.txt
  for ((rep = 1; rep <= REPS; rep++)); do
    [ "$prepare" = - ] || $prepare "$n"
    # The gigabytes that generating and restoring wrote would otherwise still be
    # going to the disk during the run, and its commit would wait behind them.
    sync
    local t0 t1 rc=0
    t0=$(date +%s%N)
    /usr/bin/time -v -o "$tv" "$@" >"$out" 2>"$err" || rc=$?
    t1=$(date +%s%N)
    if [ "$rc" -ne 0 ]; then
      status=failed
      # The error is the last line on standard error, or, for kestrel, whose log
      # goes to standard output, the last line there.
      local last
      last=$(grep -v '^[[:space:]]*$' "$err" | tail -n 1 || true)
      [ -n "$last" ] || last=$(grep -v '^[[:space:]]*$' "$out" | tail -n 1 || true)
      notes="exit $rc: $(tr '\t|' '  ' <<<"$last")"
      log "$DB $n $label failed: $(cat "$err")"
      break
    fi
    times+=("$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", (b - a) / 1e9 }')")
    local r
    r=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$tv")
    [ "${r:-0}" -gt "$rss" ] && rss=$r
    if [ "$rep" -eq 1 ]; then
      local hash
      hash=$(grep -o 'Hash statistics:.*' "$out" | head -n 1 || true)
      [ -n "$hash" ] && notes=$(tr '|' ' ' <<<"$hash")
      if [ "$check" != - ]; then
        local diff
        diff=$(differing_rows "$n" "$check")
        if [ "$diff" = 0 ]; then
          notes="${notes:+$notes; }target equals source"
        else
          status=failed
          notes="${notes:+$notes; }target differs from source in $diff rows"
        fi
      fi
    fi
    log "$DB $n $label run $rep: ${times[-1]} s, ${r} kB"
  done
  [ "$status" = ok ] || FAILURES=$((FAILURES + 1))
  if [ "$status" = ok ]; then profile "$n" "$label" "$prepare" "$@"; fi
  local stats="- - -"
  if [ "${#times[@]}" -gt 0 ]; then
    stats=$(printf '%s\n' "${times[@]}" | sort -g | awk '
      { v[NR] = $1 }
      END { m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
            printf "%.3f %.3f %.3f", m, v[1], v[NR] }')
  fi
  # shellcheck disable=SC2086
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$DB" "$n" "$label" "$status" \
    "${#times[@]}" $stats "$rss" "$notes" >>"$ROWS_FILE"
}

# profile N LABEL PREPARE command...: with KESTREL_BENCH_PROFILE, one more run
# of the read limit or the 3% replication under perf record (sampled, so the
# program runs at nearly its own speed), reported by library and function.
profile() {
  local n=$1 label=$2 prepare=$3 name
  shift 3
  [ -n "$PROFILE_DIR" ] || return 0
  case $label in
    "read limit"*) name=read-limit ;;
    "kestrel replication, 3% differ") name=replication-3pct ;;
    *) return 0 ;;
  esac
  [ "$prepare" = - ] || $prepare "$n"
  local data=$WORK/perf.data report=$PROFILE_DIR/$DB-$n-$name.txt
  if perf record -F 499 -o "$data" -- "$@" >/dev/null 2>"$WORK/perf.err"; then
    {
      echo "# $DB, $n rows, $label: perf record -F 499, perf report by library and function"
      perf report -i "$data" --stdio --no-children --sort dso,sym --percent-limit 0.3 2>/dev/null |
        grep -v '^#' | grep -v '^$'
    } >"$report"
    log "$DB $n $label: profile in $report"
  else
    log "$DB $n $label: perf record failed: $(tail -n 1 "$WORK/perf.err")"
  fi
  rm -f "$data"
}

not_available() {  # not_available N LABEL REASON
  printf '%s\t%s\t%s\tnot available\t0\t-\t-\t-\t-\t%s\n' "$DB" "$1" "$2" "$3" >>"$ROWS_FILE"
}

cleanup() {
  local db
  if [[ " $DATABASES " == *" postgresql "* ]] && [ -x "$BIN/odbc_sql" ]; then
    use_database postgresql
    for n in $SIZES; do
      printf 'DROP TABLE IF EXISTS bench_%s_%s;\n' src "$n" base "$n" base10 "$n" dst "$n" \
        copy "$n"
    done | sql_text --autocommit >/dev/null 2>&1 || true
    KESTREL_SERVERS_DIR=$PG_DIR KESTREL_PG_PORT=$PG_PORT \
      "$ROOT/tests/servers/servers.sh" stop postgresql >/dev/null 2>&1 || true
  fi
  rm -rf "$WORK"
}
trap cleanup EXIT

reps_for() {  # reps_for N [copy]
  if [ "${2:-}" = copy ] && [ -n "${KESTREL_BENCH_COPY_REPS:-}" ]; then
    echo "$KESTREL_BENCH_COPY_REPS"
  elif [ "${2:-}" = copy ] && [ "$1" -ge 100000 ]; then
    echo 1
  elif [ -n "${KESTREL_BENCH_REPS:-}" ]; then
    echo "$KESTREL_BENCH_REPS"
  elif [ "$1" -ge 100000 ]; then
    echo 3
  else
    echo 5
  fi
}

KESTREL_READY=0
kestrel_available && KESTREL_READY=1
STARTED=$(date -u '+%Y-%m-%d %H:%M UTC')
LOAD_BEFORE=$(cut -d' ' -f1-3 /proc/loadavg)
SECONDS=0

# kestrel in batch mode with the default options, the hash statistics line on.
KESTREL_BATCH=("$BIN/kestrel" --batch DebugMode=1 "TempFile=$WORK/kestrel.tmp")

drop_tables() {  # drop_tables N
  printf 'DROP TABLE IF EXISTS bench_%s_%s;\n' dst "$1" base "$1" base10 "$1" copy "$1" \
    src "$1" | sql_text --autocommit
}

for db in $DATABASES; do
  use_database "$db"
  for n in $SIZES; do
    REPS=$(reps_for "$n")
    log "$DB, $n rows: generating"
    generated_at=$SECONDS
    generate "$n"
    restore_target "$n"
    log "$DB, $n rows: generated in $((SECONDS - generated_at)) s"

    # Both tables are only read, so the target needs no restore between runs.
    measure "$n" "read limit (odbc_read_limit)" - - -- \
      "$BIN/odbc_read_limit" "$DSN" "$DB_USER" "$DB_PASSWORD" "bench_src_$n" "bench_dst_$n"

    write_kestrel_script "$n" replicate "$WORK/replicate_$n.txt"
    write_kestrel_script "$n" replicate "$WORK/load_$n.txt" "bench_copy_$n"
    write_kestrel_script "$n" copy "$WORK/copy_$n.txt"
    if [ "$KESTREL_READY" = 1 ]; then
      measure "$n" "kestrel replication, 3% differ" restore_target "bench_dst_$n" -- \
        "${KESTREL_BATCH[@]}" "ScriptFile=$WORK/replicate_$n.txt"
      measure "$n" "kestrel replication, 10% differ" restore_target_10 "bench_dst_$n" -- \
        "${KESTREL_BATCH[@]}" "ScriptFile=$WORK/replicate_$n.txt"
      if [ "$n" -le "$ROW_COMMIT_MAX" ]; then
        REPS=$(reps_for "$n" copy)
        measure "$n" "kestrel initial load (replication into an empty table)" \
          restore_copy_target "bench_copy_$n" -- "${KESTREL_BATCH[@]}" "ScriptFile=$WORK/load_$n.txt"
        measure "$n" "kestrel simple copy" restore_copy_target "bench_copy_$n" -- \
          "${KESTREL_BATCH[@]}" "ScriptFile=$WORK/copy_$n.txt"
        REPS=$(reps_for "$n")
      else
        for what in "kestrel initial load (replication into an empty table)" \
          "kestrel simple copy"; do
          not_available "$n" "$what" \
            "not run: larger than KESTREL_BENCH_ROW_COMMIT_MAX=$ROW_COMMIT_MAX"
        done
      fi
    else
      not_available "$n" "kestrel replication, 3% differ" "kestrel --batch not available yet"
      not_available "$n" "kestrel simple copy" "kestrel --batch not available yet"
    fi

    REPS=$(reps_for "$n" copy)
    measure "$n" "naive full reload (odbc_reload)" restore_target "bench_dst_$n" -- \
      "$BIN/odbc_reload" "$DSN" "$DB_USER" "$DB_PASSWORD" "bench_src_$n" "bench_dst_$n"
    REPS=$(reps_for "$n")

    write_set_based_sync "$n" "$WORK/sync_$n.sql"
    measure "$n" "set-based SQL sync (odbc_sql)" restore_target "bench_dst_$n" -- \
      "$BIN/odbc_sql" "$DSN" "$DB_USER" "$DB_PASSWORD" "$WORK/sync_$n.sql"

    drop_tables "$n"
  done
done

# One replication of 10,000,000 rows on SQLite, to show how time and memory
# grow past the sizes above.
if [ "$TEN_MILLION" = 1 ] && [[ " $DATABASES " == *" sqlite "* ]] && [ "$KESTREL_READY" = 1 ]; then
  use_database sqlite
  n=10000000
  REPS=1
  log "$DB, $n rows: generating"
  generated_at=$SECONDS
  generate "$n" small
  restore_target "$n"
  log "$DB, $n rows: generated in $((SECONDS - generated_at)) s"
  measure "$n" "read limit (odbc_read_limit)" - - -- \
    "$BIN/odbc_read_limit" "$DSN" "$DB_USER" "$DB_PASSWORD" "bench_src_$n" "bench_dst_$n"
  write_kestrel_script "$n" replicate "$WORK/replicate_$n.txt"
  measure "$n" "kestrel replication, 3% differ" restore_target "bench_dst_$n" -- \
    "${KESTREL_BATCH[@]}" "ScriptFile=$WORK/replicate_$n.txt"
  drop_tables "$n"
  SIZES="$SIZES $n (SQLite)"
fi

# --- the table ------------------------------------------------------------------

cpu=$(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo)
memory=$(awk '/^MemTotal/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo)
sqlite_version=$(sqlite3 --version 2>/dev/null | awk '{ print $1 }')
pg_version=$(psql --version 2>/dev/null | awk '{ print $3 }')
mkdir -p "$(dirname "$RESULTS")"
{
  echo "- Machine: $cpu, $(nproc) cores, $memory memory, $(uname -sr); the cores are"
  echo "  shared with other processes (load average over 1, 5, 15 min before the run:"
  echo "  $LOAD_BEFORE; after: $(cut -d' ' -f1-3 /proc/loadavg))."
  echo "- Run: $STARTED, $((SECONDS / 60)) min $((SECONDS % 60)) s in all; sizes $SIZES."
  echo "- Databases: SQLite ${sqlite_version:-?} (file in ${TMPDIR:-/tmp}, StepAPI=1);"
  echo "  PostgreSQL ${pg_version:-?}, a server of the benchmark's own on loopback"
  echo "  (UseDeclareFetch=1, Fetch=10000). Durability: $DURABILITY."
  echo
  echo "Times are wall seconds of the whole process (connect included); × read limit is"
  echo "the median divided by the read limit's median on the same database and size;"
  echo "rows/s is source rows per median second; peak RSS is the largest maximum"
  echo "resident set of the process over the runs (/usr/bin/time -v)."
  echo
  echo "| Database | Rows | Measurement | Runs | Median s | Min s | Max s | × read limit | Rows/s | Peak RSS MiB | Notes |"
  echo "|---|---:|---|---:|---:|---:|---:|---:|---:|---:|---|"
  awk -F'\t' '
    $3 ~ /^read limit/ && $4 == "ok" { limit[$1 "/" $2] = $6 }
    { line[NR] = $0 }
    END {
      for (i = 1; i <= NR; i++) {
        split(line[i], f, "\t")
        if (f[4] != "ok") {
          printf "| %s | %s | %s | %s | %s | | | | | | %s |\n", f[1], f[2], f[3], f[5], f[4], f[10]
          continue
        }
        base = limit[f[1] "/" f[2]]
        ratio = base > 0 ? sprintf("%.2f", f[6] / base) : "-"
        rate = f[6] > 0 ? sprintf("%d", f[2] / f[6]) : "-"
        printf "| %s | %s | %s | %s | %.3f | %.3f | %.3f | %s | %s | %.1f | %s |\n",
          f[1], f[2], f[3], f[5], f[6], f[7], f[8], ratio, rate, f[9] / 1024, f[10]
      }
    }' "$ROWS_FILE"
} >"$RESULTS.tmp"
mv "$RESULTS.tmp" "$RESULTS"
cat "$RESULTS"

if [ "$FAILURES" -ne 0 ]; then
  log "$FAILURES measurement(s) failed"
  exit 1
fi
