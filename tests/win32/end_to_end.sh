#!/usr/bin/env bash
# Runs Sigilflip.exe under Wine in Xvfb, started from another folder, drives it with xdotool as a
# user would and reads the window, the list and the message boxes back through the Win32 API.
#   end_to_end.sh SIGILFLIP_EXE FORM1_PROBE_EXE
set -euo pipefail
program=$1
probe=$2
# shellcheck source=wine_session.sh
source "$(dirname "$0")/wine_session.sh"
start_x_server

# Deeper than the 260 characters of MAX_PATH.
folder="$wine_work/game folder ünï"
for level in 1 2 3 4 5 6; do folder+="/$level-$(printf '%.0sdeep ' $(seq 10))"; done
[ ${#folder} -gt 300 ] || fail "the game folder is only ${#folder} characters long"
mkdir -p "$folder"
cp "$program" "$folder/Sigilflip.exe"
windows_folder="Z:$(echo "$folder" | tr / '\\')"

probe() { wine "$probe" "$@" | tr -d '\r'; }
# On a failure, what the program printed too.
trap 'status=$?; [ $status -eq 0 ] || cat "$wine_work/program.log" 2>/dev/null; cleanup_wine' EXIT

# expect_layout DPI "CLIENT" "LIST1" "COMMAND1": the facts of `probe window` that the layout fixes,
# with the client size and the controls' places in pixels.
expect_layout() {
  expect "Form1 at $1 dpi" "client $2
children 2
List1 $3
Command1 $4
caption Command1
Command1 push button 1, default 0
focus Command1" "$(probe window | grep -v -e '^click ' -e '^item height ' -e '^List1 sorted' -e '^List1 horizontal')"
}

# start [DIR [ARGUMENT...]]: Sigilflip.exe started in DIR (/ unless given) with the arguments.
start() {
  local dir=${1:-/}
  shift || true
  (cd "$dir" && exec wine "$folder/Sigilflip.exe" "$@") >>"$wine_work/program.log" 2>&1 &
  program_pid=$!
}

# Closing the window ends the program.
stop() {
  wine "$probe" close >/dev/null 2>&1 || true
  wait_for "$program_pid" 10 "Sigilflip, its window closed," || true
}

click_command1() {
  local where
  where=$(probe window | sed -n 's/^click //p')
  # shellcheck disable=SC2086
  xdotool mousemove $where click 1
}

# Return does nothing, wherever the focus is.
expect_return_does_nothing() {
  rm -f "$folder/magic-new.ini"
  xdotool key Return
  sleep 0.5
  [ ! -e "$folder/magic-new.ini" ] || fail "Return ran Sigilflip $1"
}

# List1 scrolls sideways as far as its widest item: prints how far, in pixels.
horizontal_extent() {
  local line
  line=$(probe window | grep '^List1 horizontal')
  [[ $line =~ ^List1\ horizontal\ scroll\ bar\ 1,\ width\ ([0-9]+),\ scrolls\ ([0-9]+)$ ]] ||
    fail "no horizontal scroll bar: $line"
  [ "${BASH_REMATCH[2]}" -gt "${BASH_REMATCH[1]}" ] || fail "List1 does not scroll to its long item: $line"
  echo "${BASH_REMATCH[2]}"
}

wait_for_output() {
  for _ in $(seq 100); do [ -s "$folder/magic-new.ini" ] && return; sleep 0.1; done
  fail "no magic-new.ini: $(cat "$wine_work/program.log")"
}


# magic.ini: keys in any case, names with spaces and in other case, the last line unterminated.
printf '[Magic]\r\nRUNE1=Fire\r\nrune2=  Ice \r\nName=Spell one\r\nRUNE3=Wind\r\nRUNE5=fIRE\r\n; a comment\r\nRune4=Stone' \
  >"$folder/magic.ini"

start
expect_layout 96 "213 206" "12 12 181 134" "52 160 81 33"
height96=$(probe window | sed -n 's/^item height //p')

# Command1 is not the default button: Return does not run, at start or after Tab and Shift+Tab.
expect_return_does_nothing "at start"

# Tab and Shift+Tab move between the two controls; Space on Command1 runs.
xdotool key Tab
expect "focus after Tab" "focus List1" "$(probe window | grep '^focus')"
expect_return_does_nothing "after Tab"
xdotool key shift+Tab
expect "focus after Shift+Tab" "focus Command1" "$(probe window | grep '^focus')"
expect_return_does_nothing "after Shift+Tab"
xdotool key space
wait_for_output

# The list: each rune once, as first spelled, in the order met; the new names a permutation.
list=$(probe list)
expect "old names" "Fire
Ice
Wind
Stone" "$(echo "$list" | sed 's/ => .*//')"
expect "new names" "Fire
Ice
Stone
Wind" "$(echo "$list" | sed 's/.* => //' | sort)"

# magic-new.ini byte for byte: built here from the input and the list.
expected_output=$(LC_ALL=C awk -v RS='\r\n' -v ORS='\r\n' -v list="$list" '
  BEGIN {
    n = split(list, items, "\n")
    for (i = 1; i <= n; i++) { split(items[i], pair, " => "); new[toupper(pair[1])] = pair[2] }
  }
  toupper(substr($0, 1, 4)) == "RUNE" && substr($0, 5, 2) ~ /^[1-5]=$/ {
    name = substr($0, 7); gsub(/^ +| +$/, "", name)
    print "Rune" substr($0, 5, 2) new[toupper(name)]; next
  }
  { print }' "$folder/magic.ini" | od -An -tx1)
expect "magic-new.ini" "$expected_output" "$(od -An -tx1 <"$folder/magic-new.ini")"
expect "folder after a run" "Sigilflip.exe
magic-new.ini
magic.ini" "$(ls "$folder")"

# An empty name: a warning box after the list is filled, OK only, no icon. The focus is back on
# Command1 afterwards, and Space runs again; Return after the click does not.
printf 'RUNE1=Fire\r\nRUNE2=\r\nRUNE3=Ice\r\nRUNE4=Wind\r\n' >"$folder/magic.ini"
click_command1
expect "warning box" "title Sigilflip
text Rune error : count = 997 : 
buttons OK
icon 0
modal 1
dismissed 1" "$(probe box)"
expect "list after the warning" 4 "$(probe list | wc -l)"
expect "focus after the box" "focus Command1" "$(probe window | grep '^focus')"
expect_return_does_nothing "after a click"
xdotool key space
probe box >/dev/null
wait_for_output

# A long name: List1 scrolls sideways to read it.
long_rune="RUNE1=Thunderbolt of the Ancient Storm Kings of the North"
printf '%s\r\n' "$long_rune" >"$folder/magic.ini"
expect "a run on one long name" ok "$(probe run | head -n 1)"
extent96=$(horizontal_extent)

# A failed run: an error box with the file and the system's reason; the list stays.
rm "$folder/magic.ini"
click_command1
box=$(probe box)
expect "error box" "title Sigilflip
text Cannot read $windows_folder\\magic.ini:
text 
text Copy Sigilflip.exe into the game's folder, beside its magic.ini, or drop the game's magic.ini on Sigilflip.exe.
buttons OK
icon 1
modal 1
dismissed 1" "$(echo "$box" | grep -v '^text [^C]')"
echo "$box" | grep -q '^text [^C].' || fail "no reason in the error box: $box"
expect "list after the error" 1 "$(probe list | wc -l)"

# The focus is where it was when the window is active again.
xdotool key Tab
probe focus-elsewhere
expect "focus back after another window" "focus List1" "$(probe window | grep '^focus')"
stop

# At 144 dpi the twips give half as many pixels again, and the font and the sideways scroll range
# grow with them.
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1
start
expect_layout 144 "320 309" "18 18 272 201" "78 240 122 50"
height144=$(probe window | sed -n 's/^item height //p')
[ $((height144 * 10)) -ge $((height96 * 14)) ] ||
  fail "list items $height96 px high at 96 dpi, $height144 px at 144 dpi"
printf '%s\r\n' "$long_rune" >"$folder/magic.ini"
expect "a run on one long name at 144 dpi" ok "$(probe run | head -n 1)"
extent144=$(horizontal_extent)
[ $((extent144 * 10)) -ge $((extent96 * 14)) ] ||
  fail "List1 scrolls $extent96 px at 96 dpi, $extent144 px at 144 dpi"
stop
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 96 /f >/dev/null 2>&1

# A game folder handed to the program (as when it or its magic.ini is dropped on Sigilflip.exe),
# which now lies in a folder without magic.ini: in every form Windows takes, on a network share
# too (\\nas\games, which Wine serves from dosdevices/unc).
rm "$folder/magic.ini" "$folder/magic-new.ini"
game="$wine_work/Spiele und Игры 魔法 ünï"
mkdir "$game"
windows_game="Z:$(echo "$game" | tr / '\\')"
mkdir -p "$WINEPREFIX/dosdevices/unc/nas"
ln -sfn "$wine_work" "$WINEPREFIX/dosdevices/unc/nas/games"
trap 'status=$?; rm -f "$WINEPREFIX/dosdevices/unc/nas/games"; [ $status -eq 0 ] || cat "$wine_work/program.log" 2>/dev/null; cleanup_wine' EXIT
shared_game="\\\\nas\\games\\$(basename "$game")"
for way in folder file relative network long long-network device completed; do
  printf 'RUNE1=Fire\r\nRUNE2=Ice\r\n' >"$game/magic.ini"
  rm -f "$game/magic-new.ini"
  case $way in
    folder) start / "$windows_game" ;;
    file) start / "$windows_game\\magic.ini" ;;
    relative) start "$wine_work" "$(basename "$game")" ;;
    network) start / "$shared_game" ;;
    long) start / "\\\\?\\$windows_game" ;;
    long-network) start / "\\\\?\\UNC\\nas\\games\\$(basename "$game")" ;;
    device) start / "\\\\.\\$windows_game" ;;
    completed) start / "$windows_game\"" ;;  # "Z:\...\game\" as CommandLineToArgvW hands it on
  esac
  expect "a run on the game folder given as a $way" ok "$(probe run | head -n 1)"
  stop
  [ -s "$game/magic-new.ini" ] || fail "no magic-new.ini in the game folder given as a $way"
  expect "the program's folder after a run on a game folder" Sigilflip.exe "$(ls "$folder")"
done
start / "$windows_game\\no such folder"
expect "a run on a folder that does not exist" "box $windows_game\\no such folder: no such file or folder." \
  "$(probe run | head -n 1)"
stop
# Arguments Sigilflip does not know: a box says how to start it, then the exit status 2.
for arguments in two empty; do
  case $arguments in
    two) start / "$windows_game" "$windows_game" ;;
    empty) start / "" ;;
  esac
  expect "the usage box for $arguments arguments" "Usage: Sigilflip [--run] [--seed N] [FOLDER | FILE]" "$(probe usage-box | head -n 1)"
  status=0
  wait_for "$program_pid" 30 "Sigilflip after the usage box" || status=$?
  expect "the exit status after the usage box for $arguments arguments" 2 "$status"
done
# --run: the mapping as UTF-8 on standard output (into a file or a pipe), "Seed: N" and the reason
# on standard error, the exit status; a seed gives the shuffle that Linux gives, with the window
# too, at every press.
run_alone() {  # run_alone STATUS ARGUMENT...: Sigilflip.exe --run, which must end with STATUS
  local status=0
  (cd / && exec wine "$folder/Sigilflip.exe" --run "${@:2}") >"$wine_work/out" 2>"$wine_work/err" || status=$?
  expect "the exit status of --run ${*:2}" "$1" "$status"
}
printf 'RUNE1=Fire\r\nRUNE2=Ice\r\nRUNE3=Wind\r\nRUNE4=Stone\r\nRUNE5=Storm\r\nrune1=  fire \r\n' >"$game/magic.ini"
seeded=$'Fire => Fire\nIce => Storm\nWind => Ice\nStone => Stone\nStorm => Wind'
run_alone 0 --seed 1234 "$windows_game"
expect "the output of --run --seed 1234" "$seeded|Seed: 1234" "$(tr -d '\r' <"$wine_work/out")|$(tr -d '\r' <"$wine_work/err")"
expect "magic-new.ini of --run --seed 1234" "$(printf 'Rune1=Fire\r\nRune2=Storm\r\nRune3=Ice\r\nRune4=Stone\r\nRune5=Wind\r\nRune1=Fire\r\n' | od -An -tx1)" \
  "$(od -An -tx1 <"$game/magic-new.ini")"
expect "the mapping through a pipe" "$seeded" \
  "$( (cd / && wine "$folder/Sigilflip.exe" --run --seed=1234 "$windows_game\\magic.ini" 2>/dev/null) | tr -d '\r')"
run_alone 0 "$windows_game"
timed=$(od -An -tx1 <"$game/magic-new.ini")
run_alone 0 --seed "$(tr -d '\r' <"$wine_work/err" | sed -n 's/^Seed: //p')" "$windows_game"
expect "a run again with its printed seed" "$timed" "$(od -An -tx1 <"$game/magic-new.ini")"
run_alone 1 "$windows_game\\no such folder"
expect "the reason of --run on a folder that does not exist" "$windows_game\\no such folder: no such file or folder." \
  "$(tr -d '\r' <"$wine_work/err" | sed -n 2p)"
[ ! -e "$game/no such folder" ] || fail "--run made the missing folder"
run_alone 2 --seed 4294967296 "$windows_game"
expect "the usage of --run with a wrong seed" "Usage: Sigilflip [--run] [--seed N] [FOLDER | FILE]" \
  "$(tr -d '\r' <"$wine_work/err" | head -n 1)"
expect "lines of the usage without CR LF" 0 "$(grep -c -v $'\r$' "$wine_work/err")"
# A standard output that takes nothing, once magic-new.ini is written: status 3, and why.
status=0
(cd / && exec wine "$folder/Sigilflip.exe" --run "$windows_game") >/dev/full 2>"$wine_work/err" || status=$?
expect "the exit status of --run into a full disk" 3 "$status"
expect "the reason of --run into a full disk" "Sigilflip: magic-new.ini was written, but not all of its mapping and warnings could be printed:" \
  "$(tr -d '\r' <"$wine_work/err" | sed -n '2s/: [^:]*$/:/p')"
# --help and --version answer where they were asked, and end with 0.
answer() {  # answer QUESTION: Sigilflip.exe QUESTION, its first line
  local status=0
  (cd / && exec wine "$folder/Sigilflip.exe" "$1") >"$wine_work/out" 2>&1 || status=$?
  expect "the exit status of $1" 0 "$status"
  tr -d '\r' <"$wine_work/out" | head -n 1
}
expect "the answer to --help" "Usage: Sigilflip [--run] [--seed N] [FOLDER | FILE]" "$(answer --help)"
expect "the answer to --version" "Sigilflip 1." "$(answer --version | cut -c 1-12)"
start / --seed 1234 "$windows_game"
for press in 1 2; do
  expect "press $press with --seed 1234" "ok|$seeded" "$(probe run | head -n 1)|$(probe list)"
done
stop
# The system's code page, which Wine takes from the locale when it starts: under Russian, Greek
# and Japanese Windows names are one rune by the letters of their code page, and List1 reads them
# in it (a trail byte of Shift JIS that looks like a letter is none). The locales need not be
# installed; then Wine reads Unix paths as ASCII only, hence a folder of ASCII names.
codepages="$wine_work/codepages"
mkdir "$codepages"
cp "$folder/Sigilflip.exe" "$codepages/"
# shellcheck source=../support/code_pages.sh
source "$(dirname "$0")/../support/code_pages.sh"
for locale in "${code_page_locales[@]}"; do
  write_code_page_file "$locale" "$codepages/magic.ini"
  # A new Wine session for the new locale: the program and the probe in it.
  end_wine_session
  (cd / && exec env LC_ALL="$locale" wine "$codepages/Sigilflip.exe") >>"$wine_work/program.log" 2>&1 &
  program_pid=$!
  in_locale() { env LC_ALL="$locale" wine "$probe" "$@" | tr -d '\r'; }
  expect "a run under $locale" ok "$(in_locale run | head -n 1)"
  expect "the runes under $locale" "$runes" "$(in_locale list | sed 's/ => .*//')"
  # The system's words keep their own full stop (。 in Japanese), without a second.
  rm "$codepages/magic.ini"
  box=$(in_locale run)
  [[ $box == box\ Cannot\ read* && $box != *"。."* ]] || fail "the error box under $locale: $box"
  stop
done
echo "wine end-to-end: layout at 96 and 144 dpi, keys, list, magic-new.ini, warning and error boxes, a game folder handed to the program in every form Windows takes, code pages 1251, 1253, 932, 1254 and UTF-8"
