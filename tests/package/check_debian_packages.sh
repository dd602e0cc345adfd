#!/usr/bin/env bash
# Checks the Debian packages as a Debian user meets them: lintian reports no
# error, and every warning it gives is one docs/debian-packages.md lists with
# its reason; then, as root, the three packages are installed on this
# machine, a C program and a CMake project are built against the installed
# system files with no extra flags and run, and the packages are purged,
# leaving none of their files behind.
#   check_debian_packages.sh <directory of the .debs> <source dir> <work dir>
set -euo pipefail
debs=$1 source=$2 work=$3
consumer=$source/tests/package/consumer
packages=(libvosk-log1 libvosk-log-dev vosklog)

lintian_out=$(lintian --fail-on error "$debs"/*.deb 2>/dev/null) || {
  printf '%s\n' "$lintian_out"
  echo "lintian reports errors"
  exit 1
}
unlisted=0
while read -r level package tag rest; do
  [ "$level" = W: ] || continue
  if ! grep -q "\`$tag\`" "$source/docs/debian-packages.md"; then
    echo "lintian warning not listed in docs/debian-packages.md: $package $tag $rest"
    unlisted=1
  fi
done <<<"$lintian_out"
[ $unlisted -eq 0 ]
echo "lintian: no errors${lintian_out:+; listed warnings:}"
[ -z "$lintian_out" ] || printf '    %s\n' "$lintian_out"

if [ "$(id -u)" -ne 0 ]; then
  echo "== not root: the packages were not installed"
  exit 0
fi
if dpkg-query -W "${packages[@]}" >/dev/null 2>&1; then
  echo "the packages are already installed here: not touching them"
  exit 1
fi

rm -rf "$work"
mkdir -p "$work/logs"
work=$(cd "$work" && pwd)  # the consumers take an absolute log directory
files=$work/files
for deb in "$debs"/*.deb; do
  dpkg-deb --fsys-tarfile "$deb" | tar -t | sed -e 's|^\./|/|' -e '/\/$/d'
done >"$files"
trap 'dpkg --purge "${packages[@]}" >/dev/null 2>&1 || true' EXIT
dpkg -i "$debs"/*.deb >"$work/dpkg.log"

# As a user on Debian builds: nothing but the compiler and pkg-config.
# shellcheck disable=SC2046
cc -std=c99 -Wall -Wextra -Werror "$consumer/consumer.c" $(pkg-config --cflags --libs VOSK_Log) \
  -o "$work/consumer_pkg_config"
"$work/consumer_pkg_config" "$work/logs"
cmake -S "$consumer" -B "$work/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$work/build" >/dev/null
"$work/build/consumer_c" "$work/logs"
"$work/build/consumer_cxx" "$work/logs"
echo "one record from each" | vosklog -d "$work/logs" -n tool.log
grep -q "one record from each" "$work/logs/tool.log"
vosklog-read -d "$work/logs" -n tool.log | grep -q "one record from each"

dpkg --purge "${packages[@]}" >>"$work/dpkg.log"
trap - EXIT
left=0
while read -r file; do
  if [ -e "$file" ] || [ -L "$file" ]; then
    echo "left behind: $file"
    left=1
  fi
done <"$files"
if dpkg-query -W "${packages[@]}" >/dev/null 2>&1; then
  echo "still known to dpkg after the purge"
  left=1
fi
[ $left -eq 0 ]
echo "installed, consumers built and run against /usr, purged: nothing left"
