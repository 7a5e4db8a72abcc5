#!/usr/bin/env bash
# Makes sure there is an X display. Sourced: exports DISPLAY (and TOLVA_XVFB_PID when it started
# a server). Run: prints "DISPLAY=:N" and leaves the server running; stop it with kill <pid>.
# A display that is already set and answers is used as it is.

tolva_xvfb_start() {
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    return 0
  fi
  local fifo pid num
  fifo=$(mktemp -u "${TMPDIR:-/tmp}/tolva-xvfb.XXXXXX")
  mkfifo "$fifo" || return 1
  # -displayfd lets the server pick a free display number itself, so parallel runs never collide.
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  pid=$!
  read -r -t 20 num <"$fifo"
  rm -f "$fifo"
  if [ -z "$num" ]; then
    kill "$pid" 2>/dev/null
    echo "xvfb.sh: Xvfb did not start" >&2
    return 1
  fi
  export DISPLAY=":$num"
  export TOLVA_XVFB_PID=$pid
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -eu
  tolva_xvfb_start
  echo "DISPLAY=$DISPLAY"
  [ -n "${TOLVA_XVFB_PID:-}" ] && echo "TOLVA_XVFB_PID=$TOLVA_XVFB_PID"
  exit 0
else
  tolva_xvfb_start
fi
