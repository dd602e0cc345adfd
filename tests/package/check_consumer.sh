#!/usr/bin/env bash
# Builds the consumer programs the way a user of the library would, runs
# them, and checks that each wrote its record.
#   check_consumer.sh <find_package|pkg-config|add_subdirectory> <library build dir>
#                     <source dir> <work dir> <C compiler> <C++ compiler>
# In place of the build dir, a release .tar.gz is unpacked instead of
# installed (find_package and pkg-config).
set -euo pipefail
mode=$1 build=$2 source=$3 work=$4 cc=$5 cxx=$6
consumer=$source/tests/package/consumer
cmake=${CMAKE:-cmake}

rm -rf "$work"
mkdir -p "$work/logs"

# Installs into a staging directory and moves it: the package must not
# depend on where it was installed.
install_package() {
  if [ -f "$build" ]; then
    mkdir -p "$work/unpacked"
    (cd "$work/unpacked" && "$cmake" -E tar xf "$build")
    mv "$work/unpacked"/* "$work/stage"
  else
    "$cmake" --install "$build" --prefix "$work/stage" >/dev/null
  fi
  mv "$work/stage" "$work/prefix"
}

case "$mode" in
  find_package)
    install_package
    "$cmake" -S "$consumer" -B "$work/build" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_PREFIX_PATH="$work/prefix" -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" >/dev/null
    "$cmake" --build "$work/build" >/dev/null
    bin=$work/build
    ;;
  pkg-config)
    install_package
    export PKG_CONFIG_PATH=$(dirname "$(find "$work/prefix" -name VOSK_Log.pc)")
    mkdir -p "$work/build"
    # As the README says for a private prefix: the library's directory as
    # the program's run-time search path, nothing in the environment.
    rpath=-Wl,-rpath,$(pkg-config --variable=libdir VOSK_Log)
    # shellcheck disable=SC2046
    "$cc" -std=c99 -Wall -Wextra -Werror "$consumer/consumer.c" \
      $(pkg-config --cflags --libs VOSK_Log) "$rpath" -o "$work/build/consumer_c"
    # shellcheck disable=SC2046
    "$cxx" -Wall -Wextra -Werror "$consumer/consumer.cpp" \
      $(pkg-config --cflags --libs VOSK_Log) "$rpath" -o "$work/build/consumer_cxx"
    unset LD_LIBRARY_PATH
    # README's other way: built with no run-time search path, told the
    # library's directory when run.
    # shellcheck disable=SC2046
    "$cc" -std=c99 -Wall -Wextra -Werror "$consumer/consumer.c" \
      $(pkg-config --cflags --libs VOSK_Log) -o "$work/build/consumer_c_env"
    LD_LIBRARY_PATH=$(pkg-config --variable=libdir VOSK_Log) "$work/build/consumer_c_env" "$work/logs"
    bin=$work/build
    ;;
  add_subdirectory)
    "$cmake" -S "$consumer" -B "$work/build" -DCMAKE_BUILD_TYPE=Release -DVOSK_LOG_SOURCE_DIR="$source" \
      -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" >/dev/null
    "$cmake" --build "$work/build" -j "$(nproc)" >/dev/null
    bin=$work/build
    ;;
  *)
    echo "unknown mode: $mode" >&2
    exit 2
    ;;
esac

"$bin/consumer_c" "$work/logs"
"$bin/consumer_cxx" "$work/logs"
