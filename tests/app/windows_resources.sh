#!/usr/bin/env bash
# Compiles the Windows resource script with MinGW's windres, in the Linux build too, with the
# manifest (MinGW builds) and without it (MSVC's linker adds the manifest file itself). What the built
# program's version record, icon and manifest say is read back through the Windows API under Wine
# (tests/win32/program_file.sh).
#   windows_resources.sh WINDRES RC_FILE
set -euo pipefail
windres=$1
rc=$2
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
cd "$(dirname "$rc")"

manifests=()
for variant in "" "-DSIGILFLIP_EMBED_MANIFEST"; do
  "$windres" --preprocessor=cpp $variant "$(basename "$rc")" -O rc >"$out/decompiled.rc"
  manifests+=("$(grep -c RT_MANIFEST "$out/decompiled.rc" || true)")
done
[ "${manifests[*]}" = "0 1" ] || { echo "FAIL: manifests without and with it: ${manifests[*]}" >&2; exit 1; }
echo "windows resources: compiled, the manifest only where asked"
