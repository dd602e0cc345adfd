#!/usr/bin/env bash
# The library exports exactly its nine functions, under their plain names.
# A DLL imports nothing but system DLLs.
#   check_exports.sh <library> <objdump>
set -euo pipefail
lib=$1 objdump=$2
expected="SL_ChangeLevel SL_CreateLog SL_DestroyLog SL_Print SL_SetLogArchive SL_SetLogDiskLimit SL_SetLogOption SL_TraceLog SL_Write"

case "$lib" in
  *.dll)
    dump=$("$objdump" -p "$lib")
    names=$(printf '%s\n' "$dump" | awk '/\[Ordinal\/Name Pointer\] Table/{on=1; next} on && NF==0{on=0} on{print $NF}' | sort | xargs)
    imports=$(printf '%s\n' "$dump" | awk '/DLL Name:/{print $3}' | sort -u | xargs)
    for dll in $imports; do
      case "${dll,,}" in
        kernel32.dll|msvcrt.dll|user32.dll|advapi32.dll|ntdll.dll|api-ms-win-*) ;;
        *) echo "imports a non-system DLL: $dll"; exit 1 ;;
      esac
    done
    ;;
  *)
    names=$(nm -D --defined-only "$lib" | awk '$2 ~ /^[TtDdBbRrVvWwiu]$/ {print $3}' | sort | xargs)
    ;;
esac

if [ "$names" != "$expected" ]; then
  echo "exports differ"
  echo "  expected: $expected"
  echo "  found:    $names"
  exit 1
fi
echo "exports: $names"
