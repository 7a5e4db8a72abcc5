#!/usr/bin/env bash
# Installs what building and testing need on a bare Debian 12 machine. Safe to run again.
# Where the kernel runs 32-bit programs, also 32-bit Wine, which runs the i686 program's tests.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

packages=(
  cmake ninja-build g++ make python3
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64
  googletest libgtest-dev
  clang clang-tidy cppcheck libclang-rt-14-dev
  wine64 xvfb xdotool imagemagick x11-utils openssl
  osslsigncode python3-yaml
  fonts-wqy-microhei fonts-wine locales
)

# 32-bit Wine and the X libraries it loads that nothing pulls in by itself.
packages_i386=(
  wine32:i386 libxrender1:i386 libxcursor1:i386 libxi6:i386 libxrandr2:i386 libxinerama1:i386
  libxcomposite1:i386 libxfixes3:i386
)

sudo_cmd=""; [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
install_missing() {  # packages...
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -gt 0 ] || return 0
  echo "bootstrap: installing ${missing[*]}"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

install_missing "${packages[@]}"
if "$here/can-run-i386.sh" >/dev/null; then
  dpkg --print-foreign-architectures | grep -qx i386 || $sudo_cmd dpkg --add-architecture i386
  install_missing "${packages_i386[@]}"
fi
# zh_CN.UTF-8 gives Wine the Chinese ANSI code page 936, as on the program's home systems.
if ! locale -a 2>/dev/null | grep -qiE '^zh_CN\.utf-?8$'; then
  $sudo_cmd sed -i 's/^# *zh_CN.UTF-8 UTF-8/zh_CN.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' | $sudo_cmd tee -a /etc/locale.gen >/dev/null
  $sudo_cmd locale-gen >/dev/null
fi
echo "bootstrap: all packages present"
