#!/usr/bin/env bash
# Installs the Debian packages Lumivex needs that are missing.
#
# usage: scripts/setup.sh [--tests] [--package] [--style]
#   --tests    also the tools the test suite uses (virtual X server, pointer
#              driver, screenshots, desktop-entry validation)
#   --package  also what building the Debian package needs
#   --style    also the formatter and the static checker
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-image-formats-plugins libgl-dev libhwy-dev
    fonts-dejavu-core
)
for option in "$@"; do
    case $option in
    --tests) packages+=(xvfb xauth xdotool imagemagick desktop-file-utils dpkg-dev file) ;;
    --package) packages+=(dpkg-dev file) ;;
    --style) packages+=(clang-format clang-tidy python3) ;;
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
