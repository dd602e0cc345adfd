#!/usr/bin/env bash
# Links MsvcHost.c the way Microsoft's linker does, against the DLL's
# short-format import library, runs it next to the DLL and checks its record.
#   check_msvc_link.sh <dll> <VOSK_Log.lib> <x86|x64> <clang> <lld-link> <llvm-dlltool>
#                      <include dir> <work dir> [emulator]
set -euo pipefail
dll=$1 implib=$2 machine=$3 clang=$4 lld_link=$5 dlltool=$6 include=$7 work=$8 emulator=${9:-}
here=$(cd "$(dirname "$0")" && pwd)

rm -rf "$work"
mkdir -p "$work"
if [ "$machine" = x86 ]; then
  target=i686-pc-windows-msvc dllmachine=i386 exitprocess=ExitProcess@4
  # -mrtd: stdcall by default, as cl /Gz.
  cflags=(-mrtd) lflags=(/safeseh)
else
  target=x86_64-pc-windows-msvc dllmachine=i386:x86-64 exitprocess=ExitProcess
  cflags=() lflags=()
fi

"$clang" --target="$target" -ffreestanding -fno-stack-protector -O1 -Wall -Wextra -Werror \
  "${cflags[@]}" -I "$include" -c "$here/MsvcHost.c" -o "$work/MsvcHost.obj"
printf 'LIBRARY kernel32.dll\nEXPORTS\n    %s\n' "$exitprocess" >"$work/kernel32.def"
"$dlltool" -m "$dllmachine" -k -d "$work/kernel32.def" -l "$work/kernel32.lib"
"$lld_link" /nologo /machine:"$machine" "${lflags[@]}" /subsystem:console /entry:HostMain \
  /nodefaultlib /out:"$work/msvc_host.exe" "$work/MsvcHost.obj" "$implib" "$work/kernel32.lib"

cp "$dll" "$work/"
status=0
$emulator "$work/msvc_host.exe" || status=$?
if [ $status -eq 77 ]; then
  # The emulator's "not run": linked and checked, but this machine cannot start it.
  echo "$machine host linked with $(basename "$implib"); not run here"
  exit 77
fi
[ $status -eq 0 ] || exit $status
for record in "linked by lld-link" "long double 1.500000, then 42"; do
  if ! grep -q "$record" "$work/msvc_logs/msvc.log"; then
    echo "no record \"$record\" in $work/msvc_logs/msvc.log:"
    cat "$work/msvc_logs/msvc.log"
    exit 1
  fi
done
echo "$machine host linked with $(basename "$implib"): $(cat "$work/msvc_logs/msvc.log")"
