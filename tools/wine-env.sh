# Environment for running the program and its tests under 64-bit Wine. Source it.
# The 64-bit loader is called directly: /usr/bin/wine picks the 32-bit one when wine32 is present.
export WINE=/usr/lib/wine/wine64
export WINESERVER=/usr/lib/wine/wineserver
export WINEARCH=win64
export WINEDEBUG=-all
# No Mono/Gecko install prompts, no menu entries written into the host's desktop.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

# zh_CN.UTF-8 gives the ANSI code page 936 inside Wine, as on the program's home systems;
# C.UTF-8 (code page 1252) still shows the W calls' Chinese right.
if locale -a 2>/dev/null | grep -qiE '^zh_CN\.utf-?8$'; then
  export LC_ALL=zh_CN.UTF-8
else
  export LC_ALL=C.UTF-8
fi
