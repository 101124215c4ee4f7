#!/bin/bash
# kestrel's command line: help, version, options for this run, and the exit
# status of each kind of error.
set -u
bin=${KESTREL_BIN:?}
XDG_CONFIG_HOME=$(mktemp -d)
export XDG_CONFIG_HOME
trap 'rm -rf "$XDG_CONFIG_HOME"' EXIT
failures=0

expect() {  # expect STATUS PATTERN -- command...
  local status=$1 pattern=$2
  shift 3
  local out rc
  out=$("$@" 2>&1)
  rc=$?
  if [ "$rc" -ne "$status" ] || ! grep -qF -- "$pattern" <<<"$out"; then
    echo "FAILED: $* -> status $rc (wanted $status), output:"
    echo "$out"
    echo "(wanted to see: $pattern)"
    failures=$((failures + 1))
  fi
}

expect 0 "Usage: kestrel" -- "$bin/kestrel" --help
expect 0 "kestrel 0." -- "$bin/kestrel" --version
expect 0 "wagtail 0." -- "$bin/wagtail" --version
expect 2 "Parameter Error: Illegal command line option 'DebugMode=2'" -- "$bin/kestrel" --check ListSQL=1,DebugMode=2
expect 2 "Parameter Error: Illegal command line option 'NoSuchOption=1'" -- "$bin/kestrel" --check NoSuchOption=1
expect 2 "Parameter Error: Cannot open parameter input file '/no/such.par'" -- "$bin/kestrel" --check @/no/such.par
expect 2 "unknown switch '--frobnicate'" -- "$bin/kestrel" --frobnicate
expect 2 "cannot be combined" -- "$bin/kestrel" --check --batch

# Command-line assignments apply to this run only: nothing is stored.
"$bin/kestrel" --check ListSQL=1 ScriptFile=/nonexistent/script.txt >/dev/null 2>&1
if [ -n "$(find "$XDG_CONFIG_HOME" -type f)" ]; then
  echo "FAILED: a command-line assignment was stored"
  failures=$((failures + 1))
fi

[ "$failures" -eq 0 ] && echo "options: all passed"
exit "$failures"
