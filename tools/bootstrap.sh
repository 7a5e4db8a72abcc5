#!/usr/bin/env bash
# Installs what building and testing need on a bare Debian 12 machine. Safe to run again.
set -euo pipefail

packages=(
  cmake ninja-build g++ make python3
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64
  googletest libgtest-dev
  clang clang-tidy cppcheck libclang-rt-14-dev
  wine64 xvfb xdotool imagemagick x11-utils
  fonts-wqy-microhei fonts-wine locales
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "bootstrap: installing ${missing[*]}"
  sudo_cmd=""; [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
# zh_CN.UTF-8 gives Wine the Chinese ANSI code page 936, as on the program's home systems.
if ! locale -a 2>/dev/null | grep -qiE '^zh_CN\.utf-?8$'; then
  sudo_cmd=""; [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd sed -i 's/^# *zh_CN.UTF-8 UTF-8/zh_CN.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' | $sudo_cmd tee -a /etc/locale.gen >/dev/null
  $sudo_cmd locale-gen >/dev/null
fi
echo "bootstrap: all packages present"
