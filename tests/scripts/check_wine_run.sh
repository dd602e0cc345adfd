#!/usr/bin/env bash
# scripts/wine-run's answer to "can this machine run 32-bit programs?",
# against stand-in loaders, emulators and compilers, so that every answer
# is tested on any machine: a loader the kernel refuses to execute, with
# and without a qemu and a 32-bit compiler to run it under emulation, one
# that starts, one that starts and fails, and none at all.
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

# A qemu that says what it was asked to run, and answers --version; one
# whose emulated loader does not start; a compiler that makes its output.
cat >"$work/qemu" <<'SH'
#!/bin/sh
[ "$6" = --version ] && exit 0
echo "emulated $*"
SH
cat >"$work/broken-qemu" <<'SH'
#!/bin/sh
exit 1
SH
cat >"$work/cc" <<'SH'
#!/bin/sh
while [ $# -gt 0 ]; do [ "$1" = -o ] && : >"$2"; shift; done
SH
chmod +x "$work/qemu" "$work/broken-qemu" "$work/cc"

# Each call with a cache of its own: the emulation's files are made there.
calls=0
run() {
  calls=$((calls + 1))
  XDG_CACHE_HOME=$work/cache$calls VOSK_WINE32=$1 "$wine_run" "${@:2}" >"$work/out" 2>&1
  echo $?
}
no_qemu() { VOSK_WINE32_EMULATION=1 VOSK_QEMU_I386=$work/missing-qemu VOSK_CC_I386=$work/cc run "$@"; }
emulated() { VOSK_WINE32_EMULATION=1 VOSK_QEMU_I386=$work/qemu VOSK_CC_I386=$work/cc run "$@"; }
said() {
  grep -q "$1" "$work/out" || { echo "FAIL: not said: $1"; cat "$work/out"; failures=$((failures + 1)); }
}

expect "a refused loader without qemu is answered 'refused'" 1 "$(no_qemu "$refused" --check-32)"
said "refuses 32-bit programs, and no emulation: no qemu-i386"
expect "a refused loader without a 32-bit compiler: 'refused'" 1 \
  "$(VOSK_WINE32_EMULATION=1 VOSK_QEMU_I386=$work/qemu VOSK_CC_I386=$work/missing-cc run "$refused" --check-32)"
said "no 32-bit C compiler"
expect "a refused loader that does not start under qemu: 'refused'" 1 \
  "$(VOSK_WINE32_EMULATION=1 VOSK_QEMU_I386=$work/broken-qemu VOSK_CC_I386=$work/cc run "$refused" --check-32)"
said "the emulated loader does not start"
expect "a refused loader with qemu, the emulation off: 'refused'" 1 \
  "$(VOSK_QEMU_I386=$work/qemu VOSK_CC_I386=$work/cc run "$refused" --check-32)"
said "VOSK_WINE32_EMULATION=1 runs them under qemu-i386"
expect "a refused loader with qemu is answered 'emulated'" 3 "$(emulated "$refused" --check-32)"
said "they run under qemu-i386 user-mode emulation"
expect "a loader that starts is answered 'runs'" 0 "$(emulated "$work/loader" --check-32)"
expect "a loader that starts and fails still runs" 0 "$(no_qemu "$work/failing-loader" --check-32)"
expect "no loader is an error, not a skip" 2 "$(emulated "$work/missing" --check-32)"

expect "an i686 program where the kernel refuses, without qemu: skipped" 77 "$(no_qemu "$refused" "$work/i686.exe")"
said "not run: this machine's kernel refuses 32-bit programs"
expect "an i686 program where the kernel refuses, with qemu: emulated" 0 \
  "$(emulated "$refused" "$work/i686.exe" arg)"
said "emulated .*-0 .*/lib/wine/wine .*/lib/wine/wine-i386 .*i686.exe arg"
said "LD_PRELOAD=.*preload.so"
expect "an i686 program where it runs: run natively" 0 "$(emulated "$work/loader" "$work/i686.exe" arg)"
said "^ran .*i686.exe arg"
expect "an i686 program that runs and fails: a failure" 3 "$(no_qemu "$work/failing-loader" "$work/i686.exe")"
expect "no 32-bit loader: a failure, not a skip" 127 "$(emulated "$work/missing" "$work/i686.exe")"

[ $failures -eq 0 ]
