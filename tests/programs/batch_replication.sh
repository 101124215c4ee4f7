#!/usr/bin/env bash
# kestrel --batch replicating between two SQLite databases: a run that brings
# the target in line exits 0 with its statistics, a second run finds nothing
# to do, a run that fails exits 1 and says so, and no temporary file stays.
set -u
. "$(dirname "$0")/lib/sandbox.sh"
sqlite3 src.db "CREATE TABLE A (K INTEGER, NAME VARCHAR(20));
  INSERT INTO A VALUES (1, 'one'), (2, 'TWO'), (4, 'four');"
sqlite3 dst.db "CREATE TABLE B (K INTEGER, NAME VARCHAR(20));
  INSERT INTO B VALUES (1, 'one'), (2, 'two'), (3, 'three');"

script() {  # script FILE UPDATE-MODE
  cat >"$1" <<SCRIPT
COPYDEFINITION: MIRROR
  FROM SRC TABLE=A
  TO DST TABLE=B UPDATE=$2
  COPY K KEY=YES
  COPY NAME
SCRIPT
}
script keyed.txt KEYS
script positioned.txt NONE

# run <expected status> <script> <lines that must appear...>
run() {
  local status=$1 file=$2 output rc line
  shift 2
  output=$("$bin/kestrel" --batch ScriptFile="$file" TempFile="$work/kestrel.tmp" 2>&1)
  rc=$?
  [ "$rc" -eq "$status" ] || fail "$file: exit status $rc, expected $status"$'\n'"$output"
  for line in "$@"; do
    grep -qF -- "$line" <<<"$output" || fail "$file: no line '$line' in"$'\n'"$output"
  done
  [ ! -e "$work/kestrel.tmp" ] || fail "$file: the temporary file was left behind"
}

run 0 keyed.txt "Output table statistics: 1 deleted, 1 updated and 1 inserted." \
  "All copy definitions processed successfully"
[ "$(sqlite3 dst.db 'SELECT K, NAME FROM B ORDER BY K' | tr '\n' ' ')" = "1|one 2|TWO 4|four " ] ||
  fail "target not in line: $(sqlite3 dst.db 'SELECT * FROM B ORDER BY K' | tr '\n' ' ')"
run 0 keyed.txt "Output table statistics: 0 deleted, 0 updated and 0 inserted."

# The SQLite driver has no positioned UPDATE: the run fails and says so.
sqlite3 src.db "UPDATE A SET NAME = 'changed' WHERE K = 1"
run 1 positioned.txt "Processing could not be performed" "Processing ended with errors"
[ "$(sqlite3 dst.db 'SELECT NAME FROM B WHERE K = 1')" = "one" ] || fail "row 1 changed"

[ "$failures" -eq 0 ] && echo "batch_replication.sh: all passed"
exit $((failures > 0))
