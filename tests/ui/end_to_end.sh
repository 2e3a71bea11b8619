#!/usr/bin/env bash
# Starts the real program under Xvfb from a folder that holds a copy of it and a magic.ini,
# clicks Command1 with xdotool, and checks the magic-new.ini it writes.
#   end_to_end.sh PROGRAM MAGIC_INI
set -euo pipefail
program=$1
example=$2

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

cp "$program" "$work/Sigilflip"
cp "$example" "$work/magic.ini"

# Xvfb picks a free display and writes its number to fd 3.
Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$(head -n 1 "$work/display")"

# Started from another folder: the program must find magic.ini beside itself. strace records the
# calls that make magic-new.ini durable.
(cd / && QT_QPA_PLATFORM=xcb exec strace -f -qq -e trace=openat,fsync,fdatasync,linkat,rename,renameat,renameat2 \
  -o "$work/calls" "$work/Sigilflip") >"$work/app.log" 2>&1 &
pids+=($!)

window=$(timeout 30 xdotool search --sync --onlyvisible --name '^Form1$' | head -n 1) ||
  fail "no window named Form1: $(cat "$work/app.log")"
# The middle of Command1, which stands at 52,160 and is 81 x 33.
xdotool mousemove --window "$window" 92 176 click 1

for _ in $(seq 200); do [ -s "$work/magic-new.ini" ] && break; sleep 0.1; done
[ -s "$work/magic-new.ini" ] || fail "no magic-new.ini after the click: $(cat "$work/app.log")"

# Same number of lines; rune lines rewritten under their own key number, others copied.
LC_ALL=C awk -v RS='\r\n' '
  NR == FNR { input[FNR] = $0; inputs = FNR; next }
  {
    outputs = FNR
    if (toupper(substr(input[FNR], 1, 4)) == "RUNE" && substr(input[FNR], 5, 2) ~ /^[1-5]=$/) {
      if (substr($0, 1, 6) != "Rune" substr(input[FNR], 5, 2)) { print "line " FNR ": " $0; bad = 1 }
      runes++
    } else if ($0 != input[FNR]) { print "line " FNR " changed: " $0; bad = 1 }
  }
  END {
    if (outputs != inputs) { print "lines: " outputs " for " inputs; bad = 1 }
    if (runes == 0) { print "no rune lines"; bad = 1 }
    exit bad
  }' "$work/magic.ini" "$work/magic-new.ini" || fail "magic-new.ini does not match magic.ini"

[ "$(tail -c 2 "$work/magic-new.ini" | od -An -c | tr -d ' ')" = '\r\n' ] ||
  fail "magic-new.ini does not end in CR LF"

# The temporary file, opened without a name, reached the disk before it was named and renamed
# over magic-new.ini.
LC_ALL=C awk '
  /openat\(.*O_TMPFILE/ && / = [0-9]+$/ { fd = $NF }
  fd != "" && $0 ~ "(fsync|fdatasync)\\(" fd "\\) += 0$" { synced = 1 }
  /linkat\(.*magic-new\.ini\.~[0-9]+\.tmp"/ && / = 0$/ { linked = synced }
  /rename.*magic-new\.ini\.~[0-9]+\.tmp".*magic-new\.ini"/ && / = 0$/ { renamed = 1; ok = linked }
  END { exit !(renamed && ok) }' "$work/calls" ||
  fail "magic-new.ini was not synced before the rename: $(grep -e magic -e O_TMPFILE "$work/calls")"
[ "$(ls "$work" | grep -c '\.tmp$')" = 0 ] || fail "a temporary file was left: $(ls "$work")"
echo "end-to-end: magic-new.ini written by a click on Command1"
