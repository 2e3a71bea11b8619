# Sourced by the tests that start programs in the background. The caller defines `fail`.
# shellcheck shell=bash

# wait_for PID SECONDS WHAT: waits at most SECONDS for the background process PID to end and
# returns its exit status; past that, the test fails saying that WHAT did not end.
wait_for() {
  local tenths
  for tenths in $(seq $(($2 * 10))); do
    kill -0 "$1" 2>/dev/null || break
    sleep 0.1
  done
  ! kill -0 "$1" 2>/dev/null || fail "$3 did not end within $2 s (waited $((tenths / 10)) s)"
  wait "$1" 2>/dev/null
}
