# How every Wine test here runs Wine; sourced by dev.sh (one prefix for a whole test run) and by
# wine_session.sh (a prefix of its own for a test started alone).
# shellcheck shell=bash
export WINEDEBUG=-all
export WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'

# new_wine_prefix DIR: a new Wine prefix in DIR, settled, as WINEPREFIX.
new_wine_prefix() {
  export WINEPREFIX=$1
  wine wineboot -i >/dev/null 2>&1 || return 1
  wineserver -w
}
