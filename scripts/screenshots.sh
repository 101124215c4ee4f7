#!/bin/bash
# Takes the README's screenshots of kestrel under Xvfb, driving the real
# program by its keys as a user would:
#   doc/screenshots/main-window-run.png   the main window during a replication,
#                                          with the copy status window
#   doc/screenshots/preferences.png        the preferences window (F9)
#   doc/screenshots/preferences-help.png   its help window (Alt+H, "&Help")
#   doc/screenshots/editor-*.png           the script editor (F3): the paragraph
#                                          list, a copy definition, Browse ODBC
#                                          and the column definitions
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
    xdotool windowfocus --sync "$(window_named "Description of options in section")"
    xdotool key Escape
    sleep 0.5
  else
    echo "screenshots: the help window did not open; preferences-help.png not taken"
  fi
  # Esc acts as "&Return" in the preferences window.
  xdotool windowfocus --sync "$preferences"
  xdotool key Escape
  wait_for 5 bash -c '! xdotool search --onlyvisible --name "General options" >/dev/null 2>&1' || true
else
  echo "screenshots: the preferences window did not open; preferences.png not taken"
  # Whatever F9 opened instead (a message box) is closed by Esc.
  xdotool key Escape
  sleep 0.5
fi

# F3: the script editor, walked by keys down to Browse ODBC and the columns.
# press <window name> <keys...>: the keys to that window, then a moment to react.
press() {
  local w
  w=$(window_named "$1") && [ -n "$w" ] || return 1
  shift
  xdotool windowfocus --sync "$w"
  xdotool key --delay 100 "$@"
  sleep 0.5
}
xdotool windowfocus --sync "$main"
xdotool key F3
if wait_for 5 has_window "Edit KESTREL script" && press "Edit KESTREL script" alt+e &&
  wait_for 5 has_window "KESTREL script paragraphs"; then
  # The list has the focus on its first line: Down and Up select the copy
  # definition, Alt+E edits it.
  press "KESTREL script paragraphs" Down Up
  shoot editor-paragraphs.png "$(window_named "KESTREL script paragraphs")"
  press "KESTREL script paragraphs" alt+e
  if wait_for 5 has_window "Copy definition"; then
    shoot editor-copy-definition.png "$(window_named "Copy definition")"
    # "FROM table..." has the focus; in its dialog Alt+T goes to the table
    # name and Tab to "Browse ODBC ..."; there Alt+T goes to the table name
    # mask and two Tabs to "Fetch table names from ODBC source".
    press "Copy definition" space
    wait_for 5 has_window "Copy FROM definition" && press "Copy FROM definition" alt+t Tab space
    if wait_for 5 has_window "Browse ODBC definitions"; then
      press "Browse ODBC definitions" alt+t Tab Tab space
      sleep 1
      shoot editor-browse-odbc.png "$(window_named "Browse ODBC definitions")"
      press "Browse ODBC definitions" Escape
    else
      echo "screenshots: Browse ODBC did not open; editor-browse-odbc.png not taken"
    fi
    press "Copy FROM definition" Escape
    # Tab from "FROM table..." to "TO table..." and on to "COPY columns...".
    press "Copy definition" Tab Tab space
    if wait_for 5 has_window "Copy column definitions"; then
      shoot editor-copy-columns.png "$(window_named "Copy column definitions")"
      press "Copy column definitions" Escape
    else
      echo "screenshots: the column dialog did not open; editor-copy-columns.png not taken"
    fi
    press "Copy definition" Escape
  else
    echo "screenshots: the copy definition did not open; its pictures not taken"
  fi
  press "KESTREL script paragraphs" Escape
  press "Edit KESTREL script" Escape
else
  echo "screenshots: the script editor did not open; its pictures not taken"
fi

# Esc on the main window ends the program.
xdotool windowfocus --sync "$main" 2>/dev/null || true
xdotool key Escape
wait "$pid" || echo "screenshots: kestrel ended with status $?"
pid=
