#!/bin/bash
# Installs every Debian package that building, testing, the demo and the
# benchmark need. Safe to run again: apt-get skips what is already there.
set -euo pipefail

PACKAGES=(
  # build
  cmake ninja-build g++ clang libclang-rt-14-dev pkg-config
  # tests
  libgtest-dev googletest valgrind
  # ODBC driver manager and the embedded default database
  unixodbc unixodbc-dev odbcinst libsqliteodbc sqlite3
  # real servers and their drivers, started on loopback by the test scripts
  postgresql postgresql-client odbc-postgresql
  mariadb-server mariadb-client odbc-mariadb
  # windowing toolkit, and a display for looking at the windows
  qt6-base-dev xvfb xauth imagemagick
  # benchmark
  hyperfine time
  # CI checks (scripts/ci_checks.sh): the format check
  clang-format
  # desktop install checks, the main window's end-to-end test, icons, screenshots
  desktop-file-utils appstream xdotool librsvg2-bin
  # wagtail: the key-driven window test, its screenshots and the grid benchmark
  xdotool bc
)

if [ "$(id -u)" -ne 0 ]; then
  SUDO=sudo
else
  SUDO=
fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
else
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update
  # Package scripts try to start the servers through the init system; there may
  # be none here, and the tests start their own instances anyway.
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi

# The drivers must be registered under the names the DSN files use.
for drv in SQLite3 "PostgreSQL ANSI" "MariaDB Unicode"; do
  if ! odbcinst -q -d -n "$drv" >/dev/null 2>&1; then
    echo "setup: ODBC driver '$drv' is not registered in /etc/odbcinst.ini" >&2
    exit 1
  fi
done
echo "setup: done"
