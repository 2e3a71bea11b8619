# Sourced by the Wine tests: an X server and a Wine prefix of their own for this test, unless the
# caller gives a prefix (./dev.sh test makes one per test run). Defines `fail`, `expect` and
# `cleanup_wine`.
# shellcheck shell=bash
# shellcheck source=wine_prefix.sh
source "$(dirname "${BASH_SOURCE[0]}")/wine_prefix.sh"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
# expect WHAT EXPECTED ACTUAL: fails, showing both, unless they are the same.
expect() {
  [ "$2" = "$3" ] || fail "$1:
expected:
$2
actual:
$3"
}

wine_work=$(mktemp -d)
wine_pids=()
# The tests run one after another: whatever is left running in the prefix at the end is this
# test's, and ends with it, failed or not. The next test starts once it has ended: a Wine program
# started while the last session's server is going away may never show its window.
end_wine_session() {
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
}
cleanup_wine() {
  for pid in "${wine_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  end_wine_session
  rm -rf "$wine_work"
}
trap cleanup_wine EXIT

if [ -z "${WINEPREFIX:-}" ]; then
  new_wine_prefix "$wine_work/prefix" || fail "cannot create a Wine prefix"
fi
# What the tests may change starts as a new prefix has it, whatever an earlier test left. Without a
# window manager Wine would wait after each message box; a crash ends the program.
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 96 /f >/dev/null 2>&1
wine reg delete 'HKCU\Software\Wine\Debug' /f >/dev/null 2>&1 || true
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1

# shellcheck source=../support/xvfb.sh
source "$(dirname "${BASH_SOURCE[0]}")/../support/xvfb.sh"
# shellcheck source=../support/processes.sh
source "$(dirname "${BASH_SOURCE[0]}")/../support/processes.sh"
# Starts Xvfb on a free display, ended with the session.
start_x_server() {
  start_xvfb "$wine_work"
  wine_pids+=("$xvfb_pid")
}
