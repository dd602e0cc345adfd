#!/usr/bin/env bash
# The DLL carries a version resource naming the product, its file and the
# project's version.
#   check_version_resource.sh <dll> <objdump> <version>
set -euo pipefail
dll=$1 objdump=$2 version=$3

# Resource type 16 is RT_VERSION; types are the least indented entries.
if ! "$objdump" -p "$dll" | grep -Eq '^[0-9a-f]+   Entry: ID: 0x000010,'; then
  echo "$dll: no version resource"
  exit 1
fi
# The string table is UTF-16: each name is followed by its value.
values=$(strings -el "$dll" | tr '\n' '|')
for pair in "ProductName|VOSK_Log" "OriginalFilename|VOSK_Log.dll" \
            "FileVersion|$version" "ProductVersion|$version"; do
  if [[ "|$values" != *"|$pair|"* ]]; then
    echo "$dll: version resource lacks ${pair%%|*} = ${pair#*|}"
    exit 1
  fi
done
echo "$dll: version resource $version"
