#!/usr/bin/env bash
# scripts/wine-run's answer to "can this machine run 32-bit programs?",
# against stand-in loaders, so that both answers are tested on any machine:
# a loader the kernel refuses to execute, one that starts, one that starts
# and fails, and none at all.
#   check_wine_run.sh <scripts/wine-run> <work dir>
set -uo pipefail
wine_run=$1 work=$2
rm -rf "$work"
mkdir -p "$work"
failures=0

expect() {
  local what=$1 want=$2 got=$3
  if [ "$got" != "$want" ]; then
    echo "FAIL: $what: exit $got, expected $want"
    failures=$((failures + 1))
  else
    echo "ok: $what"
  fi
}

# An ELF header the kernel cannot load: execve fails with ENOEXEC, as it
# does for a 32-bit program where IA-32 emulation is off.
refused=$work/refused-loader
printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000\377\377' >"$refused"
chmod +x "$refused"
cat >"$work/loader" <<'SH'
#!/bin/sh
[ "$1" = --version ] && exit 0
echo "ran $*"
SH
cat >"$work/failing-loader" <<'SH'
#!/bin/sh
[ "$1" = --version ] && exit 0
exit 3
SH
chmod +x "$work/loader" "$work/failing-loader"

# A PE file whose machine field says i386 (0x14c).
pe() {
  { printf 'MZ'; head -c 58 /dev/zero; printf '\100\000\000\000'; printf 'PE\000\000'; printf "$2"; } >"$1"
}
pe "$work/i686.exe" '\114\001'

run() { VOSK_WINE32=$1 "$wine_run" "${@:2}" >"$work/out" 2>&1; echo $?; }

expect "a refused loader is answered 'refused'" 1 "$(run "$refused" --check-32)"
grep -q "refuses 32-bit programs" "$work/out" || { echo "FAIL: no reason given"; failures=$((failures + 1)); }
expect "a loader that starts is answered 'runs'" 0 "$(run "$work/loader" --check-32)"
expect "a loader that starts and fails still runs" 0 "$(run "$work/failing-loader" --check-32)"
expect "no loader is an error, not a skip" 2 "$(run "$work/missing" --check-32)"

expect "an i686 program where the kernel refuses: skipped" 77 "$(run "$refused" "$work/i686.exe")"
grep -q "not run: this machine's kernel refuses 32-bit programs" "$work/out" ||
  { echo "FAIL: the skip is not said"; failures=$((failures + 1)); }
expect "an i686 program where it runs: run" 0 "$(run "$work/loader" "$work/i686.exe" arg)"
grep -q "ran .*i686.exe arg" "$work/out" || { echo "FAIL: the program was not run"; failures=$((failures + 1)); }
expect "an i686 program that runs and fails: a failure" 3 "$(run "$work/failing-loader" "$work/i686.exe")"
expect "no 32-bit loader: a failure, not a skip" 127 "$(run "$work/missing" "$work/i686.exe")"

[ $failures -eq 0 ]
