#!/usr/bin/env bash
# kestrel --service against SQLite: a timer due at the next minute runs two
# copy definitions; the first completes, and SIGTERM arrives while the second
# (a large table) is running. The second stops at its next row, its temporary
# file is removed, and the program exits 0.
set -u
. "$(dirname "$0")/lib/sandbox.sh"
mkdir -p "$work/spool"
pid=
cleanup() {
  [ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null
  sandbox_cleanup
}
trap cleanup EXIT
sqlite3 src.db <<'SQL'
CREATE TABLE A (K INTEGER, NAME VARCHAR(20));
INSERT INTO A VALUES (1, 'one'), (2, 'two'), (3, 'three');
CREATE TABLE BIG (K INTEGER, NAME VARCHAR(20));
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 300000)
INSERT INTO BIG SELECT i, 'name ' || i FROM n;
SQL
sqlite3 dst.db <<'SQL'
CREATE TABLE B (K INTEGER, NAME VARCHAR(20));
CREATE TABLE BIG2 (K INTEGER, NAME VARCHAR(20));
SQL

# A service that could never run anything ends at once with status 1.
# expectRefusal <pattern> <description> -- <kestrel arguments...>
expectRefusal() {
  local pattern=$1 description=$2 output rc
  shift 3
  output=$(timeout 20 "$bin/kestrel" --service "$@" 2>&1)
  rc=$?
  [ "$rc" -eq 1 ] || fail "$description: exit status $rc, expected 1"$'\n'"$output"
  grep -qE -- "$pattern" <<<"$output" || fail "$description: no '$pattern' in"$'\n'"$output"
}
printf 'TIMERDEFINITION: T\n  START 2030-01-01 TIME=08:00\n' >timer-only.txt
expectRefusal "Cannot open script file 'missing.txt'" "missing script" -- \
  ScriptFile=missing.txt
expectRefusal "holds no copy definition to run" "no copy definition" -- \
  ScriptFile=timer-only.txt

# Late in a minute the next one could begin while the script loads.
if [ "$(date +%S)" -ge 55 ]; then sleep 6; fi
day=$(date -d '+1 minute' +%Y-%m-%d)
time=$(date -d '+1 minute' +%H:%M)
cat >script.txt <<SCRIPT
COPYDEFINITION: SMALL
  FROM SRC TABLE=A
  TO DST TABLE=B UPDATE=KEYS
  COPY K KEY=YES
  COPY NAME
  AUTORUN MINUTELY
COPYDEFINITION: LARGE
  FROM SRC TABLE=BIG
  TO DST TABLE=BIG2 UPDATE=KEYS
  COPY K KEY=YES
  COPY NAME
  AUTORUN MINUTELY
TIMERDEFINITION: MINUTELY
  START $day TIME=$time EVERY=0-00:01
SCRIPT

expectRefusal "Timer cannot be started: PollInterval 0 is not larger than 0" "no ticks" -- \
  ScriptFile=script.txt PollInterval=0

"$bin/kestrel" --service ScriptFile=script.txt PollInterval=1000 \
  TempFile="$work/spool/kestrel.tmp" >out.txt 2>&1 &
pid=$!

# waitFor <pattern> <seconds>: true once the output holds a matching line.
waitFor() {
  local deadline=$((SECONDS + $2))
  while [ "$SECONDS" -lt "$deadline" ]; do
    grep -qE -- "$1" out.txt && return 0
    kill -0 "$pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

waitFor "Next scheduled event at $day $time:00" 15 ||
  fail "no next-event line for $day $time"
if waitFor "Starting to copy rows from BIG in SRC" 80; then
  kill -TERM "$pid"
else
  fail "the timer never started LARGE"
  kill -TERM "$pid" 2>/dev/null
fi
waitFor "KESTREL service stopped" 20 || fail "no end line after SIGTERM"
wait "$pid"
rc=$?
pid=

[ "$rc" -eq 0 ] || fail "exit status $rc after SIGTERM, expected 0"
grep -q "Starting processing copy definition SMALL" out.txt || fail "SMALL did not run"
grep -q "Output table statistics: " out.txt || fail "no statistics line of SMALL's run"
[ "$(sqlite3 dst.db 'SELECT COUNT(*) FROM B')" = 3 ] || fail "SMALL did not copy its 3 rows"
grep -q "Run stopped: the program was asked to end" out.txt ||
  fail "LARGE was not stopped by SIGTERM"
[ -z "$(ls -A spool)" ] || fail "temporary file left behind: $(ls -A spool)"

if [ "$failures" -ne 0 ]; then
  echo "--- output of kestrel --service"
  cat out.txt
  exit 1
fi
echo "service: all checks passed"
