# Sourced by the end-to-end tests of both programs: a magic.ini in the code pages of Russian, Greek,
# Japanese, Turkish and Armenian locales (Armenian Windows has no ANSI code page of its own: UTF-8).
# shellcheck shell=bash disable=SC2034 # code_page_locales and runes are the caller's
code_page_locales=(ru_RU.UTF-8 el_GR.UTF-8 ja_JP.UTF-8 tr_TR.UTF-8 hy_AM.UTF-8)

# write_code_page_file LOCALE FILE: writes FILE in the code page of LOCALE's language, and sets
# `runes` to the runes it names, one a line as first spelt: Заря and ЗАРЯ are one rune in 1251, as
# are οδος and ΟΔΟΣ with its final sigma in 1253; a Shift JIS trail byte that looks like a letter
# is none, so ヂ and ア stay two in 932; in Turkish ılık is ILIK and ilik İLİK, two words; in UTF-8
# дом and ДОМ are one rune.
write_code_page_file() {
  local encoding text
  case $1 in
    ru*) encoding=CP1251 text='RUNE1=Заря\r\nRUNE2=ЗАРЯ\r\nRUNE3=Огонь\r\nRUNE4=ОГОНЬ\r\n' runes=$'Заря\nОгонь' ;;
    el*) encoding=CP1253 text='RUNE1=οδος\r\nRUNE2=ΟΔΟΣ\r\nRUNE3=σ\r\n' runes=$'οδος\nσ' ;;
    ja*) encoding=CP932 text='RUNE1=火球\r\nRUNE2=ヂ\r\nRUNE3=ア\r\n' runes=$'火球\nヂ\nア' ;;
    tr*) encoding=CP1254 text='RUNE1=ılık\r\nRUNE2=ILIK\r\nRUNE3=ilik\r\nRUNE4=İLİK\r\n' runes=$'ılık\nilik' ;;
    hy*) encoding=UTF-8 text='RUNE1=дом\r\nRUNE2=ДОМ\r\nRUNE3=Ժամ\r\n' runes=$'дом\nԺամ' ;;
  esac
  # shellcheck disable=SC2059 # the text's line ends
  printf "$text" | iconv -f UTF-8 -t "$encoding" >"$2"
}
