# Sourced by the tests that need an X server: start_xvfb DIR starts Xvfb on a free display (it
# writes the number to DIR/display), exports DISPLAY and sets xvfb_pid. The caller defines `fail`
# and ends the server.
# shellcheck shell=bash
start_xvfb() {
  Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3>"$1/display" 2>"$1/xvfb.log" &
  # shellcheck disable=SC2034 # for the caller
  xvfb_pid=$!
  for _ in $(seq 100); do [ -s "$1/display" ] && break; sleep 0.1; done
  [ -s "$1/display" ] || fail "Xvfb did not start: $(cat "$1/xvfb.log")"
  DISPLAY=":$(head -n 1 "$1/display")"
  export DISPLAY
}
