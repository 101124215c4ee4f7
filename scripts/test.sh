#!/bin/bash
# Installs what is needed, builds, starts the loopback database servers, runs
# every test, and stops the servers again. The command CI runs.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build -G Ninja
cmake --build build

# On CI every run gets fresh server data folders; on a developer's machine the
# servers of tests/servers/servers.sh are reused when they already run.
if [ "${CI:-}" = true ] && [ -z "${KESTREL_SERVERS_DIR:-}" ]; then
  KESTREL_SERVERS_DIR=$(mktemp -d /tmp/kestrel-servers-XXXXXX)
  export KESTREL_SERVERS_DIR
  fresh_servers_dir=$KESTREL_SERVERS_DIR
fi
started=$(tests/servers/servers.sh status | grep -c stopped || true)
tests/servers/servers.sh start
if [ "$started" -gt 0 ]; then
  trap 'tests/servers/servers.sh stop; [ -z "${fresh_servers_dir:-}" ] || rm -rf "$fresh_servers_dir"' EXIT
fi

# A test that needs a server fails, rather than skips, when it is unreachable.
export KESTREL_REQUIRE_SERVERS=1
ctest --test-dir build --output-on-failure -j2
