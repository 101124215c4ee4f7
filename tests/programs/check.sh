#!/usr/bin/env bash
# kestrel --check: a valid script exits 0, an invalid one 1 with its error
# line, a missing file 1; options on the command line apply.
set -u
bin=${KESTREL_BIN:-${1:-}}
[ -x "$bin/kestrel" ] || { echo "kestrel not found in '$bin'"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Stored options live under XDG_CONFIG_HOME: never touch the user's.
export XDG_CONFIG_HOME="$work/config"
cd "$work" || exit 1
failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# expect <status> <pattern> <description> -- <kestrel arguments...>
expect() {
  local status=$1 pattern=$2 description=$3
  shift 4
  local output rc
  output=$("$bin/kestrel" "$@" 2>&1)
  rc=$?
  [ "$rc" -eq "$status" ] || fail "$description: exit status $rc, expected $status"$'\n'"$output"
  if [ -n "$pattern" ] && ! grep -qE -- "$pattern" <<<"$output"; then
    fail "$description: no line matching '$pattern' in"$'\n'"$output"
  fi
}

cat >nightly.txt <<'SCRIPT'
* nightly copy
COPYDEFINITION: CUSTOMERS
  FROM SALES TABLE=CUSTOMER USERID=ADMIN +
       WHERE='ACTIVE = 1'
  TO BACKUP TABLE=CUSTOMER_COPY UPDATE=FORUPDATEOF
  COPY CUSTNO KEY=YES
  COPY NAME
  COPY CITY TO=TOWN, LEFTTRIM=YES
  AUTORUN NIGHTLY
TIMERDEFINITION: NIGHTLY
  START 1997-01-01 TIME=02:00 EVERY=1-00:00
SCRIPT
printf 'COPYDEFINITION: X\r\n  FROM SRC TABLE=A\r\n  FROM SRC WHERE=A=1\r\n' >broken.txt

expect 0 "Script file 'nightly.txt' checked: 2 paragraphs, no errors found" \
  "valid script" -- --check ScriptFile=nightly.txt
expect 0 "^[-0-9]+ [0-9:]+  +COPY CITY TO=TOWN, LEFTTRIM=YES$" \
  "ListScript=1 lists the lines" -- --check ScriptFile=nightly.txt ListScript=1
expect 1 "Error: More than one occurrence of this command in the same paragraph \(in line 3: 'FROM SRC WHERE=A=1'\)" \
  "invalid script" -- --check ScriptFile=broken.txt
expect 1 "No processing will be performed" "invalid script" -- --check ScriptFile=broken.txt
expect 1 "Cannot open script file 'missing.txt' - no copy actions will be performed" \
  "missing script" -- --check ScriptFile=missing.txt
expect 2 "" "unknown option" -- --check NoSuchOption=1 ScriptFile=nightly.txt

# Names that refer to no paragraph are found without a database, one line
# per definition as loading would write it; a timer without a start time too.
cat >names.txt <<'SCRIPT'
COPYDEFINITION: A
  FROM SRC TABLE=T LOCK=NOLOCK
  TO DST TABLE=T
  COPY ID KEY=YES
COPYDEFINITION: B
  FROM SRC TABLE=T
  TO DST TABLE=T
  COPY ID KEY=YES TRANS=NOTRANS
  COPY NAME EDIT=NOEDIT
  AUTORUN NOTIMER
TIMERDEFINITION: T
  RETRY 3
SCRIPT
for line in "Lock definition name NOLOCK in copydefinition A not found" \
  "Autorun name NOTIMER in copydefinition B not found" \
  "Missing start time in timerdefinition T"; do
  expect 1 "$line" "unresolved names" -- --check ScriptFile=names.txt
done
output=$("$bin/kestrel" --check ScriptFile= 2>&1)
[ "$(grep -c 'No script file specified' <<<"$output")" -eq 1 ] ||
  fail "no script file: expected the line once in"$'\n'"$output"

printf 'ScriptFile=nightly.txt\n' >params.txt
expect 0 "checked: 2 paragraphs" "parameter file" -- --check @params.txt

# Nothing of the check was stored as an option.
if grep -rqs "nightly" "$XDG_CONFIG_HOME"; then fail "the check stored an option"; fi

[ "$failures" -eq 0 ] && echo "check.sh: all passed"
exit $((failures > 0))
