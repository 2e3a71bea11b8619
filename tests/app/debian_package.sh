#!/usr/bin/env bash
# Checks the Debian package: lintian finds nothing to say, the desktop entry offers Sigilflip for
# a magic.ini (and no other file) in "Open With" (and not in the menus, where it would start without a game folder),
# and the manual page renders without a warning.
#   debian_package.sh DEB
set -euo pipefail
deb=$1
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# lintian as root says so; that is about how it was run, not about the package.
lintian --fail-on error,warning "$deb" 2>&1 | grep -v '^running with root privileges' >"$work/lintian" || true
[ ! -s "$work/lintian" ] || fail "lintian: $(cat "$work/lintian")"

dpkg-deb -x "$deb" "$work/root"
entry=$work/root/usr/share/applications/sigilflip.desktop
desktop-file-validate "$entry" || fail "the desktop entry is not valid"
for line in 'Exec=Sigilflip %f' 'MimeType=text/x-sigilflip-magic-ini;' 'NoDisplay=true'; do
  grep -qxF "$line" "$entry" || fail "the desktop entry has no $line"
done
# Once installed, a magic.ini is of the type the entry takes (as file managers see it, through the
# shared MIME database), and any other text file is not.
update-mime-database "$work/root/usr/share/mime" >/dev/null 2>&1
printf 'RUNE1=Fire\r\n' >"$work/magic.ini"
printf 'RUNE1=Fire\r\n' >"$work/notes.ini"
type_of() { XDG_DATA_HOME=$work/root/usr/share gio info -a standard::content-type "$1" | sed -n 's/^ *standard::content-type: //p'; }
[ "$(type_of "$work/magic.ini")" = text/x-sigilflip-magic-ini ] ||
  fail "magic.ini is $(type_of "$work/magic.ini") once installed"
[ "$(type_of "$work/notes.ini")" = text/plain ] || fail "another .ini is $(type_of "$work/notes.ini")"

page=$work/root/usr/share/man/man1/Sigilflip.1.gz
zcat "$page" | groff -man -Tutf8 -ww -z 2>"$work/groff" || fail "the manual page does not render"
[ ! -s "$work/groff" ] || fail "the manual page: $(cat "$work/groff")"
for section in SYNOPSIS ARGUMENTS FILES 'EXIT STATUS'; do
  zcat "$page" | grep -q "^\.SH $section" || fail "the manual page has no $section"
done
echo "debian package: lintian clean, desktop entry for magic.ini, manual page"
