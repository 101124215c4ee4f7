#!/usr/bin/env bash
# The real wagtail under Xvfb, driven by keys: F4 opens a connection (the
# stored source preselected, Enter opens), F5 the Execute SQL dialog, typed
# SQL runs with Enter (Ctrl+Enter breaks the line), F6 shows the grid.
set -u
. "$(dirname "$0")/lib/sandbox.sh"
command -v xvfb-run >/dev/null || { echo "xvfb-run not found"; exit 1; }
command -v xdotool >/dev/null || { echo "xdotool not found"; exit 1; }

sqlite3 src.db "CREATE TABLE seed (k INTEGER);"
mkdir -p config/ORVANE_DATA
printf '[Options]\nODBCsource=SRC\n' >config/ORVANE_DATA/WAGTAIL.ini

cat >drive.sh <<'DRIVE'
#!/usr/bin/env bash
set -u
"$1" >wagtail.out 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null; wait $pid 2>/dev/null' EXIT
# waitfor <title>: the id of the visible window with that title.
waitfor() {
  local id
  for _ in $(seq 100); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  echo "no window '$1'" >&2
  return 1
}
press() { xdotool windowfocus --sync "$1" key --delay 50 "${@:2}"; }
frame=$(waitfor '^WAGTAIL \(16 bit\)') || exit 1
sleep 0.5
press "$frame" F4
dialog=$(waitfor '^Open ODBC connection$') || exit 1
press "$dialog" Return
sleep 1
press "$frame" F5
execute=$(waitfor '^Execute SQL commands$') || exit 1
sleep 0.3
xdotool windowfocus --sync "$execute" type --delay 20 'INSERT INTO seed VALUES (7);'
press "$execute" ctrl+Return
xdotool windowfocus --sync "$execute" type --delay 20 'SELECT k, k * 6 AS answer FROM seed;'
press "$execute" Return
sleep 1
press "$execute" F6
grid=$(waitfor '^Table$') || exit 1
sleep 0.5
import -window root screen.png 2>/dev/null || true
echo "grid $grid"
DRIVE
chmod +x drive.sh

output=$(xvfb-run -a -s "-screen 0 1280x900x24" ./drive.sh "$bin/wagtail" 2>&1)
rc=$?
[ "$rc" -eq 0 ] || fail "driving wagtail failed ($rc): $output"$'\n'"$(cat wagtail.out 2>/dev/null)"
grep -q "^grid " <<<"$output" || fail "the grid window did not open: $output"
rows=$(sqlite3 src.db "SELECT COUNT(*) FROM seed WHERE k = 7")
[ "$rows" = 1 ] || fail "the typed INSERT did not run exactly once (rows: $rows)"

[ "$failures" -eq 0 ] || exit 1
echo "wagtail under xvfb: all checks passed"
