#!/usr/bin/env bash
# Builds the x86_64 program and runs it under Wine, on a virtual display when none is open.
# Leaves a screenshot in build/run/screenshot.png and the log window's text in build/run/log.txt.
# On a virtual display the program is ended after the screenshot; on a real one it keeps running
# until you exit it (Ctrl+Alt+K or its exit button).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

tools/bootstrap.sh
tools/build.sh

. tools/wine-env.sh
virtual=0
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
  unset DISPLAY
  . tools/xvfb.sh
  virtual=1
fi
tools/wine-prefix.sh build/wine-template

out=build/run
prefix=$out/prefix
rm -rf "$out"
mkdir -p "$out"
cp -a build/wine-template "$prefix"
export WINEPREFIX=$PWD/$prefix
cp build/win64/tolva2.exe build/win64/tolva_driver.exe "$prefix/drive_c/"

stop() {
  "$WINESERVER" -k >/dev/null 2>&1 || true
  [ "$virtual" = 1 ] && rm -rf "$prefix"
  [ -n "${TOLVA_XVFB_PID:-}" ] && kill "$TOLVA_XVFB_PID" 2>/dev/null || true
}
trap stop EXIT

"$WINE" 'C:\tolva2.exe' &
driver() { "$WINE" 'C:\tolva_driver.exe' "$@" 2>/dev/null | tr -d '\r'; }
main=$(driver find default 20000)
# The second desktop and its copy are ready a few seconds after start.
for _ in $(seq 60); do
  driver text "$main" 1006 | grep -q "desk new ok" && break
  sleep 0.5
done
import -window root "$out/screenshot.png"
driver text "$main" 1006 > "$out/log.txt"
echo "run: program window $main; screenshot $out/screenshot.png; log $out/log.txt"
cat "$out/log.txt"

if [ "$virtual" = 1 ]; then
  driver send "$main" 0x111 1008 0 >/dev/null
else
  echo "run: the program keeps running; exit it with Ctrl+Alt+K or its exit button"
  wait
fi
