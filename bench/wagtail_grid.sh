#!/usr/bin/env bash
# The result grid of wagtail against the read limit of the same driver:
# 1,000,000 rows x 8 columns (or KESTREL_BENCH_GRID_ROWS) in SQLite and, when
# the test server runs, PostgreSQL. Each measurement runs
# KESTREL_BENCH_GRID_REPS times (default 3); the median is reported.
# Needs wagtail_grid, odbc_read_limit and odbc_sql built in
# KESTREL_BENCH_BUILD_DIR (default build).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
BIN=${KESTREL_BENCH_BUILD_DIR:-$here/../build}/bin
N=${KESTREL_BENCH_GRID_ROWS:-1000000}
REPS=${KESTREL_BENCH_GRID_REPS:-3}
PG_PORT=${KESTREL_PG_PORT:-55432}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
export ODBCINI=$WORK/odbc.ini
cat >"$ODBCINI" <<INI
[bench_sqlite]
Driver=SQLite3
Database=$WORK/grid.db
Timeout=5000

[bench_pg]
Driver=PostgreSQL ANSI
Servername=127.0.0.1
Port=$PG_PORT
Database=kestrel_test
INI
LONG='The quick brown fox jumps over the lazy dog The quick brown fox jumps over the lazy dog The quick brown fox jumps over the lazy dog The quick brown fox jumps over the lazy dog The quick brown fox jumps over the lazy dog '
TABLE=bench_grid_$N

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
timed() {  # prints seconds of one run of the command; its peak RSS goes to $WORK/rss
  local start end
  start=$(date +%s.%N)
  /usr/bin/time -f %M -o "$WORK/rss" "$@" >"$WORK/last.out"
  end=$(date +%s.%N)
  echo "$end - $start" | bc
}
measure() {  # measure DSN USER PASSWORD
  # The two programs take turns, so that a load on the machine hits both alike.
  local reads=() grids=() readRss gridRss text
  for _ in $(seq "$REPS"); do
    reads+=("$(timed "$BIN/odbc_read_limit" "$1" "$2" "$3" "$TABLE")")
    readRss=$(($(cat "$WORK/rss") / 1024))
    grids+=("$(timed "$BIN/wagtail_grid" "$1" "$2" "$3" "$TABLE")")
    gridRss=$(($(cat "$WORK/rss") / 1024))
  done
  local read grid
  read=$(printf '%s\n' "${reads[@]}" | median)
  grid=$(printf '%s\n' "${grids[@]}" | median)
  text=$(sed 's/.* s, \([0-9.]*\) MB cell text.*/\1/' "$WORK/last.out")
  printf '| %s | %s | %.2f | %.2f | %.2f | %s MB | %s MB | %s MB |\n' "$1" "$N" "$read" "$grid" \
    "$(echo "scale=3; $grid / $read" | bc)" "$readRss" "$gridRss" "$text"
}

echo "| data source | rows | read limit (s) | wagtail grid (s) | ratio | read limit peak RSS | grid peak RSS | cell text held |"
echo "|---|---|---|---|---|---|---|---|"
sqlite3 "$WORK/grid.db" "CREATE TABLE $TABLE (id INTEGER, code VARCHAR(10), note VARCHAR(250),
  qty INTEGER, price DOUBLE, amount DECIMAL(12,2), due_date DATE, changed_at TIMESTAMP);
WITH RECURSIVE seq(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM seq WHERE i < $N)
INSERT INTO $TABLE SELECT 2 * i, printf('C%07d', i), 'Row ' || i || ' ' || substr('$LONG', 1 + i % 97, 100 + i % 130),
  (i * 7919) % 100000, ((i * 37) % 1000000) / 100.0,
  CASE WHEN i % 101 = 0 THEN NULL ELSE ((i * 13) % 10000000) / 100.0 END,
  date('2020-01-01', '+' || (i % 2000) || ' days'),
  datetime('2020-01-01 00:00:00', '+' || ((i * 17) % 50000000) || ' seconds') FROM seq;"
measure bench_sqlite "" ""

if (exec 3<>"/dev/tcp/127.0.0.1/$PG_PORT") 2>/dev/null; then
  cat >"$WORK/pg.sql" <<SQL
DROP TABLE IF EXISTS $TABLE;
CREATE TABLE $TABLE (id INTEGER, code VARCHAR(10), note VARCHAR(250), qty INTEGER,
  price DOUBLE PRECISION, amount DECIMAL(12,2), due_date DATE, changed_at TIMESTAMP);
INSERT INTO $TABLE SELECT 2 * i, 'C' || lpad(i::text, 7, '0'),
  'Row ' || i || ' ' || substr('$LONG', (1 + i % 97)::integer, (100 + i % 130)::integer),
  (i * 7919) % 100000, ((i * 37) % 1000000) / 100.0,
  CASE WHEN i % 101 = 0 THEN NULL ELSE ((i * 13) % 10000000) / 100.0 END,
  date '2020-01-01' + (i % 2000)::integer,
  timestamp '2020-01-01 00:00:00' + ((i * 17) % 50000000) * interval '1 second'
FROM generate_series(1::bigint, $N) AS g(i);
SQL
  "$BIN/odbc_sql" bench_pg kestrel kestrel_pw "$WORK/pg.sql" >/dev/null
  measure bench_pg kestrel kestrel_pw
  echo "DROP TABLE $TABLE;" >"$WORK/drop.sql"
  "$BIN/odbc_sql" bench_pg kestrel kestrel_pw "$WORK/drop.sql" >/dev/null
fi
