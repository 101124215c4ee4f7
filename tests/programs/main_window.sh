#!/usr/bin/env bash
# kestrel's main window end to end, driven by keys on a real X display (Xvfb):
# F7 runs the script's replication on two SQLite databases, the log file and
# the target table show it, Esc ends the program with status 0 and no
# temporary file left. Also: without a display kestrel says so in one line
# and exits 2, and the automation switches end start-up without a window.
set -u
if [ -z "${KESTREL_UNDER_XVFB:-}" ]; then
  command -v xvfb-run >/dev/null || { echo "xvfb-run not found"; exit 1; }
  exec xvfb-run -a -s "-screen 0 1280x800x24" env KESTREL_UNDER_XVFB=1 bash "$0" "$@"
fi
. "$(dirname "$0")/lib/sandbox.sh"
command -v xdotool >/dev/null || { echo "xdotool not found"; exit 1; }
mkdir -p "$work/temp"

sqlite3 src.db "CREATE TABLE A (K INTEGER, NAME VARCHAR(20));
  WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 200)
  INSERT INTO A SELECT i, 'name ' || i FROM n;"
sqlite3 dst.db "CREATE TABLE B (K INTEGER, NAME VARCHAR(20));
  INSERT INTO B VALUES (1, 'old name'), (9999, 'gone');"
cat >script.txt <<'SCRIPT'
COPYDEFINITION: NIGHTLY
  FROM SRC TABLE=A
  TO DST TABLE=B UPDATE=KEYS
  COPY K KEY=YES
  COPY NAME
SCRIPT

# wait_for <seconds> <command...>: true as soon as the command succeeds.
wait_for() {
  local tries=$(($1 * 10))
  shift
  while [ "$tries" -gt 0 ]; do
    "$@" && return 0
    sleep 0.1
    tries=$((tries - 1))
  done
  return 1
}

env -u QT_QPA_PLATFORM "$bin/kestrel" "ScriptFile=$work/script.txt" "TempFile=$work/temp/k-%p.tmp" \
  "LogFile=$work/kestrel.log" InitiallyReadScript=1 >"$work/out.txt" 2>&1 &
pid=$!

window=
find_window() { window=$(xdotool search --onlyvisible --name "ODBC copy and data propagation utility" | head -1); [ -n "$window" ]; }
if ! wait_for 20 find_window; then
  fail "the main window did not appear"$'\n'"$(cat "$work/out.txt")"
  kill "$pid" 2>/dev/null
else
  # No window manager: give the window the keyboard focus by hand.
  xdotool windowfocus --sync "$window"
  wait_for 10 grep -q "KESTREL program started" kestrel.log || fail "no start-up line in the log file"
  xdotool key F7
  if ! wait_for 120 grep -q "Output table statistics" kestrel.log; then
    fail "F7 ran no replication:"$'\n'"$(cat kestrel.log)"
  fi
  grep -q "  Output table statistics: 1 deleted, 1 updated and 199 inserted.$" kestrel.log ||
    fail "wrong counts:"$'\n'"$(cat kestrel.log)"
  [ "$(sqlite3 dst.db "SELECT COUNT(*) FROM B")" = 200 ] || fail "the target does not hold the 200 rows"
  [ "$(sqlite3 dst.db "SELECT NAME FROM B WHERE K = 1")" = "name 1" ] || fail "row 1 was not updated"
  xdotool windowfocus --sync "$window"
  xdotool key Escape
  if wait_for 10 bash -c "! kill -0 $pid 2>/dev/null"; then
    wait "$pid"
    rc=$?
    [ "$rc" -eq 0 ] || fail "Esc: exit status $rc, expected 0"$'\n'"$(cat "$work/out.txt")"
  else
    fail "Esc did not end the program"
    kill "$pid"
  fi
fi

# SIGTERM ends the window program as Exit does: status 0.
env -u QT_QPA_PLATFORM "$bin/kestrel" "ScriptFile=$work/script.txt" "TempFile=$work/temp/k-%p.tmp" \
  >"$work/out.txt" 2>&1 &
pid=$!
if wait_for 20 find_window; then
  kill -TERM "$pid"
  if wait_for 10 bash -c "! kill -0 $pid 2>/dev/null"; then
    wait "$pid"
    rc=$?
    [ "$rc" -eq 0 ] || fail "SIGTERM: exit status $rc, expected 0"$'\n'"$(cat "$work/out.txt")"
  else
    fail "SIGTERM did not end the program"
    kill -KILL "$pid"
  fi
else
  fail "the main window did not appear a second time"$'\n'"$(cat "$work/out.txt")"
  kill "$pid" 2>/dev/null
fi
[ -z "$(ls -A "$work/temp")" ] || fail "temporary file left behind: $(ls -A "$work/temp")"

# Without a display: one line naming the headless modes, status 2, no abort.
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$bin/kestrel" 2>&1)
rc=$?
[ "$rc" -eq 2 ] || fail "no display: exit status $rc, expected 2"
[ "$(wc -l <<<"$out")" -eq 1 ] || fail "no display: more than one line:"$'\n'"$out"
for mode in --batch --service --check; do
  grep -qF -- "$mode" <<<"$out" || fail "no display: the line does not name $mode: $out"
done
grep -qi "no display" <<<"$out" || fail "no display: the line does not say so: $out"

"$bin/kestrel" --help | grep -q "^Without a mode, the main window opens" ||
  fail "--help does not say what kestrel does without a mode"

# The automation switches end start-up successfully, without a window.
for switch in /Embedding /Automation -embedding; do
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY "$bin/kestrel" "$switch" 2>&1)
  rc=$?
  [ "$rc" -eq 0 ] && [ -z "$out" ] || fail "$switch: status $rc, output '$out'"
done

[ "$failures" -eq 0 ] || exit 1
echo "main window: all checks passed"
