#!/usr/bin/env bash
# cmake --install puts both programs, their menu entries, AppStream metainfo
# and icons where the desktop looks (GNUInstallDirs), and the installed
# entries pass the desktop's own validators.
set -u
bin=${KESTREL_BIN:?}
build=$(dirname "$bin")
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
for tool in desktop-file-validate appstreamcli; do
  command -v "$tool" >/dev/null || { echo "$tool not found (scripts/setup.sh installs it)"; exit 1; }
done

out=$(cmake --install "$build" --prefix "$prefix" 2>&1) || fail "cmake --install failed:"$'\n'"$out"
for program in kestrel wagtail; do
  [ -x "$prefix/bin/$program" ] || fail "bin/$program not installed"
done
for id in org.orvanedata.Kestrel org.orvanedata.Wagtail; do
  entry=$prefix/share/applications/$id.desktop
  metainfo=$prefix/share/metainfo/$id.metainfo.xml
  if [ -f "$entry" ]; then
    out=$(desktop-file-validate "$entry" 2>&1) || fail "$id.desktop:"$'\n'"$out"
    icon=$(sed -n 's/^Icon=//p' "$entry")
    [ "$icon" = "$id" ] || fail "$id.desktop names icon '$icon'"
    exec_line=$(sed -n 's/^Exec=//p' "$entry")
    [ -x "$prefix/bin/${exec_line%% *}" ] || fail "$id.desktop runs '$exec_line', which is not installed"
  else
    fail "$entry not installed"
  fi
  if [ -f "$metainfo" ]; then
    out=$(appstreamcli validate --no-net "$metainfo" 2>&1) || fail "$id.metainfo.xml:"$'\n'"$out"
    grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
      fail "$id.metainfo.xml does not launch $id.desktop"
  else
    fail "$metainfo not installed"
  fi
  [ -f "$prefix/share/icons/hicolor/scalable/apps/$id.svg" ] || fail "scalable icon of $id missing"
  for size in 16 22 24 32 48 64 128 256; do
    png=$prefix/share/icons/hicolor/${size}x${size}/apps/$id.png
    if [ ! -f "$png" ]; then
      fail "icon $png missing"
    elif [ "$(identify -format '%wx%h' "$png")" != "${size}x${size}" ]; then
      fail "icon $png is $(identify -format '%wx%h' "$png"), not ${size}x${size}"
    fi
  done
done

[ "$failures" -eq 0 ] || exit 1
echo "desktop: all checks passed"
