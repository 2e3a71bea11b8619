#!/usr/bin/env bash
# Every byte and every lead/trail pair of the code pages that Windows gives its languages, as the
# Linux build reads them (iconv and the C library's case, with the Turkish locale and without it)
# and as the Windows build reads them (MultiByteToWideChar and LCMapStringEx): the same characters
# and the same runes, so that a seed gives the same magic-new.ini on both.
#   code_pages.sh WINDOWS_CODE_PAGE_DUMP_EXE LINUX_CODE_PAGE_DUMP
set -euo pipefail
# shellcheck source=wine_session.sh
source "$(dirname "$0")/wine_session.sh"
if [ -z "${2:-}" ]; then
  echo "skipped: no Linux build's code_page_dump to compare with (./dev.sh test gives it)"
  exit 77
fi
wine "$1" | tr -d '\r' >"$wine_work/windows"
"$2" >"$wine_work/linux"
# Without the Turkish locale (LOCPATH names no locales): Sigilflip's own Turkish casing.
LOCPATH="$wine_work/no locales" "$2" >"$wine_work/linux without the Turkish locale"
[ "$(wc -l <"$wine_work/windows")" -gt 100000 ] || fail "the Windows build printed too little"
for linux in "$wine_work/linux" "$wine_work/linux without the Turkish locale"; do
  diff "$wine_work/windows" "$linux" >"$wine_work/differences" ||
    fail "$(basename "$linux") reads $(grep -c '^<' "$wine_work/differences") bytes otherwise than Windows:
$(head -n 20 "$wine_work/differences")"
done
echo "code pages: $(wc -l <"$wine_work/windows") bytes and pairs read alike on Linux and Windows"
