#!/usr/bin/env bash
# The layer rule, checked over every source file: a file of a layer (or of its test folder)
# includes only headers of its own layer and the layers below it, and the host backends'
# private headers stay inside host/. Prints each offending include and fails when there is one.
# Usage: scripts/check-layers.sh [source folder]
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"

layers=(host archive vfs config platform app tools)
declare -A rank
for i in "${!layers[@]}"; do rank[${layers[$i]}]=$i; done
rank[support]=${rank[app]}  # test support resets every layer's tables

bad=0
while IFS= read -r file; do
  owner=${file%%/*}
  [ "$owner" = tests ] && { owner=${file#tests/}; owner=${owner%%/*}; }
  [ -n "${rank[$owner]:-}" ] || continue
  while IFS=: read -r line header; do
    target=${header%%/*}
    [ -n "${rank[$target]:-}" ] && [ "$target" != support ] || continue
    if [ "${rank[$target]}" -gt "${rank[$owner]}" ]; then
      echo "$file:$line: includes \"$header\": $target lies above $owner" >&2
      bad=1
    elif [[ "$header" =~ ^host/host_(posix|win32)\.h$ ]] && [ "$owner" != host ]; then
      echo "$file:$line: includes \"$header\": the host backends' own header" >&2
      bad=1
    fi
  done < <(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" |
           sed -E 's/^([0-9]+):[^"]*"([^"]*)".*/\1:\2/')
done < <(git ls-files -co --exclude-standard -- '*.cpp' '*.h' 2>/dev/null || find . -name '*.cpp' -o -name '*.h' | sed 's|^\./||')

if [ "$bad" != 0 ]; then
  echo "layers: an include points up (order, bottom first: ${layers[*]})" >&2
  exit 1
fi
echo "layers: every include points down (${layers[*]})"
