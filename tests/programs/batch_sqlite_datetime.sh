#!/usr/bin/env bash
# kestrel --batch keeps the seconds and fractions of TIMESTAMP values, and the
# TIME and DATE values, that it writes to SQLite, whose catalog reports sizes too
# small to hold them; on insert and on a KEYS update alike. The HashSlots option
# sizes the replication's hash table.
set -u
. "$(dirname "$0")/lib/sandbox.sh"

columns="id INTEGER NOT NULL PRIMARY KEY, at TIMESTAMP, day DATE, clock TIME"
sqlite3 src.db "CREATE TABLE src ($columns); CREATE TABLE dst ($columns);
INSERT INTO src VALUES (1, '2020-01-01 00:00:17', '2020-02-03', '13:14:15');
INSERT INTO src VALUES (2, '2021-06-30 23:59:59.25', '2021-06-30', '00:00:01');
INSERT INTO dst VALUES (2, '2021-06-30 23:00:00', '2021-06-30', '00:00:00');"
cat >copy.txt <<'SCRIPT'
COPYDEFINITION: STAMPS
  FROM SRC TABLE='src'
  TO SRC TABLE='dst' UPDATE=KEYS
  COPY 'id' KEY=YES
  COPY 'at'
  COPY 'day'
  COPY 'clock'
SCRIPT

failures=0
if ! output=$("$bin/kestrel" --batch ScriptFile=copy.txt TempFile="$work/k.tmp" 2>&1); then
  echo "FAIL: kestrel --batch failed"$'\n'"$output"
  failures=1
fi
grep -q "1 updated and 1 inserted" <<<"$output" ||
  { echo "FAIL: expected 1 update and 1 insert in"$'\n'"$output"; failures=1; }
query="SELECT id, strftime('%Y-%m-%d %H:%M:%f', at), date(day), time(clock) FROM"
expected=$(sqlite3 src.db "$query src ORDER BY id")
actual=$(sqlite3 src.db "$query dst ORDER BY id")
[ "$expected" = "$actual" ] ||
  { echo "FAIL: target differs"$'\n'"expected:"$'\n'"$expected"$'\n'"actual:"$'\n'"$actual"; failures=1; }

# HashSlots sizes the slot table that the hash statistics report; a run with
# 11 slots replicates the same rows (the target now equals the source).
output=$("$bin/kestrel" --batch ScriptFile=copy.txt TempFile="$work/k.tmp" DebugMode=1 \
  HashSlots=11 2>&1)
grep -q "table entries used out of 11\." <<<"$output" &&
  grep -q "0 deleted, 0 updated and 0 inserted" <<<"$output" ||
  { echo "FAIL: HashSlots=11 not used in"$'\n'"$output"; failures=1; }
exit "$failures"
