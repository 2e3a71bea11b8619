#!/usr/bin/env bash
# Builds and runs Sigilflip on a Debian 12 machine, installing what is missing first.
#
#   ./dev.sh run    build, put examples/magic.ini beside the program, open the window
#   ./dev.sh test   build and run every test
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"

build_packages=(cmake ninja-build g++ libgtest-dev qt6-base-dev)
test_packages=(xvfb xdotool x11-utils binutils-mingw-w64-x86-64)

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

build() {
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
  cmake --build build
}

case "${1:-}" in
  run)
    install_missing "${build_packages[@]}"
    build -DSIGILFLIP_TESTS=OFF
    [ -e build/src/app/magic.ini ] || cp examples/magic.ini build/src/app/magic.ini
    exec build/src/app/Sigilflip
    ;;
  test)
    install_missing "${build_packages[@]}" "${test_packages[@]}"
    build -DSIGILFLIP_TESTS=ON
    ctest --test-dir build --output-on-failure
    ;;
  *)
    echo "usage: $0 run|test" >&2
    exit 2
    ;;
esac
