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

# No session bus: Qt would start one of its own (with dbus-x11 installed), which outlives the
# program and keeps strace, and so this test, waiting.
export DBUS_SESSION_BUS_ADDRESS=disabled:
cp "$program" "$work/Sigilflip"
cp "$example" "$work/magic.ini"

# shellcheck source=../support/xvfb.sh
source "$(dirname "$0")/../support/xvfb.sh"
# shellcheck source=../support/processes.sh
source "$(dirname "$0")/../support/processes.sh"
start_xvfb "$work"
pids+=("$xvfb_pid")

# Started from another folder: the program must find magic.ini beside itself. strace records the
# calls that make magic-new.ini durable.
(cd / && QT_QPA_PLATFORM=xcb exec strace -f -qq -e trace=openat,fsync,fdatasync,linkat,rename,renameat,renameat2 \
  -o "$work/calls" "$work/Sigilflip") >"$work/app.log" 2>&1 &
first=$!
pids+=("$first")

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
[ -z "$(find "$work" -maxdepth 1 -name '*.tmp')" ] || fail "a temporary file was left: $(ls "$work")"

pkill -f "^$work/Sigilflip\$" || true
wait_for "$first" 30 "Sigilflip (under strace)" || true

# A game folder handed to the program, which lies in a folder of its own without magic.ini.
mkdir "$work/bin"
mv "$work/Sigilflip" "$work/bin/Sigilflip"
game="$work/Spiele und Игры 魔法 ünï"
mkdir "$game"
cp "$example" "$game/magic.ini"

# start_with DIR ARGUMENT...: the program started in DIR, in the locale LANG=$program_locale if
# set; waits for Form1.
program_locale=
start_with() {
  local dir=$1
  shift
  local locale=()
  [ -z "$program_locale" ] || locale=(LC_ALL= LC_CTYPE= LANG="$program_locale")
  (cd "$dir" && exec env "${locale[@]}" QT_QPA_PLATFORM=xcb "$work/bin/Sigilflip" "$@") >"$work/app.log" 2>&1 &
  program=$!
  pids+=("$program")
  window=$(timeout 30 xdotool search --sync --onlyvisible --name '^Form1$' | head -n 1) ||
    fail "no window Form1 for $*: $(cat "$work/app.log")"
}
stop_program() {
  kill "$program" 2>/dev/null || true
  wait_for "$program" 30 Sigilflip || true
}

for way in folder file relative; do
  rm -f "$game/magic-new.ini"
  case $way in
    folder) start_with / "$game" ;;
    file) start_with / "$game/magic.ini" ;;
    relative) start_with "$work" "$(basename "$game")" ;;
  esac
  xdotool mousemove --window "$window" 92 176 click 1
  for _ in $(seq 100); do [ -s "$game/magic-new.ini" ] && break; sleep 0.1; done
  [ -s "$game/magic-new.ini" ] || fail "no magic-new.ini in the game folder given as a $way"
  stop_program
  [ "$(ls "$work/bin")" = Sigilflip ] || fail "written beside the program: $(ls "$work/bin")"
done

# The system's code page, which Sigilflip takes from the locale's language as Windows would: names
# are one rune by the letters of their code page (code_pages.sh).
# new_names: the new names in magic-new.ini, one a line.
new_names() { LC_ALL=C sed 's/^Rune[1-5]=//; s/\r$//' "$game/magic-new.ini"; }
# shellcheck source=../support/code_pages.sh
source "$(dirname "$0")/../support/code_pages.sh"
for program_locale in "${code_page_locales[@]}"; do
  write_code_page_file "$program_locale" "$game/magic.ini"
  rm -f "$game/magic-new.ini"
  start_with / "$game"
  xdotool mousemove --window "$window" 92 176 click 1
  for _ in $(seq 100); do [ -s "$game/magic-new.ini" ] && break; sleep 0.1; done
  stop_program
  [ -s "$game/magic-new.ini" ] || fail "no magic-new.ini under $program_locale"
  names=$(new_names)
  # Each rune its own new name, and lines of one rune (the first two, where there are two) one.
  count=$(echo "$runes" | wc -l)
  [ "$(echo "$names" | sort -u | wc -l)" = "$count" ] &&
    { [ "$count" != 2 ] || [ "$(echo "$names" | sed -n 1p)" = "$(echo "$names" | sed -n 2p)" ]; } ||
    fail "under $program_locale, not the runes the code page says ($runes): $names"
done
program_locale=

# A folder that does not exist: the press says so in a box, and nothing is written.
start_with / "$work/no such folder"
xdotool mousemove --window "$window" 92 176 click 1
timeout 10 xdotool search --sync --onlyvisible --name '^Sigilflip$' >/dev/null ||
  fail "no error box for a folder that does not exist"
stop_program
[ ! -e "$work/no such folder" ] || fail "the missing folder was made"

# Arguments Sigilflip does not know: a box that says how to start it, then the exit status 2.
for arguments in "-x" "$game $game"; do
  # shellcheck disable=SC2086
  (cd / && QT_QPA_PLATFORM=xcb exec "$work/bin/Sigilflip" $arguments) >"$work/usage.log" 2>&1 &
  program=$!
  box=$(timeout 30 xdotool search --sync --onlyvisible --name '^Sigilflip$' | head -n 1) ||
    fail "no usage box for $arguments"
  sleep 0.5
  xdotool mousemove --window "$box" 20 20 key Return
  status=0
  wait_for "$program" 30 "Sigilflip after the usage box" || status=$?
  [ $status = 2 ] || fail "exit status $status after the usage box for $arguments"
  grep -q '^Usage: Sigilflip \[--run\] \[--seed N\] \[FOLDER | FILE\]' "$work/usage.log" || fail "no usage: $(cat "$work/usage.log")"
done
# Without a display (over ssh): --help and --version answer on standard output, what is not known
# on standard error, and no window is tried.
expect_output() {  # expect_output STATUS STDOUT-START STDERR-START ARGUMENT...
  local status=0
  timeout 10 env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$work/bin/Sigilflip" "${@:4}" \
    >"$work/out" 2>"$work/err" || status=$?
  [ "$status" = "$1" ] || fail "exit status $status for ${*:4}: $(cat "$work/err")"
  [ "$(head -c ${#2} "$work/out")" = "$2" ] || fail "standard output for ${*:4}: $(cat "$work/out")"
  [ "$(head -c ${#3} "$work/err")" = "$3" ] || fail "standard error for ${*:4}: $(cat "$work/err")"
}
expect_output 0 "Usage: Sigilflip [--run] [--seed N] [FOLDER | FILE]" "" --help
expect_output 0 "Sigilflip 1." "" --version
expect_output 2 "" "Usage: Sigilflip [--run] [--seed N] [FOLDER | FILE]" --no-such-option
expect_output 1 "" "Sigilflip cannot open its window: there is no display" "$game"
# --run needs none: a seed repeats its shuffle, and so does the seed that a run prints; a window
# started with the seed writes that shuffle at every press.
expect_output 0 "" "Seed: 1234" --run --seed 1234 "$game"
cp "$game/magic-new.ini" "$work/seeded.ini"
cp "$work/out" "$work/seeded.out"
grep -q ' => ' "$work/out" &&
  [ "$(sed 's/ => .*//' "$work/out" | sort)" = "$(sed 's/.* => //' "$work/out" | sort)" ] ||
  fail "--run printed no shuffle: $(cat "$work/out")"
expect_output 0 "" "Seed: 1234" --run --seed=1234 "$game/magic.ini"
cmp -s "$work/seeded.ini" "$game/magic-new.ini" && cmp -s "$work/seeded.out" "$work/out" ||
  fail "the same seed gave another shuffle"
expect_output 0 "" "Seed: " --run "$game"
cp "$game/magic-new.ini" "$work/timed.ini"
expect_output 0 "" "Seed: " --run --seed "$(sed -n 's/^Seed: //p' "$work/err")" "$game"
cmp -s "$work/timed.ini" "$game/magic-new.ini" || fail "the printed seed did not repeat the run"
mkdir "$work/empty"
expect_output 1 "" "Seed: " --run "$work/empty"
grep -q "^Cannot read $work/empty/magic.ini:" "$work/err" && [ ! -s "$work/out" ] &&
  [ -z "$(ls "$work/empty")" ] || fail "--run without magic.ini: $(cat "$work/err")"
expect_output 2 "" "Usage: Sigilflip [--run] [--seed N] [FOLDER | FILE]" --run --seed 4294967296
start_with / --seed 1234 "$game"
for press in 1 2; do
  rm -f "$game/magic-new.ini"
  xdotool mousemove --window "$window" 92 176 click 1
  for _ in $(seq 100); do [ -s "$game/magic-new.ini" ] && break; sleep 0.1; done
  cmp -s "$work/seeded.ini" "$game/magic-new.ini" || fail "press $press with --seed 1234: another shuffle"
done
stop_program
# The check's warnings go to standard error, and the run still succeeds.
printf 'RUNE1=Fire\r\nRUNE2=\r\nRUNE3=Ice\r\n' >"$work/empty/magic.ini"
expect_output 0 "" "Seed: 1" --run --seed 1 "$work/empty"
[ "$(sed -n 2p "$work/err")" = "Rune error : count = 998 : " ] || fail "--run warned: $(cat "$work/err")"
# A path that names nothing is said so, as given, and nothing is written.
expect_output 1 "" "Seed: " --run "$game/Magic.ini"
grep -qF "$game/Magic.ini: no such file or folder." "$work/err" && [ ! -e "$game/Magic.ini" ] ||
  fail "--run on a path that names nothing: $(cat "$work/err")"
# What cannot be written is an error, as with the system's tools; once magic-new.ini is written,
# one with a status of its own (3), said once where standard error takes it.
for arguments in --help --version "--run $work/empty"; do
  status=0
  # shellcheck disable=SC2086
  env -u DISPLAY "$work/bin/Sigilflip" $arguments >/dev/full 2>"$work/err" || status=$?
  case $arguments in
    --run*) [ $status = 3 ] && [ "$(grep -c "^Sigilflip: magic-new.ini was written, but not all of its mapping and warnings could be printed: No space left on device.$" "$work/err")" = 1 ] ;;
    *) [ $status = 1 ] && grep -q "^Sigilflip: write error: No space left on device" "$work/err" ;;
  esac || fail "exit status $status for $arguments into a full disk: $(cat "$work/err")"
done
# A pipe whose reader is gone (fd 8: the fifo's writing end, once its reader closed).
mkfifo "$work/fifo"
exec 7<>"$work/fifo" 8>"$work/fifo" 7<&-
for closed in '>&-' '2>&-' '2>/dev/full' '>&8'; do
  status=0
  eval "\"\$work/bin/Sigilflip\" --run \"\$work/empty\" >/dev/null 2>\"\$work/err\" $closed" || status=$?
  [ $status = 3 ] || fail "exit status $status for --run with $closed: $(cat "$work/err")"
done
exec 8>&-
echo "end-to-end: magic-new.ini written by a click on Command1, in the program's folder and in a game folder handed to it"
