#!/usr/bin/env bash
# Builds a ready template Wine prefix in DIR once; tests copy it (cp -a) instead of booting their own.
# Usage: tools/wine-prefix.sh DIR. Does nothing when DIR is already complete.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
[ $# -eq 1 ] || { echo "usage: $0 DIR" >&2; exit 2; }
dir=$(realpath -m "$1")
stamp="$dir/.tolva-template"
# Raise when the prefix's contents change, so old templates are rebuilt. With 32-bit Wine installed
# the prefix is a WOW64 one (syswow64), which runs both programs; a template booted before that
# install is rebuilt.
wow64=no
[ -x /usr/lib/wine/wine ] && wow64=yes
stamp_text="tolva template 2 wow64=$wow64"

complete() { [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$stamp_text" ]; }
complete && exit 0

mkdir -p "$(dirname "$dir")"
# Parallel test runs may all ask for the template: one builds it, the others wait.
exec 9>"$dir.lock"
flock 9
complete && exit 0

# shellcheck source=tools/wine-env.sh
. "$here/wine-env.sh"

# Built beside the target and renamed at the end, so a half-built prefix is never taken for a template.
work="$dir.partial.$$"
rm -rf "$work"
mkdir -p "$work"
export WINEPREFIX="$work"
cleanup() {
  "$WINESERVER" -k >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

echo "wine-prefix: booting a new prefix (takes a few seconds)"
"$WINE" wineboot -i >/dev/null 2>&1
"$WINESERVER" -w
if [ "$wow64" = yes ] && [ ! -d "$work/drive_c/windows/syswow64" ]; then
  echo "wine-prefix: 32-bit Wine is installed but the prefix has no syswow64" >&2
  exit 1
fi

cp /usr/share/wine/fonts/*.ttf "$work/drive_c/windows/Fonts/"

# Arial is the main window's font; without it Wine falls back to a font of other metrics.
arial=""
if ! fc-list : family 2>/dev/null | grep -qiE '(^|,)Arial(,|$)'; then
  if fc-list : family 2>/dev/null | grep -qiE '(^|,)Liberation Sans(,|$)'; then
    arial="Liberation Sans"
  else
    arial="Tahoma"  # shipped by fonts-wine and copied above
  fi
fi

# Managed=N: without a window manager, managed windows get no caption and closing a dialog or
# deleting a tray icon stalls 2 s. The font replacements make Chinese render under any code page.
reg="$work/drive_c/tolva-template.reg"
{
  printf 'Windows Registry Editor Version 5.00\r\n\r\n'
  printf '[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\r\n"Managed"="N"\r\n\r\n'
  printf '[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n'
  printf '"SimSun"="WenQuanYi Micro Hei"\r\n'
  printf '"宋体"="WenQuanYi Micro Hei"\r\n'
  [ -n "$arial" ] && printf '"Arial"="%s"\r\n' "$arial"
  printf '\r\n'
} | { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE; } >"$reg"
"$WINE" regedit /S 'C:\tolva-template.reg' >/dev/null 2>&1
rm -f "$reg"

# The server writes the registry files when it ends.
"$WINESERVER" -k || true
"$WINESERVER" -w
grep -q '"Managed"="N"' "$work/user.reg" || { echo "wine-prefix: registry settings missing" >&2; exit 1; }
grep -q '"SimSun"="WenQuanYi Micro Hei"' "$work/user.reg" || { echo "wine-prefix: font replacement missing" >&2; exit 1; }

echo "$stamp_text" >"$work/.tolva-template"
rm -rf "$dir"
mv "$work" "$dir"
trap - EXIT
echo "wine-prefix: template ready in $dir"
