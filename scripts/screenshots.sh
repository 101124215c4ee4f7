#!/bin/bash
# Takes the README's screenshots of kestrel under Xvfb, driving the real
# program by its keys as a user would:
#   doc/screenshots/main-window-run.png   the main window during a replication,
#                                          with the copy status window
#   doc/screenshots/preferences.png        the preferences window (F9)
#   doc/screenshots/preferences-help.png   its help window (Alt+H, "&Help")
# A window that does not open (not built yet) is reported and skipped.
#
#   scripts/screenshots.sh          (builds kestrel first)
#   KESTREL_SHOT_ROWS=100000 scripts/screenshots.sh   a longer run to catch
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
out=$root/doc/screenshots
rows=${KESTREL_SHOT_ROWS:-30000}

if [ -z "${KESTREL_UNDER_XVFB:-}" ]; then
  for tool in xvfb-run xdotool import convert sqlite3; do
    command -v "$tool" >/dev/null || { echo "screenshots: $tool not found (scripts/setup.sh)"; exit 1; }
  done
  cmake -S . -B build -G Ninja >/dev/null
  cmake --build build --target kestrel
  exec xvfb-run -a -s "-screen 0 1280x800x24" env KESTREL_UNDER_XVFB=1 bash "$0" "$@"
fi

work=$(mktemp -d)
pid=
cleanup() {
  [ -z "$pid" ] || kill "$pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"
export XDG_CONFIG_HOME=$work/config ODBCINI=$work/odbc.ini
unset QT_QPA_PLATFORM
cat >odbc.ini <<INI
[SALES]
Driver=SQLite3
Database=$work/sales.db

[BACKUP]
Driver=SQLite3
Database=$work/backup.db
INI
sqlite3 sales.db "CREATE TABLE CUSTOMER (CUSTNO INTEGER PRIMARY KEY, NAME VARCHAR(40), CITY VARCHAR(30));
  WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < $rows)
  INSERT INTO CUSTOMER SELECT i, 'customer ' || i,
    CASE i % 3 WHEN 0 THEN 'Oslo' WHEN 1 THEN 'Rome' ELSE 'Lyon' END FROM n;"
# The backup is a night behind: a few customers changed, moved or left since.
sqlite3 backup.db "ATTACH '$work/sales.db' AS sales;
  CREATE TABLE CUSTOMER_COPY (CUSTNO INTEGER PRIMARY KEY, NAME VARCHAR(40), CITY VARCHAR(30));
  INSERT INTO CUSTOMER_COPY SELECT * FROM sales.CUSTOMER WHERE CUSTNO % 1000 <> 7;
  UPDATE CUSTOMER_COPY SET CITY = 'Porto' WHERE CUSTNO % 1000 = 3;
  INSERT INTO CUSTOMER_COPY VALUES ($rows + 1, 'gone', 'Oslo');"
cat >script.txt <<'SCRIPT'
COPYDEFINITION: CUSTOMERS
  FROM SALES TABLE=CUSTOMER
  TO BACKUP TABLE=CUSTOMER_COPY UPDATE=KEYS
  COPY CUSTNO KEY=YES
  COPY NAME
  COPY CITY
  AUTORUN NIGHTLY
TIMERDEFINITION: NIGHTLY
  START 2026-01-01 TIME=02:30 EVERY=1-00:00
SCRIPT

wait_for() {  # wait_for <seconds> <command...>
  local tries=$(($1 * 10))
  shift
  while [ "$tries" -gt 0 ]; do
    "$@" && return 0
    sleep 0.1
    tries=$((tries - 1))
  done
  return 1
}
window_named() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1; }
has_window() { [ -n "$(window_named "$1")" ]; }

# shoot <file> <window>...: the screen cut to the windows, with a margin.
shoot() {
  local file=$1
  shift
  local x0=100000 y0=100000 x1=0 y1=0 X Y WIDTH HEIGHT
  for w in "$@"; do
    eval "$(xdotool getwindowgeometry --shell "$w")"
    [ "$X" -lt "$x0" ] && x0=$X
    [ "$Y" -lt "$y0" ] && y0=$Y
    [ $((X + WIDTH)) -gt "$x1" ] && x1=$((X + WIDTH))
    [ $((Y + HEIGHT)) -gt "$y1" ] && y1=$((Y + HEIGHT))
  done
  x0=$((x0 > 8 ? x0 - 8 : 0))
  y0=$((y0 > 8 ? y0 - 8 : 0))
  import -window root -crop "$((x1 - x0 + 8))x$((y1 - y0 + 8))+$x0+$y0" +repage "$out/$file"
  echo "screenshots: $out/$file"
}

mkdir -p "$out"
"$root/build/bin/kestrel" "ScriptFile=$work/script.txt" "TempFile=$work/k-%p.tmp" \
  InitiallyReadScript=1 CancelActive=1 \
  WindowLeft=20 WindowTop=170 Windowright=1020 WindowBottom=720 >"$work/kestrel.out" 2>&1 &
pid=$!
wait_for 20 has_window "ODBC copy and data propagation utility" ||
  { echo "screenshots: the main window did not open"; cat "$work/kestrel.out"; exit 1; }
main=$(window_named "ODBC copy and data propagation utility")
xdotool windowfocus --sync "$main"

# F7: the replication, caught while the status window counts rows.
xdotool key F7
if wait_for 20 has_window "KESTREL Copy status"; then
  sleep 1.5
  if has_window "KESTREL Copy status"; then
    shoot main-window-run.png "$main" "$(window_named "KESTREL Copy status")"
  else
    echo "screenshots: the run ended too soon; set KESTREL_SHOT_ROWS higher"
  fi
else
  echo "screenshots: no status window appeared"
fi
wait_for 300 bash -c '! xdotool search --onlyvisible --name "KESTREL Copy status" >/dev/null 2>&1' || true

# F9: the preferences window, then its help window.
xdotool windowfocus --sync "$main"
xdotool key F9
if wait_for 5 has_window "General options"; then
  preferences=$(window_named "General options")
  shoot preferences.png "$preferences"
  xdotool windowfocus --sync "$preferences"
  xdotool key alt+h
  if wait_for 5 has_window "Description of options in section"; then
    shoot preferences-help.png "$(window_named "Description of options in section")"
  else
    echo "screenshots: the help window did not open; preferences-help.png not taken"
  fi
else
  echo "screenshots: the preferences window did not open; preferences.png not taken"
  # Whatever F9 opened instead (a message box) is closed by Esc.
  xdotool key Escape
  sleep 0.5
fi

# Esc on the main window ends the program.
xdotool windowfocus --sync "$main" 2>/dev/null || true
xdotool key Escape
wait "$pid" || echo "screenshots: kestrel ended with status $?"
pid=
