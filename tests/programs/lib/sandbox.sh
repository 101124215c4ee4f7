# Sourced by the program tests. Gives the test a folder of its own ($work, the
# working directory from here on) with its own stored options (XDG_CONFIG_HOME)
# and data sources (ODBCINI): the SQLite DSNs SRC and DST on src.db and dst.db
# in that folder. fail() reports a failed check and counts it in $failures.
# The folder is removed when the test ends; a test with more to clean up sets
# its own EXIT trap and calls sandbox_cleanup from it.
bin=${KESTREL_BIN:-${1:-}}
[ -x "$bin/kestrel" ] || { echo "kestrel not found in '$bin'"; exit 1; }
command -v sqlite3 >/dev/null || { echo "sqlite3 not found"; exit 1; }

work=$(mktemp -d)
sandbox_cleanup() { rm -rf "$work"; }
trap sandbox_cleanup EXIT
export XDG_CONFIG_HOME="$work/config"
export ODBCINI="$work/odbc.ini"
cd "$work" || exit 1

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

cat >odbc.ini <<INI
[SRC]
Driver=SQLite3
Database=$work/src.db
Timeout=5000

[DST]
Driver=SQLite3
Database=$work/dst.db
Timeout=5000
INI
