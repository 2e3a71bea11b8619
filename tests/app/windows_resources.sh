#!/usr/bin/env bash
# Compiles the Windows resource script with MinGW's windres, with and without the manifest, and
# checks that the version record and the manifest are in it.
#   windows_resources.sh WINDRES RC_FILE VERSION
set -euo pipefail
windres=$1
rc=$2
version=$3
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
cd "$(dirname "$rc")"

for variant in "" "-DSIGILFLIP_EMBED_MANIFEST"; do
  "$windres" --preprocessor=cpp $variant "$(basename "$rc")" -O coff -o "$out/sigilflip.res"
  [ -s "$out/sigilflip.res" ]
done

"$windres" --preprocessor=cpp -DSIGILFLIP_EMBED_MANIFEST "$(basename "$rc")" -O rc >"$out/decompiled.rc"
for expected in 'VALUE "ProductName", "Sigilflip"' 'VALUE "InternalName", "Sigilflip"' \
  'VALUE "OriginalFilename", "Sigilflip.exe"' "VALUE \"FileVersion\", \"$version\"" \
  "VALUE \"ProductVersion\", \"$version\"" 'RT_MANIFEST' 'RT_GROUP_ICON' \
  'VALUE "Translation", 0x409, 1200'; do
  grep -qF "$expected" "$out/decompiled.rc" || { echo "FAIL: missing $expected" >&2; exit 1; }
done
echo "windows resources: compiled"
