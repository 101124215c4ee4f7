#!/bin/bash
# Starts and stops the PostgreSQL 15 and MariaDB 10.11 servers that the tests
# use, on 127.0.0.1 only, on non-default ports, with data and sockets in a
# folder of their own (KESTREL_SERVERS_DIR, default /tmp/kestrel-test-servers).
#
#   tests/servers/servers.sh start [postgresql|mariadb]   (both by default)
#   tests/servers/servers.sh stop  [postgresql|mariadb]
#   tests/servers/servers.sh status
#
# Each server gets a database kestrel_test and a user kestrel with password
# kestrel_pw; tests/support/odbc_test_folder.cpp names DSNs for them with the
# drivers "PostgreSQL ANSI" and "MariaDB Unicode". Starting a running server
# is a no-op, so the script is safe to call twice.
set -euo pipefail

BASE=${KESTREL_SERVERS_DIR:-/tmp/kestrel-test-servers}
PG_PORT=${KESTREL_PG_PORT:-55432}
MARIADB_PORT=${KESTREL_MARIADB_PORT:-53306}
# The test servers never wait for the disk; the benchmark starts a server of
# its own with KESTREL_PG_FSYNC=on to measure what users get.
PG_FSYNC=${KESTREL_PG_FSYNC:-off}
DB=kestrel_test
DB_USER=kestrel
DB_PASSWORD=kestrel_pw
PG_BIN=$(ls -d /usr/lib/postgresql/15/bin 2>/dev/null || ls -d /usr/lib/postgresql/*/bin | tail -1)

as_user() {  # as_user USER command...: the servers refuse to run as root
  local user=$1
  shift
  if [ "$(id -u)" -eq 0 ]; then runuser -u "$user" -- "$@"; else "$@"; fi
}

owner() { if [ "$(id -u)" -eq 0 ]; then echo "$1"; else id -un; fi; }

pg_running() { as_user "$(owner postgres)" "$PG_BIN/pg_ctl" -D "$BASE/pg/data" status >/dev/null 2>&1; }

start_postgresql() {
  local dir=$BASE/pg
  if [ -d "$dir/data" ] && pg_running; then
    echo "servers: PostgreSQL already running on 127.0.0.1:$PG_PORT"
    return
  fi
  mkdir -p "$dir"
  chmod 755 "$BASE"
  chown "$(owner postgres)" "$dir"
  if [ ! -f "$dir/data/PG_VERSION" ]; then
    rm -rf "$dir/data"
    echo "$DB_PASSWORD" >"$dir/pwfile"
    chown "$(owner postgres)" "$dir/pwfile"
    as_user "$(owner postgres)" "$PG_BIN/initdb" -D "$dir/data" -U postgres \
      --auth-local=trust --auth-host=scram-sha-256 --pwfile="$dir/pwfile" >"$dir/initdb.log" 2>&1 ||
      { cat "$dir/initdb.log" >&2; exit 1; }
  fi
  as_user "$(owner postgres)" "$PG_BIN/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
    -o "-p $PG_PORT -k $dir -c listen_addresses=127.0.0.1 -c fsync=$PG_FSYNC -c max_connections=100" \
    start >/dev/null || { cat "$dir/server.log" >&2; exit 1; }
  local psql=("$PG_BIN/psql" -h "$dir" -p "$PG_PORT" -U postgres -v ON_ERROR_STOP=1 -qAt)
  if [ "$(as_user "$(owner postgres)" "${psql[@]}" -c "SELECT 1 FROM pg_roles WHERE rolname='$DB_USER'")" != 1 ]; then
    as_user "$(owner postgres)" "${psql[@]}" -c "CREATE ROLE $DB_USER LOGIN PASSWORD '$DB_PASSWORD'"
    as_user "$(owner postgres)" "${psql[@]}" -c "CREATE DATABASE $DB OWNER $DB_USER"
  fi
  echo "servers: PostgreSQL running on 127.0.0.1:$PG_PORT"
}

stop_postgresql() {
  [ -d "$BASE/pg/data" ] || return 0
  if pg_running; then
    as_user "$(owner postgres)" "$PG_BIN/pg_ctl" -D "$BASE/pg/data" -m fast -w stop >/dev/null
    echo "servers: PostgreSQL stopped"
  fi
}

mariadb_client() {
  mariadb --no-defaults --socket="$BASE/mariadb/mariadb.sock" -u root "$@"
}

mariadb_running() { mariadb-admin --no-defaults --socket="$BASE/mariadb/mariadb.sock" -u root ping >/dev/null 2>&1; }

start_mariadb() {
  local dir=$BASE/mariadb
  if mariadb_running; then
    echo "servers: MariaDB already running on 127.0.0.1:$MARIADB_PORT"
    return
  fi
  mkdir -p "$dir"
  chmod 755 "$BASE"
  if [ ! -d "$dir/data/mysql" ]; then
    rm -rf "$dir/data"
    mariadb-install-db --no-defaults --user="$(owner mysql)" --datadir="$dir/data" \
      --auth-root-authentication-method=socket --skip-test-db >"$dir/install.log" 2>&1 ||
      { cat "$dir/install.log" >&2; exit 1; }
  fi
  chown -R "$(owner mysql)" "$dir"
  local server
  server=$(command -v mariadbd || echo /usr/sbin/mariadbd)
  "$server" --no-defaults --user="$(owner mysql)" --datadir="$dir/data" \
    --port="$MARIADB_PORT" --bind-address=127.0.0.1 --socket="$dir/mariadb.sock" \
    --pid-file="$dir/mariadb.pid" --log-error="$dir/server.log" \
    --innodb-flush-log-at-trx-commit=0 --skip-log-bin >/dev/null 2>&1 &
  for _ in $(seq 1 120); do
    mariadb_running && break
    sleep 0.5
  done
  mariadb_running || { echo "servers: MariaDB did not start" >&2; cat "$dir/server.log" >&2; exit 1; }
  mariadb_client -e "CREATE DATABASE IF NOT EXISTS $DB;
    CREATE USER IF NOT EXISTS '$DB_USER'@'127.0.0.1' IDENTIFIED BY '$DB_PASSWORD';
    CREATE USER IF NOT EXISTS '$DB_USER'@'localhost' IDENTIFIED BY '$DB_PASSWORD';
    GRANT ALL ON $DB.* TO '$DB_USER'@'127.0.0.1';
    GRANT ALL ON $DB.* TO '$DB_USER'@'localhost';"
  echo "servers: MariaDB running on 127.0.0.1:$MARIADB_PORT"
}

stop_mariadb() {
  if mariadb_running; then
    mariadb-admin --no-defaults --socket="$BASE/mariadb/mariadb.sock" -u root shutdown
    echo "servers: MariaDB stopped"
  fi
}

action=${1:-status}
which=${2:-all}
case "$action" in
  start)
    [ "$which" = mariadb ] || start_postgresql
    [ "$which" = postgresql ] || start_mariadb
    ;;
  stop)
    [ "$which" = mariadb ] || stop_postgresql
    [ "$which" = postgresql ] || stop_mariadb
    ;;
  status)
    if [ -d "$BASE/pg/data" ] && pg_running; then echo "PostgreSQL: running"; else echo "PostgreSQL: stopped"; fi
    if mariadb_running; then echo "MariaDB: running"; else echo "MariaDB: stopped"; fi
    ;;
  *)
    echo "usage: $0 start|stop|status [postgresql|mariadb]" >&2
    exit 2
    ;;
esac
