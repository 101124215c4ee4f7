#!/usr/bin/env bash
# kestrel --batch copies every value a DECIMAL(12,2) column of SQLite can hold,
# although SQLite's catalog reports the column as VARCHAR of size 2; on insert
# and on a KEYS update alike, and through the temporary file.
set -u
bin=${KESTREL_BIN:-${1:-}}
[ -x "$bin/kestrel" ] || { echo "kestrel not found in '$bin'"; exit 1; }
command -v sqlite3 >/dev/null || { echo "sqlite3 not found"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config"
export ODBCINI="$work/odbc.ini"
cd "$work" || exit 1
cat >odbc.ini <<INI
[kp_sqlite]
Driver=SQLite3
Database=$work/t.db
Timeout=5000
INI

columns="id INTEGER NOT NULL PRIMARY KEY, amount DECIMAL(12,2), total NUMERIC (9)"
sqlite3 t.db "CREATE TABLE src ($columns); CREATE TABLE dst ($columns);
INSERT INTO src VALUES (1, 1234567890.12, 123456789);
INSERT INTO src VALUES (2, -123456.78, -12345678);
INSERT INTO src VALUES (3, 0.5, NULL);
INSERT INTO dst VALUES (2, 1.25, 7);"
cat >copy.txt <<'SCRIPT'
COPYDEFINITION: AMOUNTS
  FROM 'kp_sqlite' TABLE='src'
  TO 'kp_sqlite' TABLE='dst' UPDATE=KEYS
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
expected=$(sqlite3 t.db "$query src ORDER BY id")
actual=$(sqlite3 t.db "$query dst ORDER BY id")
[ "$expected" = "$actual" ] ||
  { echo "FAIL: target differs"$'\n'"expected:"$'\n'"$expected"$'\n'"actual:"$'\n'"$actual"; failures=1; }
exit "$failures"
