#!/usr/bin/env bash
# Builds and runs Sigilflip on a Debian 12 machine, installing what is missing first.
#
#   ./dev.sh run            build, put examples/magic.ini beside the program, open the window
#   ./dev.sh test           build and run every test, then the Windows build's tests under Wine,
#                           then everything again under AddressSanitizer and
#                           UndefinedBehaviorSanitizer, then fuzz the core for a minute
#   ./dev.sh windows        cross-build build-windows/Sigilflip.exe with MinGW-w64
#   ./dev.sh package        what users download: Sigilflip-1.00-win64.zip and a Debian package
#   ./dev.sh bench          build and run the benchmarks
#   ./dev.sh fuzz SECONDS   fuzz the core for that long, keeping new inputs in build-fuzz-corpus/
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"

build_packages=(cmake ninja-build g++ libgtest-dev qt6-base-dev)
test_packages=(xvfb xdotool strace clang libclang-rt-14-dev wine wine64)
windows_packages=(cmake ninja-build g++-mingw-w64-x86-64-posix libgtest-dev)
package_packages=(dpkg-dev fakeroot)
bench_packages=(cmake ninja-build g++ libbenchmark-dev)

# Installs the Debian packages that are not installed yet.
install_missing() {
  local missing=() package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
      missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  echo "Installing ${missing[*]}"
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# build DIR [CMAKE OPTION...]
build() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja -DSIGILFLIP_WERROR=ON "$@"
  cmake --build "$dir"
}

# build_windows ON|OFF: the static Windows program through MinGW-w64, with or without the tests
# (the core's suite and the probe that reads the window under Wine).
build_windows() {
  build build-windows -DCMAKE_BUILD_TYPE=Release -DSIGILFLIP_TESTS="$1" \
    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
  cp build-windows/src/app/Sigilflip.exe build-windows/Sigilflip.exe
}

# Runs the Windows build's tests under Wine, in a Wine prefix of their own.
test_windows() {
  local prefix
  prefix=$(mktemp -d)
  export WINEPREFIX=$prefix/prefix WINEDEBUG=-all
  export WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'
  wine wineboot -i >/dev/null 2>&1
  wineserver -w
  local status=0
  ctest --test-dir build-windows --output-on-failure --timeout 300 || status=$?
  wineserver -k || true
  rm -rf "$prefix"
  unset WINEPREFIX
  return $status
}

# The sanitizer build, with the fuzzer; clang is needed for libFuzzer.
build_sanitized() {
  CC=clang CXX=clang++ build build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DSIGILFLIP_SANITIZE=ON -DSIGILFLIP_FUZZER=ON -DSIGILFLIP_TESTS=ON
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
    build build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSIGILFLIP_TESTS=OFF
    [ -e build/src/app/magic.ini ] || cp examples/magic.ini build/src/app/magic.ini
    exec build/src/app/Sigilflip
    ;;
  test)
    install_missing "${build_packages[@]}" "${test_packages[@]}" "${windows_packages[@]}"
    build build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSIGILFLIP_TESTS=ON
    ctest --test-dir build --output-on-failure --timeout 300
    build_windows ON
    test_windows
    build_sanitized
    # The real program and the resource script were checked above.
    ctest --test-dir build-sanitize --output-on-failure --timeout 300 -E 'end_to_end|windows_resources'
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
    build_windows OFF
    build build-package -DCMAKE_BUILD_TYPE=Release -DSIGILFLIP_TESTS=OFF
    (cd build-package && cpack -G DEB)
    zip_folder=build-package/Sigilflip-1.00-win64
    rm -rf "$zip_folder" && mkdir -p "$zip_folder"
    cp build-windows/Sigilflip.exe "$zip_folder"
    sed 's/$/\r/' src/app/Sigilflip.txt >"$zip_folder/Sigilflip.txt"  # CR LF, for Notepad
    (cd build-package && cmake -E tar cf Sigilflip-1.00-win64.zip --format=zip Sigilflip-1.00-win64)
    ls -l build-package/*.deb build-package/Sigilflip-1.00-win64.zip
    ;;
  bench)
    install_missing "${bench_packages[@]}"
    build build-bench -DCMAKE_BUILD_TYPE=Release -DSIGILFLIP_WINDOW=OFF -DSIGILFLIP_TESTS=OFF \
      -DSIGILFLIP_BENCHMARKS=ON
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
