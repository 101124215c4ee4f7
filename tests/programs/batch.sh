#!/usr/bin/env bash
# kestrel --batch end to end on two SQLite databases: a replication that
# succeeds exits 0 with its counts lines and the target in line with the
# source; a run that fails exits 1; the temporary file is gone either way.
set -u
. "$(dirname "$0")/lib/sandbox.sh"
mkdir -p "$work/temp"

sqlite3 src.db "CREATE TABLE A (K INTEGER, NAME VARCHAR(20));
  INSERT INTO A VALUES (1, 'same'), (2, 'new name'), (3, 'three');
  CREATE TABLE EMPTY (K INTEGER, NAME VARCHAR(20));"
sqlite3 dst.db "CREATE TABLE B (K INTEGER, NAME VARCHAR(20));
  INSERT INTO B VALUES (1, 'same'), (2, 'old name'), (5, 'gone');
  CREATE TABLE C (K INTEGER, NAME VARCHAR(20));
  INSERT INTO C VALUES (7, 'kept');"

cat >good.txt <<'SCRIPT'
COPYDEFINITION: NIGHTLY
  FROM SRC TABLE=A
  TO DST TABLE=B UPDATE=KEYS
  COPY K KEY=YES
  COPY NAME
SCRIPT

# The first definition fails (nothing to read), the second still runs.
cat >failing.txt <<'SCRIPT'
COPYDEFINITION: GUARDED
  FROM SRC TABLE=EMPTY
  TO DST TABLE=C UPDATE=KEYS
  COPY K KEY=YES
  COPY NAME
COPYDEFINITION: NIGHTLY
  FROM SRC TABLE=A
  TO DST TABLE=B UPDATE=KEYS
  COPY K KEY=YES
  COPY NAME
SCRIPT

# batch <expected status> <script> [assignments...]: runs kestrel and leaves
# its output in $output.
batch() {
  local status=$1 script=$2
  shift 2
  output=$("$bin/kestrel" --batch "ScriptFile=$script" "TempFile=$work/temp/k-%p.tmp" "$@" 2>&1)
  local rc=$?
  [ "$rc" -eq "$status" ] || fail "$script: exit status $rc, expected $status"$'\n'"$output"
  if [ -n "$(ls -A "$work/temp")" ]; then
    fail "$script: temporary file left behind: $(ls -A "$work/temp")"
  fi
}

# shows <text> <description>: a line of the last output ends with the text.
shows() {
  grep -qF -- "  $1" <<<"$output" || fail "$2: no line '$1' in"$'\n'"$output"
}

batch 0 good.txt
shows "Table counts: 3 read from FROM table, 3 read from TO table." "replication"
shows "Output table statistics: 1 deleted, 1 updated and 1 inserted." "replication"
shows "All copy definitions processed successfully" "replication"
target=$(sqlite3 dst.db "SELECT K || '|' || NAME FROM B ORDER BY K" | tr '\n' ' ')
[ "$target" = "1|same 2|new name 3|three " ] || fail "target after the replication: $target"

sqlite3 src.db "UPDATE A SET NAME = 'renamed' WHERE K = 3"
batch 1 failing.txt CheckForZeroRows=1
shows "Operation aborted due to CheckForZeroRows preferences option and zero rows read from input table" \
  "zero rows"
shows "Processing could not be performed" "zero rows"
shows "Output table statistics: 0 deleted, 1 updated and 0 inserted." "second definition"
shows "Processing ended with errors" "zero rows"
[ "$(sqlite3 dst.db "SELECT K || '|' || NAME FROM C")" = "7|kept" ] ||
  fail "the guarded target was changed"
[ "$(sqlite3 dst.db "SELECT NAME FROM B WHERE K = 3")" = "renamed" ] ||
  fail "the second definition did not run"

# A script that cannot be read runs nothing and fails.
batch 1 missing.txt
shows "Cannot open script file 'missing.txt' - no copy actions will be performed" "missing script"

[ "$failures" -eq 0 ] && echo "batch.sh: all passed"
exit $((failures > 0))
