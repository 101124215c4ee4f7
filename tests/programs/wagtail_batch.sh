#!/usr/bin/env bash
# wagtail --batch end to end on SQLite, PostgreSQL and MariaDB: the log lines,
# rows affected, the last result as tab-separated lines, a stray ";" line
# reported and passed over, a failed statement stopping the run (or not,
# with --continue), and the exit codes 0, 1 and 2.
set -u
. "$(dirname "$0")/lib/sandbox.sh"
wagtail="$bin/wagtail"

cat >>odbc.ini <<INI

[PG]
Driver=PostgreSQL ANSI
Servername=127.0.0.1
Port=${KESTREL_PG_PORT:-55432}
Database=kestrel_test

[MARIA]
Driver=MariaDB Unicode
Server=127.0.0.1
Port=${KESTREL_MARIADB_PORT:-53306}
Database=kestrel_test
INI

# run <expected status> <args...>: runs wagtail, output in $output.
run() {
  local status=$1
  shift
  output=$("$wagtail" "$@" 2>&1)
  local rc=$?
  [ "$rc" -eq "$status" ] || fail "wagtail $*: exit status $rc, expected $status"$'\n'"$output"
}
# has <text> <what>: a log line ends with the text.
has() { grep -qF -- "  $1" <<<"$output" || fail "$2: no log line '$1' in"$'\n'"$output"; }
lacks() { ! grep -qF -- "$1" <<<"$output" || fail "$2: unexpected '$1' in"$'\n'"$output"; }
# table <expected lines>: the lines after the last "OK"/rows line that carry
# no time stamp.
table() {
  local got
  got=$(grep -v '^[0-9]\{4\}-[0-9][0-9]-[0-9][0-9] ' <<<"$output")
  [ "$got" = "$1" ] || fail "$2: result table"$'\n'"$got"$'\n'"expected"$'\n'"$1"
}

server_up() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

export WAGTAIL_PW=kestrel_pw
for db in SRC PG MARIA; do
  login=()
  case $db in
    PG) port=${KESTREL_PG_PORT:-55432} ;;
    MARIA) port=${KESTREL_MARIADB_PORT:-53306} ;;
    *) port= ;;
  esac
  if [ -n "$port" ]; then
    if ! server_up "$port"; then
      [ "${KESTREL_REQUIRE_SERVERS:-0}" = 1 ] && fail "$db: no server on port $port"
      echo "skipped $db: no server on port $port"
      continue
    fi
    login=(--user kestrel --password-env WAGTAIL_PW)
  fi
  t="wgt_batch_$$_$db"
  cat >good.sql <<SQL
CREATE TABLE $t (k INTEGER, name VARCHAR(20), amount DECIMAL(8,2));
INSERT INTO $t VALUES (1, 'semi;colon', 2.5),
  (2, NULL, NULL);
-- a comment line is echoed, not executed
;
SELECT k, name, amount FROM $t ORDER BY k;
SQL
  run 0 --batch "${login[@]}" "$db" good.sql
  has "Rows affected: 2, elapsed time" "$db insert"
  has "Empty statement in line 5 skipped" "$db stray semicolon"
  has "-- a comment line is echoed, not executed" "$db comment"
  # SQLite keeps a decimal as the text it was given.
  amount=2.50
  [ "$db" = SRC ] && amount=2.5
  table "k"$'\t'"name"$'\t'"amount"$'\n'"1"$'\t'"semi;colon"$'\t'"$amount"$'\n'"2"$'\t'"[NULL]"$'\t'"[NULL]" "$db select"

  # A failed statement stops the run: the line after it is never echoed.
  printf 'SELECT nosuch FROM %s;\nDROP TABLE %s;\n' "$t" "$t" >bad.sql
  run 1 --batch "${login[@]}" "$db" bad.sql
  lacks "DROP TABLE" "$db stop at failure"
  grep -qi "nosuch" <<<"$output" || fail "$db: no driver message in"$'\n'"$output"

  # --continue goes on (the table is dropped) and still exits 1; the
  # statements come from standard input.
  run 1 --batch --continue "${login[@]}" "$db" - <bad.sql
  has "DROP TABLE $t;" "$db continue"
  run 1 --batch "${login[@]}" "$db" - <<<"SELECT * FROM $t;"
done
if server_up "${KESTREL_PG_PORT:-55432}"; then
  export WAGTAIL_BAD=wrong
  run 1 --batch --user kestrel --password-env WAGTAIL_BAD PG good.sql
  grep -qi "password" <<<"$output" || fail "wrong password: no driver message in"$'\n'"$output"
fi

# Command-line errors and the connection's failure.
run 1 --batch NOSUCH good.sql
grep -qF "Data source name not found" <<<"$output" || fail "unknown DSN: $output"
run 1 --batch SRC missing.sql
has "Cannot read SQL source file 'missing.sql'" "missing file"
run 2 --batch
run 2 --batch --password secret SRC good.sql
lacks "secret" "password on the command line"
run 2 --batch --password-env WAGTAIL_UNSET_VARIABLE SRC good.sql
run 2 --batch --bogus SRC
run 2 --batch SRC a.sql b.sql
run 2 --nonsense
run 0 --help
grep -q -- "--password-env" <<<"$output" || fail "--help: no usage"
run 0 --version
grep -q "^wagtail " <<<"$output" || fail "--version: $output"

# Without a display: one clear line and exit 2, no platform-plugin abort.
output=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$wagtail" 2>&1)
rc=$?
[ "$rc" -eq 2 ] || fail "no display: exit status $rc"
[ "$(wc -l <<<"$output")" -eq 1 ] || fail "no display: more than one line: $output"
grep -q "no display" <<<"$output" || fail "no display: $output"

[ "$failures" -eq 0 ] || exit 1
echo "wagtail batch: all checks passed"
