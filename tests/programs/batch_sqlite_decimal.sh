#!/usr/bin/env bash
# kestrel --batch copies every value a DECIMAL(12,2) column of SQLite can hold,
# although SQLite's catalog reports the column as VARCHAR of size 2; on insert
# and on a KEYS update alike, and through the temporary file.
set -u
. "$(dirname "$0")/lib/sandbox.sh"

columns="id INTEGER NOT NULL PRIMARY KEY, amount DECIMAL(12,2), total NUMERIC (9)"
sqlite3 src.db "CREATE TABLE src ($columns); CREATE TABLE dst ($columns);
INSERT INTO src VALUES (1, 1234567890.12, 123456789);
INSERT INTO src VALUES (2, -123456.78, -12345678);
INSERT INTO src VALUES (3, 0.5, NULL);
INSERT INTO dst VALUES (2, 1.25, 7);"
cat >copy.txt <<'SCRIPT'
COPYDEFINITION: AMOUNTS
  FROM SRC TABLE='src'
  TO SRC TABLE='dst' UPDATE=KEYS
  COPY 'id' KEY=YES
  COPY 'amount'
  COPY 'total'
SCRIPT

failures=0
if ! output=$("$bin/kestrel" --batch ScriptFile=copy.txt TempFile="$work/k.tmp" 2>&1); then
  echo "FAIL: kestrel --batch failed"$'\n'"$output"
  failures=1
fi
grep -q "0 deleted, 1 updated and 2 inserted" <<<"$output" ||
  { echo "FAIL: expected 1 update and 2 inserts in"$'\n'"$output"; failures=1; }
query="SELECT id, amount, total FROM"
expected=$(sqlite3 src.db "$query src ORDER BY id")
actual=$(sqlite3 src.db "$query dst ORDER BY id")
[ "$expected" = "$actual" ] ||
  { echo "FAIL: target differs"$'\n'"expected:"$'\n'"$expected"$'\n'"actual:"$'\n'"$actual"; failures=1; }
exit "$failures"
