#!/usr/bin/env bash
# Fails when a Windows program imports at load time a library outside the system's known
# libraries (those Windows always takes from the system folder): every other library is looked
# for beside the program before any of its code can restrict the search. Run after each link of
# the updater and the pak tool.
#   check-imports.sh OBJDUMP PROGRAM...     (OBJDUMP: i686-w64-mingw32-objdump or the x86_64 one)
set -euo pipefail

# The known libraries' list, and the C runtime, which is one of them.
ALLOWED=" advapi32 combase comdlg32 gdi32 imagehlp imm32 kernel32 msvcrt normaliz nsi ole32
          oleaut32 psapi rpcrt4 sechost setupapi shcore shell32 shlwapi user32 wldap32 ws2_32 "

[ $# -ge 2 ] || { echo "usage: check-imports.sh OBJDUMP PROGRAM..." >&2; exit 2; }
objdump=$1
shift
status=0
for program in "$@"; do
  names=$("$objdump" -p "$program" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z')
  if [ -z "$names" ]; then
    echo "check-imports: $program: no import table read" >&2
    status=1
  fi
  for name in $names; do
    case "$ALLOWED" in
      *[[:space:]]"${name%.dll}"[[:space:]]*) ;;
      *) echo "check-imports: $program imports $name, not one of the system's known libraries" >&2
         status=1 ;;
    esac
  done
done
exit $status
