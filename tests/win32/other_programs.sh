#!/usr/bin/env bash
# Sigilflip.exe under Wine beside other programs, played by the probe: a virus scanner that opens
# every new file, a game, an indexer or a viewer that holds magic.ini or magic-new.ini for a moment
# or for good (sharing nothing, sharing everything, or a mapped view), a second Sigilflip pressed
# at the same moment, and the Task Manager ending Sigilflip while it writes. Each run must succeed or fail clearly within a few
# seconds, keep the old magic-new.ini after a failure and leave nothing else in the folder.
#   other_programs.sh SIGILFLIP_EXE FORM1_PROBE_EXE CORE_TESTS_EXE
set -euo pipefail
program=$1
probe=$2
core_tests=$3
# shellcheck source=wine_session.sh
source "$(dirname "$0")/wine_session.sh"

folder="$wine_work/game"
mkdir -p "$folder"
cp "$program" "$folder/Sigilflip.exe"
windows_folder="Z:$(echo "$folder" | tr / '\\')"
probe() { wine "$probe" "$@" | tr -d '\r'; }

expect_folder() {
  expect "$1: the folder" "Sigilflip.exe
magic-new.ini
magic.ini" "$(ls "$folder")"
}
# A failed run: the box names the file and says it is in use, within a few seconds, and the old
# magic-new.ini stays as it was.
expect_in_use() {  # expect_in_use WHAT VERB FILE
  local result seconds
  result=$(probe run)
  expect "$1" "box Cannot $2 $windows_folder\\$3:
It is open in another program." "$(echo "$result" | grep -v '^seconds')"
  seconds=$(echo "$result" | sed -n 's/^seconds //p')
  # Not before the pauses are over; the end only bounds a hang, as a loaded machine is slow.
  awk -v s="$seconds" 'BEGIN { exit !(s >= 1.5 && s < 30) }' || fail "$1: the run took $seconds s"
  cmp -s "$wine_work/kept.ini" "$folder/magic-new.ini" || fail "$1: magic-new.ini changed"
  expect_folder "$1"
}
# hold FILE MS HOW: holds FILE for MS milliseconds in the background (see the probe), once it is held.
hold() {
  : >"$wine_work/hold.log"
  wine "$probe" hold "$windows_folder\\$1" "$2" "$3" >"$wine_work/hold.log" &
  holder=$!
  wine_pids+=("$holder")
  for _ in $(seq 100); do grep -q held "$wine_work/hold.log" && return; sleep 0.1; done
  fail "could not hold $1 ($3): $(cat "$wine_work/hold.log")"
}

# magic-new.ini's temporary file is flushed before it is renamed over the old one, through its
# own handle: Wine's trace of the calls (the core suite's run, one test).
wine reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /d \
  'KERNEL32.CreateFileW;KERNEL32.FlushFileBuffers;KERNEL32.SetFileInformationByHandle' /f >/dev/null 2>&1
WINEDEBUG=+relay wine "$core_tests" --gtest_filter='SigilflipperTest.WritesTheOutputAndShowsTheMapping' \
  >/dev/null 2>"$wine_work/relay.log"
LC_ALL=C awk '
  /Call .*CreateFileW\(.*magic-new\.ini\.~/ { creating = 1; next }
  creating && /Ret .*CreateFileW\(/ { match($0, /retval=[0-9a-f]+/); handle = substr($0, RSTART + 7, RLENGTH - 7); creating = 0 }
  handle != "" && $0 ~ "Call .*FlushFileBuffers\\(" handle "\\)" { flushed = 1 }
  handle != "" && $0 ~ "Call .*SetFileInformationByHandle\\(" handle ",00000003," { renamed = 1; ok = flushed }
  END { exit !(renamed && ok) }' "$wine_work/relay.log" ||
  fail "the temporary file was not flushed before its rename: $(grep -e FlushFile -e 'SetFileInformation' -e 'magic-new' "$wine_work/relay.log" | head -20)"
wine reg delete 'HKCU\Software\Wine\Debug' /f >/dev/null 2>&1

start_x_server
(cd / && exec wine "$folder/Sigilflip.exe") >"$wine_work/program.log" 2>&1 &
sigilflip=$!
wine_pids+=("$sigilflip")

# A scanner opening every new file: runs on a 19 KB file and on a 23 MB one all succeed.
small=$(for i in $(seq 400); do printf 'RUNE%d=Name %d\r\nSome other line %d\r\n' $((i % 5 + 1)) $((i % 40)) "$i"; done)
printf '%s' "$small" >"$folder/magic.ini"
probe grab "$windows_folder" 12 >"$wine_work/grab.log" &
grabber=$!
for _ in $(seq 15); do expect "a run beside a scanner" ok "$(probe run | head -n 1)"; done
head -c 23000000 /dev/zero | tr '\0' 'x' | fold -w 100 | sed 's/$/\r/' >"$folder/magic.ini"
printf '%s' "$small" >>"$folder/magic.ini"
for _ in 1 2 3; do expect "a 23 MB run beside a scanner" ok "$(probe run | head -n 1)"; done
wait_for "$grabber" 60 "the scanner"
grep -q '^opened 0,' "$wine_work/grab.log" || fail "the scanner could open a temporary file: $(cat "$wine_work/grab.log")"
expect_folder "after the scanner"

# Held for 300 ms: the run waits and succeeds.
printf '%s' "$small" >"$folder/magic.ini"
for held in "magic.ini none" "magic-new.ini none" "magic-new.ini all" "magic-new.ini map"; do
  read -r file how <<<"$held"
  hold "$file" 300 "$how"
  expect "$file held for 300 ms ($how)" ok "$(probe run | head -n 1)"
  wait_for "$holder" 30 "the holder of $file"
done

# Held for good: the run fails, saying so, and changes nothing.
cp "$folder/magic-new.ini" "$wine_work/kept.ini"
for how in none all map; do
  hold magic-new.ini -1 $how
  expect_in_use "magic-new.ini held for good ($how)" write magic-new.ini
  kill "$holder"
  wait_for "$holder" 30 "the holder of magic-new.ini" || true
done
hold magic.ini -1 none
expect_in_use "magic.ini held for good" read magic.ini
kill "$holder"

# Two Sigilflip windows on one folder, pressed at the same moment: neither fails.
(cd / && exec wine "$folder/Sigilflip.exe") >>"$wine_work/program.log" 2>&1 &
second=$!
wine_pids+=("$second")
for round in $(seq 10); do
  expect "two windows pressed together, round $round" "ok
ok" "$(probe run-all 2)"
done
# One of the two is closed; the other goes on.
wine "$probe" close >/dev/null
for _ in $(seq 100); do
  kill -0 "$second" 2>/dev/null || break
  kill -0 "$sigilflip" 2>/dev/null || { sigilflip=$second; break; }
  sleep 0.1
done

# A magic.ini that leads to a device is refused at once, not read forever.
mv "$folder/magic.ini" "$wine_work/magic.ini"
ln -s /dev/zero "$folder/magic.ini"
expect "magic.ini leading to /dev/zero" "box Cannot read $windows_folder\\magic.ini:
It is a device, a pipe or a socket, not a file." "$(probe run | grep -v '^seconds')"
rm "$folder/magic.ini"

# Ended while writing a large file: the old magic-new.ini stays and nothing else is left.
cp "$folder/magic-new.ini" "$wine_work/kept.ini"
head -c 150000000 /dev/zero | tr '\0' 'x' | fold -w 100 | sed 's/$/\r/' >"$folder/magic.ini"
wine "$probe" end-during-write "$windows_folder" 20000000 >"$wine_work/end.log" 2>&1 &
ender=$!
probe run >/dev/null 2>&1 || true
wait_for "$ender" 120 "the probe that ends Sigilflip" || fail "Sigilflip was not ended while writing: $(cat "$wine_work/end.log")"
wait_for "$sigilflip" 30 "Sigilflip, ended" || true
for _ in $(seq 50); do [ "$(ls "$folder" | wc -l)" = 3 ] && break; sleep 0.1; done
cmp -s "$wine_work/kept.ini" "$folder/magic-new.ini" || fail "magic-new.ini changed when Sigilflip was ended"
expect_folder "after Sigilflip was ended while writing"
echo "other programs: a scanner, files held briefly and for good, a device, Sigilflip ended while writing"
