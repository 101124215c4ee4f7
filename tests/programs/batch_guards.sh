#!/usr/bin/env bash
# kestrel --batch guarding its runs and its output: two processes replicating
# into one target at once (the second waits for the first, no row twice),
# one SIGTERM ending a run that is stuck in a driver call, a device refused
# as a script, passwords masked in the listing, --check and a refused
# parameter-file line, and a log file made for its owner only.
set -u
. "$(dirname "$0")/lib/sandbox.sh"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill -KILL "$p" 2>/dev/null; done
  sandbox_cleanup
}
trap cleanup EXIT
mkdir -p "$work/temp"

# waitFor <file> <text> [pid]: up to 30 seconds until the file holds the
# text; gives up early when the process has ended.
waitFor() {
  local i
  for ((i = 0; i < 300; i++)); do
    grep -qF -- "$2" "$1" 2>/dev/null && return 0
    [ -n "${3:-}" ] && ! kill -0 "$3" 2>/dev/null && return 1
    sleep 0.1
  done
  return 1
}
# has <file> <text> <what>
has() { grep -qF -- "$2" "$1" || fail "$3: no '$2' in"$'\n'"$(cat "$1")"; }
lacks() { ! grep -qF -- "$2" "$1" || fail "$3: unexpected '$2' in"$'\n'"$(cat "$1")"; }

sqlite3 src.db "CREATE TABLE A (K INTEGER, NAME VARCHAR(20));
  WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000)
  INSERT INTO A SELECT i, 'name ' || i FROM n;"
sqlite3 dst.db "CREATE TABLE B (K INTEGER, NAME VARCHAR(20));"
server_up() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
port=${KESTREL_PG_PORT:-55432}
pg=0
if server_up "$port"; then
  pg=1
  cat >>odbc.ini <<INI

[PG]
Driver=PostgreSQL ANSI
Servername=127.0.0.1
Port=$port
Database=kestrel_test
Username=kestrel
Password=kestrel_pw
INI
else
  [ "${KESTREL_REQUIRE_SERVERS:-0}" = 1 ] && fail "no PostgreSQL server on port $port"
  echo "skipped the PostgreSQL cases: no server on port $port"
fi
# replication <target data source> <table>: the script of a replication of A.
replication() {
  printf 'COPYDEFINITION: R\n  FROM SRC TABLE=A\n  TO %s TABLE=%s UPDATE=KEYS\n%s' "$1" "$2" \
    '  COPY K KEY=YES
  COPY NAME
'
}
# batchRun <script> &: a run in the background; exec, so that $! is kestrel's
# own process id.
batchRun() { exec "$bin/kestrel" --batch "ScriptFile=$1" "TempFile=$work/temp/k-%p.tmp"; }

# Two runs started together into one SQLite target without a unique key:
# whatever the order, no row arrives twice.
replication DST B >together.txt
batchRun together.txt >one.out 2>&1 &
one=$!
batchRun together.txt >two.out 2>&1 &
two=$!
pids+=("$one" "$two")
wait "$one"
rcOne=$?
wait "$two"
rcTwo=$?
[ "$rcOne" -eq 0 ] || [ "$rcTwo" -eq 0 ] || fail "neither run succeeded"$'\n'"$(cat one.out two.out)"
rows=$(sqlite3 dst.db "SELECT COUNT(*) || ' ' || COUNT(DISTINCT K) FROM B")
[ "$rows" = "3000 3000" ] || fail "rows in the SQLite target after two runs: $rows"

# The same into PostgreSQL, in a fixed order: the first run is held
# (SIGSTOP) once it has the target and waits in its source's SELECT; the
# second must wait for it instead of inserting the same rows, and finds them
# all there when its turn comes.
if [ "$pg" = 1 ]; then
  table="kt_guard_$$"
  pgsql() { isql -b PG kestrel kestrel_pw <<<"$1" >/dev/null 2>&1; }
  # isql takes one statement per line.
  pgsql "CREATE TABLE ${table}_src AS SELECT i AS \"K\", 'name ' || i AS \"NAME\" FROM generate_series(1, 3000) AS i" ||
    fail "cannot create ${table}_src"
  pgsql "CREATE TABLE $table (\"K\" INTEGER, \"NAME\" VARCHAR(20))" || fail "cannot create $table"
  cat >repl.txt <<SCRIPT
COPYDEFINITION: R
  FROM PG USERID='kestrel' PASSWORD='kestrel_pw' +
    SELECT='SELECT s."K", s."NAME" FROM ${table}_src AS s CROSS JOIN pg_sleep(1) AS w'
  TO PG USERID='kestrel' PASSWORD='kestrel_pw' TABLE='$table' QUOTE=DOUBLE UPDATE=KEYS
  COPY K KEY=YES
  COPY NAME
SCRIPT
  batchRun repl.txt >first.out 2>&1 &
  first=$!
  pids+=("$first")
  waitFor first.out "Starting to copy rows from" "$first" || fail "the first run did not start"
  kill -STOP "$first"
  batchRun repl.txt >second.out 2>&1 &
  second=$!
  pids+=("$second")
  waitFor second.out "is in use by process $first (kestrel): waiting up to 60 seconds" "$second" ||
    fail "the second run did not wait for the first:"$'\n'"$(cat second.out)"
  kill -CONT "$first"
  wait "$first" || fail "first run: exit status $?"$'\n'"$(cat first.out)"
  wait "$second" || fail "second run: exit status $?"$'\n'"$(cat second.out)"
  has second.out "The target table $table in data source PG is free again" "second run"
  has second.out "Output table statistics: 0 deleted, 0 updated and 0 inserted." "second run"
  rows=$(isql -b -x0x20 -d, PG kestrel kestrel_pw <<<"SELECT COUNT(*), COUNT(DISTINCT \"K\") FROM $table" 2>&1 | tr -d ' ' | head -1)
  [ "$rows" = "3000,3000" ] || fail "rows in the PostgreSQL target after two runs: $rows"
  pgsql "DROP TABLE $table"
  pgsql "DROP TABLE ${table}_src"
fi

# /dev/zero never ends: it is refused as a script at once.
timeout 20 "$bin/kestrel" --batch ScriptFile=/dev/zero >zero.out 2>&1
rc=$?
[ "$rc" -eq 1 ] || fail "/dev/zero as script: exit status $rc"$'\n'"$(cat zero.out)"
has zero.out "Cannot open script file '/dev/zero' - no copy actions will be performed" "/dev/zero"

# Passwords: the listing, an error line, --check and a refused parameter line.
cat >secret.txt <<'SCRIPT'
COPYDEFINITION: S
  FROM SRC TABLE=A USERID=scott PASSWORD='tiger1'
  TO DST TABLE=B PASSWORD=tiger2 BOGUS=1
  COPY K KEY=YES
SCRIPT
printf 'LockPwd="tiger3\nListScript=1\n' >secret.par
"$bin/kestrel" --batch ScriptFile=secret.txt @secret.par "LogFile=$work/kestrel.log" \
  >secret.out 2>&1
"$bin/kestrel" --check ScriptFile=secret.txt ListScript=1 >>secret.out 2>&1
has secret.out "FROM SRC TABLE=A USERID=scott PASSWORD='********'" "listing"
has secret.out "(in line 3: 'TO DST TABLE=B PASSWORD=******** BOGUS=1')" "error line"
has secret.out "ignored: LockPwd=********" "parameter file"
lacks secret.out "tiger" "passwords"
lacks kestrel.log "tiger" "passwords in the log file"
mode=$(stat -c %a kestrel.log)
[ "$mode" = 600 ] || fail "log file mode $mode, expected 600"

# One SIGTERM ends the program while it waits in a driver call and never
# reaches a next row: here a PostgreSQL SELECT that sleeps for a minute,
# executed when the script is loaded to learn its columns.
if [ "$pg" = 1 ]; then
  cat >sleep.txt <<'SCRIPT'
COPYDEFINITION: SLOW
  FROM PG USERID='kestrel' PASSWORD='kestrel_pw' REPLICATE=NO SELECT='SELECT k FROM (SELECT 1 AS k, pg_sleep(60)) AS s'
  TO DST TABLE=B
  COPY K KEY=YES
SCRIPT
  "$bin/kestrel" --batch ScriptFile=sleep.txt "TempFile=$work/temp/k-%p.tmp" >sleep.out 2>&1 &
  slow=$!
  pids+=("$slow")
  waitFor sleep.out "Connecting to PG" "$slow" || fail "the slow run did not start"
  sleep 1
  kill -TERM "$slow"
  # Bounded only so that a hang fails the test instead of blocking it.
  for ((i = 0; i < 300; i++)); do
    kill -0 "$slow" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$slow" 2>/dev/null; then
    fail "one SIGTERM did not end the program"
  else
    wait "$slow"
    rc=$?
    [ "$rc" -eq 1 ] || fail "stopped run: exit status $rc, expected 1"$'\n'"$(cat sleep.out)"
    has sleep.out "kestrel: the program did not end within 5 seconds of being asked to" "SIGTERM"
  fi
fi

[ "$failures" -eq 0 ] && echo "batch_guards.sh: all passed"
[ "$failures" -eq 0 ]
