#!/usr/bin/env bash
# Checks the Windows program file: one static, stripped exe that needs only DLLs every Windows
# has, with the version record, the icon and the manifest read back through the Windows API.
#   program_file.sh SIGILFLIP_EXE FORM1_PROBE_EXE PROJECT_VERSION VERSION_TEXT
set -euo pipefail
program=$1
probe=$2
numeric=$3.0
version=$4
# shellcheck source=wine_session.sh
source "$(dirname "$0")/wine_session.sh"

objdump=x86_64-w64-mingw32-objdump
imports=$("$objdump" -p "$program" | sed -n 's/^\s*DLL Name: //p' | tr '[:lower:]' '[:upper:]' | sort)
for dll in $imports; do
  case "$dll" in
    KERNEL32.DLL | USER32.DLL | GDI32.DLL | COMCTL32.DLL | MSVCRT.DLL | ADVAPI32.DLL | SHELL32.DLL | OLE32.DLL) ;;
    *) fail "Sigilflip.exe needs $dll, which not every Windows has" ;;
  esac
done
[ -n "$imports" ] || fail "no imports read from $program"
! "$objdump" -h "$program" | grep -q '\.debug' || fail "Sigilflip.exe carries debug sections"

actual=$(wine "$probe" version "$(winepath -w "$program")" | tr -d '\r')
expected="file version $numeric
product version $numeric
translation 0409 1200
ProductName Sigilflip
InternalName Sigilflip
OriginalFilename Sigilflip.exe
FileVersion $version
ProductVersion $version
FileDescription Sigilflip
icon 1
manifest PerMonitorV2 1
manifest <longPathAware 1
manifest Microsoft.Windows.Common-Controls 1
manifest level=\"asInvoker\" 1"
[ "$actual" = "$expected" ] || fail "version record, icon or manifest:
$actual"
echo "Sigilflip.exe: $(stat -c %s "$program") bytes, imports $(echo $imports)"
