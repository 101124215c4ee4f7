#!/bin/bash
# Fails when a source file includes a folder that is not below its own in the
# layer order (DEVELOPERS.md, "Layers"). Folders of one level never include
# each other; a folder includes itself freely.
set -euo pipefail
cd "$(dirname "$0")/.."

level() {
  case "$1" in
    base) echo 0 ;;
    odbc) echo 1 ;;
    script) echo 2 ;;
    schedule) echo 3 ;;
    engine) echo 4 ;;
    shell | sqltool) echo 5 ;;
    widgets) echo 6 ;;
    editor | sqltool/app) echo 7 ;;
    shell/app) echo 8 ;;
    *) echo "" ;;
  esac
}

# The folder of a path below src/: its first part, or the first two for the
# window folders kept inside a program folder.
folder_of() {
  local path=$1
  case "$path" in
    shell/app/*) echo shell/app ;;
    sqltool/app/*) echo sqltool/app ;;
    */*) echo "${path%%/*}" ;;
    *) echo "" ;;
  esac
}

status=0
while IFS= read -r file; do
  from=$(folder_of "${file#src/}")
  from_level=$(level "$from")
  if [ -z "$from_level" ]; then
    echo "layers: $file is in no known layer" >&2
    status=1
    continue
  fi
  while IFS= read -r line; do
    target=${line#*\"}
    target=${target%%\"*}
    to=$(folder_of "$target")
    [ -n "$to" ] || continue          # generated headers such as version.h
    [ "$to" = "$from" ] && continue
    to_level=$(level "$to")
    if [ -z "$to_level" ] || [ "$to_level" -ge "$from_level" ]; then
      echo "layers: $file includes \"$target\" ($from may include only layers below it)" >&2
      status=1
    fi
  done < <(grep -E '^\s*#\s*include\s+"' "$file" || true)
done < <(find src -name '*.h' -o -name '*.cpp' | sort)

[ $status -eq 0 ] && echo "layers: every include follows the layer order"
exit $status
