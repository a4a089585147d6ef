#!/usr/bin/env bash
# Installs what building, running and testing the project needs on a Debian machine.
# Quick when everything is already there: apt is asked only for what is missing.
# Both Windows builds are provided for: 32-bit Wine only where this machine can run 32-bit programs
# (elsewhere its i386 packages could not even be set up), wine64 and the x86_64 compiler everywhere.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

packages=(
  cmake ninja-build g++ make pkg-config python3 zip unzip bc time
  googletest libgtest-dev libcli11-dev nlohmann-json3-dev libssl-dev zlib1g-dev
  g++-mingw-w64-i686-posix binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 libz-mingw-w64-dev
  wine wine64 xvfb xauth x11-utils xdotool imagemagick
  locales libc-l10n fonts-ipafont-gothic fonts-wine
  clang libclang-rt-14-dev
  xfsprogs btrfs-progs
)

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

if can_run_i386; then
  packages+=(wine32:i386)
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
  fi
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ "${#missing[@]}" -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  quiet_stage "apt-get update" $sudo apt-get update -q
  quiet_stage "install ${missing[*]}" $sudo env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The Windows program shows its texts in code page 932, which Wine takes from a Japanese locale.
if ! locale -a 2>/dev/null | grep -qiE '^ja_JP\.utf-?8$'; then
  $sudo sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
  quiet_stage "generate the Japanese locale" $sudo locale-gen
fi
echo "Prerequisites are in place."
