#!/usr/bin/env bash
# Builds and runs Sigilflip on a Debian 12 machine, installing what is missing first.
#
#   ./dev.sh run            build, put examples/magic.ini beside the program, open the window
#   ./dev.sh test           build and run every test (the line scans also on an emulated
#                           processor without AVX2, and the core with the plain scan only), then
#                           the Windows build's tests under Wine, then everything again under
#                           AddressSanitizer and UndefinedBehaviorSanitizer, then the packages
#                           twice (they must be the same bytes) and their checks, then fuzz the
#                           core for a minute
#   ./dev.sh test quick     only the Linux build's tests, for the edit loop
#   ./dev.sh windows        cross-build build-windows/Sigilflip.exe with MinGW-w64
#   ./dev.sh package        what users download: Sigilflip-VERSION-win64.zip and a Debian package,
#                           the same bytes from the same commit wherever they are built, and
#                           their SHA256SUMS
#   ./dev.sh bench          build and run the benchmarks
#   ./dev.sh fuzz SECONDS   fuzz the core for that long, keeping new inputs in build-fuzz-corpus/
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"

build_packages=(cmake ninja-build g++ libgtest-dev qt6-base-dev libxxhash-dev)
quick_test_packages=(xvfb xdotool strace fusefat dosfstools locales)
test_packages=(clang libclang-rt-14-dev wine wine64 qemu-user shellcheck)
windows_packages=(cmake ninja-build g++-mingw-w64-x86-64-posix libgtest-dev libxxhash-dev)
package_packages=(dpkg-dev zip)
package_test_packages=(lintian desktop-file-utils groff-base shared-mime-info libglib2.0-bin)
bench_packages=(cmake ninja-build g++ libbenchmark-dev libxxhash-dev)

# Runs a command as root: through sudo when this is not root.
as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Installs the Debian packages that are not installed yet.
install_missing() {
  local missing=() package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
      missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return
  echo "Installing ${missing[*]}"
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# build PRESET [CMAKE OPTION...]: the configurations are CMakePresets.json's, the same that an
# IDE offers; PRESET builds in build-PRESET (dev: in build).
build() {
  local preset=$1
  shift
  cmake --preset "$preset" "$@" >/dev/null
  cmake --build --preset "$preset"
}

# build_windows ON|OFF [CMAKE OPTION...]: the static Windows program through MinGW-w64, with or
# without the tests (the core's suite and the probe that reads the window under Wine).
build_windows() {
  build windows -DSIGILFLIP_TESTS="$1" -DSIGILFLIP_REPRODUCIBLE=OFF "${@:2}"
  cp build-windows/src/app/Sigilflip.exe build-windows/Sigilflip.exe
}

# Runs the Windows build's tests under Wine, in a Wine prefix of their own.
test_windows() {
  local prefix
  prefix=$(mktemp -d)
  # shellcheck source=tests/win32/wine_prefix.sh
  source tests/win32/wine_prefix.sh
  new_wine_prefix "$prefix/prefix"
  local status=0
  ctest --preset windows || status=$?
  wineserver -k || true
  wineserver -w || true
  rm -rf "$prefix"
  unset WINEPREFIX
  return $status
}

# Everything in FOLDER gets the time SOURCE_DATE_EPOCH and plain permissions (programs 755), so
# that the archives are the same wherever they are made.
normalize() {
  find "$1" -type d -exec chmod 755 {} +
  find "$1" -type f -exec chmod 644 {} +
  [ $# -lt 2 ] || chmod 755 "${@:2}"
  find "$1" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
}

# package_windows VERSION: the zip users download, with the program and a short text.
package_windows() {
  local name=Sigilflip-$1-win64
  local folder=build-package/$name
  rm -rf "$folder" "$folder.zip" && mkdir -p "$folder"
  cp build-windows/Sigilflip.exe "$folder"
  # The texts in CR LF, for Notepad: how to use it, its licence, and the notices of the runtime
  # linked into it.
  sed 's/$/\r/' build-package/generated/Sigilflip.txt >"$folder/Sigilflip.txt"
  sed 's/$/\r/' LICENSE >"$folder/LICENSE.txt"
  sed 's/$/\r/' src/app/NOTICES.txt >"$folder/NOTICES.txt"
  normalize "$folder" "$folder/Sigilflip.exe"
  # Fixed times in UTC, no owners or other extra fields, the files in a fixed order.
  (cd build-package && TZ=UTC zip -q -X -D "$name.zip" "$name/Sigilflip.exe" "$name/Sigilflip.txt" \
    "$name/LICENSE.txt" "$name/NOTICES.txt")
}

# package_debian VERSION: the Debian package, built with dpkg-deb from what CMake installs.
package_debian() {
  local version=$1
  local stage=build-package/deb
  local doc=$stage/usr/share/doc/sigilflip
  rm -rf "$stage" && mkdir -p "$stage/DEBIAN" "$doc" "$stage/usr/share/man/man1"
  DESTDIR="$PWD/$stage" cmake --install build-package --prefix /usr >/dev/null
  strip --strip-unneeded --remove-section=.comment --remove-section=.note "$stage/usr/bin/Sigilflip"
  cp src/app/debian/copyright "$doc/copyright"
  gzip -9n <build-package/generated/Sigilflip.1 >"$stage/usr/share/man/man1/Sigilflip.1.gz"
  {
    echo "sigilflip ($version) unstable; urgency=medium"
    echo
    echo "  * Sigilflip $version."
    echo
    echo " -- Sigilflip developers <sigilflip@users.noreply.github.com>  $(LC_ALL=C date -u -R -d "@$SOURCE_DATE_EPOCH")"
  } | gzip -9n >"$doc/changelog.gz"
  local depends
  depends=$(cd build-package && mkdir -p shlibs/debian && cd shlibs &&
    printf 'Source: sigilflip\n\nPackage: sigilflip\nArchitecture: any\n' >debian/control &&
    dpkg-shlibdeps -O "../deb/usr/bin/Sigilflip" | sed -n 's/^shlibs:Depends=//p')
  cat >"$stage/DEBIAN/control" <<CONTROL
Package: sigilflip
Version: $version
Architecture: $(dpkg --print-architecture)
Maintainer: Sigilflip developers <sigilflip@users.noreply.github.com>
Installed-Size: $(du -sk --exclude=DEBIAN "$stage" | cut -f1)
Depends: $depends
Section: utils
Priority: optional
Description: shuffle the rune names of a game's magic.ini
 Sigilflip reads the magic.ini of a game folder, gives every rune named on
 its RUNE1= to RUNE5= lines the name of a rune picked at random, and writes
 the result to magic-new.ini beside it; magic.ini itself is never changed.
 Its one window lists the mapping, old name => new name.
 .
 Open a magic.ini with Sigilflip from the file manager, or start it with the
 game folder: Sigilflip FOLDER.
CONTROL
  (cd "$stage" && find usr -type f | LC_ALL=C sort | xargs md5sum >DEBIAN/md5sums)
  normalize "$stage" "$stage/usr/bin/Sigilflip"
  dpkg-deb --root-owner-group -Zxz --build "$stage" "build-package/sigilflip_${version}_$(dpkg --print-architecture).deb" >/dev/null
}

# Builds the packages, from the commit's time, into build-package/; prints their names.
package() {
  export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || date +%s)}
  build_windows OFF -DSIGILFLIP_REPRODUCIBLE=ON
  build package
  local version
  version=$(cat build-package/version.txt)
  package_windows "$version"
  package_debian "$version"
  (cd build-package && sha256sum "Sigilflip-$version-win64.zip" sigilflip_"$version"_*.deb >SHA256SUMS)
  ls -l build-package/*.zip build-package/*.deb build-package/SHA256SUMS
}

# The packages of two copies of the source in other folders, made one after the other, must be the
# same bytes, and the Debian package must pass lintian and hold what a desktop needs. The second
# copy is built in another time zone, with another umask and, where this runs as root, by another
# user, as someone else rebuilding them would.
check_packages() {
  local copies
  copies=$(mktemp -d)
  chmod 755 "$copies"
  local source=$copies/a
  local other=$copies/second-copy-elsewhere
  local revision
  revision=$(git stash create 2>/dev/null || true)  # the changes not committed yet, if any
  export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
  for copy in "$source" "$other"; do
    mkdir -p "$copy"
    git archive "${revision:-HEAD}" | tar -x -C "$copy"
  done
  (cd "$source" && ./dev.sh package >/dev/null)
  local builder=()
  if [ "$(id -u)" -eq 0 ]; then
    id sigilflip-builder >/dev/null 2>&1 ||
      useradd --system --no-create-home --shell /usr/sbin/nologin sigilflip-builder
    chown -R sigilflip-builder "$other"
    builder=(runuser -u sigilflip-builder --)
  else
    echo "the second copy of the packages is built by $(id -un) too: another user needs root"
  fi
  (cd "$other" && umask 077 && "${builder[@]}" env HOME="$other" TZ=XYZ-13:45 ./dev.sh package >/dev/null)
  local status=0
  diff "$source/build-package/SHA256SUMS" "$other/build-package/SHA256SUMS" || status=1
  cmp "$source/build-windows/Sigilflip.exe" "$other/build-windows/Sigilflip.exe" || status=1
  [ $status -eq 0 ] && echo "packages built twice are the same: $(cat "$source/build-package/SHA256SUMS")"
  bash tests/app/debian_package.sh "$source"/build-package/sigilflip_*.deb || status=1
  rm -rf "$copies"
  return $status
}

# The sanitizer build, with the fuzzer; clang is needed for libFuzzer.
build_sanitized() {
  build sanitize
}

# fuzz SECONDS CORPUS_DIR: new inputs go to CORPUS_DIR, the seeds are read as they are.
fuzz() {
  mkdir -p "$2"
  build-sanitize/tests/fuzz/rune_file_fuzzer -max_total_time="$1" -max_len=20000 \
    -print_final_stats=1 -artifact_prefix=build-sanitize/ "$2" tests/fuzz/corpus
}

case "${1:-}" in
  run)
    install_missing "${build_packages[@]}"
    build dev -DSIGILFLIP_TESTS=OFF
    [ -e build/src/app/magic.ini ] || cp examples/magic.ini build/src/app/magic.ini
    exec build/src/app/Sigilflip
    ;;
  test)
    install_missing "${build_packages[@]}" "${quick_test_packages[@]}"
    # Debian's default, which a container may lack: the kernel follows links in sticky folders
    # only for their owners, and a test checks that Sigilflip does not follow them either.
    if [ "$(id -u)" -eq 0 ] && [ "$(cat /proc/sys/fs/protected_symlinks 2>/dev/null)" = 0 ]; then
      sysctl -q -w fs.protected_symlinks=1 || echo "fs.protected_symlinks is 0 here: that test is skipped"
    fi
    # The Turkish locale, whose letter case the C library has for Sigilflip on Turkish systems.
    if ! locale -a | grep -qix 'tr_TR.utf-\?8'; then
      as_root localedef -i tr_TR -f UTF-8 tr_TR.UTF-8 || echo "no Turkish locale here: its casing is Sigilflip's own"
    fi
    build dev -DSIGILFLIP_TESTS=ON
    ctest --preset dev
    [ "${2:-}" = quick ] && exit 0
    install_missing "${test_packages[@]}" "${windows_packages[@]}" "${package_packages[@]}" \
      "${package_test_packages[@]}"
    # Our scripts, as shellcheck reads them (.shellcheckrc).
    git ls-files -z '*.sh' dev.sh .ci/run | xargs -0 shellcheck -x -S warning
    # The line scans and the hash of what they read on an emulated processor without AVX2, where choosing
    # the AVX2 code would end every run with an illegal instruction.
    timeout 300 qemu-x86_64 -cpu SandyBridge build/tests/core_tests --gtest_brief=1 \
      --gtest_filter='LineScan.*:LineReader.*:RuneKey.*:RuneFile.*' 2>&1 |
      grep -v "TCG doesn't support"
    # The core as other processors (and compilers without SSE2) build it: the plain scan only.
    build plain
    ctest --preset plain
    build_windows ON -DSIGILFLIP_LINUX_CODE_PAGE_DUMP="$PWD/build/tests/support/code_page_dump"
    test_windows
    build_sanitized
    ctest --preset sanitize
    check_packages
    corpus=$(mktemp -d)
    trap 'rm -rf "$corpus"' EXIT
    fuzz 60 "$corpus"
    ;;
  windows)
    install_missing "${windows_packages[@]}"
    build_windows OFF
    echo "$PWD/build-windows/Sigilflip.exe"
    ;;
  package)
    install_missing "${build_packages[@]}" "${windows_packages[@]}" "${package_packages[@]}"
    package
    ;;
  bench)
    install_missing "${bench_packages[@]}"
    build bench
    build-bench/bench/sigilflip_bench "${@:2}"
    ;;
  fuzz)
    install_missing "${build_packages[@]}" "${test_packages[@]}"
    build_sanitized
    fuzz "${2:-3600}" build-fuzz-corpus
    ;;
  *)
    echo "usage: $0 run|test|windows|package|bench|fuzz [SECONDS]" >&2
    exit 2
    ;;
esac
