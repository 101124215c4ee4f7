#!/usr/bin/env bash
# Takes the README's screenshots of wagtail under Xvfb: a document with its
# log, the Execute SQL dialog and the result grid, into doc/screenshots/.
# Drives the real program by keys (xdotool) on a demo SQLite database.
#   scripts/screenshots_wagtail.sh [build folder, default build]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:-$root/build}/bin/wagtail
out=$root/doc/screenshots
[ -x "$bin" ] || { echo "wagtail not found at $bin (build it first)"; exit 1; }
mkdir -p "$out"
work=$(mktemp -d)
trap 'cat "$work/wagtail.out" 2>/dev/null; rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config ODBCINI=$work/odbc.ini
mkdir -p "$XDG_CONFIG_HOME/ORVANE_DATA"
printf '[Options]\nODBCsource=demo\nSqlFilename=%s/orders.sql\n' "$work" \
  >"$XDG_CONFIG_HOME/ORVANE_DATA/WAGTAIL.ini"
printf '[demo]\nDriver=SQLite3\nDatabase=%s/demo.db\n' "$work" >"$ODBCINI"
sqlite3 "$work/demo.db" "CREATE TABLE orders (id INTEGER, customer VARCHAR(30), amount DECIMAL(10,2), placed TIMESTAMP, weight DOUBLE);
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 5000)
INSERT INTO orders SELECT i, 'Customer ' || (i * 7 % 331), (i * 37 % 100000) / 100.0,
  datetime('2026-01-01 08:00:00', '+' || (i * 613) || ' seconds'),
  CASE WHEN i % 9 = 0 THEN NULL ELSE i * 0.125 END FROM n;"

cat >"$work/drive.sh" <<'DRIVE'
#!/usr/bin/env bash
set -eu
"$1" >"$3/wagtail.out" 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null; wait $pid 2>/dev/null || true' EXIT
waitfor() {
  for _ in $(seq 100); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  echo "no window '$1'" >&2
  return 1
}
press() { xdotool windowfocus --sync "$1" key --delay 60 "${@:2}"; }
shot() { sleep 0.6; import -window "$1" "$2"; }
frame=$(waitfor '^WAGTAIL \(16 bit\)')
xdotool windowsize --sync "$frame" 900 560
sleep 0.5
press "$frame" F4
press "$(waitfor '^Open ODBC connection$')" Return
sleep 1
press "$frame" F5
execute=$(waitfor '^Execute SQL commands$')
xdotool windowmove --sync "$execute" 60 60
xdotool windowfocus --sync "$execute"
printf '%s' '-- the largest orders of the year' | xdotool type --delay 10 --file -
press "$execute" ctrl+Return
xdotool windowfocus --sync "$execute" type --delay 10 'SELECT id, customer, amount, placed, weight'
press "$execute" ctrl+Return
xdotool windowfocus --sync "$execute" type --delay 10 '  FROM orders WHERE amount > 500 ORDER BY amount DESC;'
press "$execute" Return
sleep 1
shot "$execute" "$2/wagtail-execute-sql.png"
press "$execute" F6
grid=$(waitfor '^Table$')
xdotool windowmove --sync "$grid" 120 90 windowsize --sync "$grid" 760 420
sleep 0.8
shot "$grid" "$2/wagtail-grid.png"
xdotool windowunmap --sync "$grid"
xdotool windowfocus --sync "$execute"
xdotool key Escape || true
sleep 0.5
# Window, Tile: the one document fills the frame; the resize repaints what
# the closed dialog covered (there is no window manager to ask for it).
press "$frame" alt+w t
xdotool windowsize --sync "$frame" 900 561 windowsize --sync "$frame" 900 560
shot "$frame" "$2/wagtail-document.png"
DRIVE
chmod +x "$work/drive.sh"
xvfb-run -a -s "-screen 0 1280x900x24" "$work/drive.sh" "$bin" "$out" "$work"
ls -l "$out"/wagtail-*.png
