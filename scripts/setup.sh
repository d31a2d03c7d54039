#!/usr/bin/env bash
# Installs the Debian packages Lumivex needs that are missing.
#
# usage: scripts/setup.sh [--tests] [--package] [--style] [--fuzz] [--arm64]
#   --tests    also the tools the test suite uses (virtual X server, pointer
#              driver, screenshots, desktop-entry validation, PNG checker,
#              metadata reader)
#   --package  also what building the Debian package needs
#   --style    also the formatter and the static checker
#   --fuzz     also Clang and its libFuzzer and sanitizer runtimes
#   --arm64    also the aarch64 cross compiler and the emulator
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-image-formats-plugins libgl-dev libhwy-dev libxcb1-dev
    zlib1g-dev libexiv2-dev
    fonts-dejavu-core
)
for option in "$@"; do
    case $option in
    --tests) packages+=(xvfb xauth xdotool imagemagick desktop-file-utils dpkg-dev file pngcheck
             libimage-exiftool-perl) ;;
    --package) packages+=(dpkg-dev file) ;;
    --style) packages+=(clang-format clang-tidy python3) ;;
    --fuzz) packages+=(clang libclang-rt-14-dev) ;;
    --arm64) packages+=(file g++-aarch64-linux-gnu qemu-user) ;;
    *) echo "setup.sh: unknown option $option" >&2; exit 2 ;;
    esac
done

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
