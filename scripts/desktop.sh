#!/usr/bin/env bash
# A throw-away X desktop for the tests that run the program on the xcb platform:
# an Xvfb server with the openbox window manager, on a display that is free.
#   scripts/desktop.sh start DIR   starts them, prints the display (":N")
#   scripts/desktop.sh stop DIR    stops them
#   scripts/desktop.sh run CMD...  runs CMD on ORTAVIA_DESKTOP_DISPLAY when set,
#                                  else on a desktop of its own for the run
set -euo pipefail
cmd=$1; shift

start() {
  local dir=$1 n
  mkdir -p "$dir"
  # A display number that no server holds (lock file, socket), away from the low
  # numbers that desktops and other sessions use.
  for n in $(shuf -i 200-899 -n 60); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >"$dir/xvfb.log" 2>&1 &
    echo $! >"$dir/xvfb.pid"
    for _ in $(seq 100); do
      [ -e "/tmp/.X11-unix/X$n" ] && break
      kill -0 "$(cat "$dir/xvfb.pid")" 2>/dev/null || break
      sleep 0.05
    done
    if [ -e "/tmp/.X11-unix/X$n" ] && kill -0 "$(cat "$dir/xvfb.pid")" 2>/dev/null; then
      DISPLAY=":$n" openbox >"$dir/openbox.log" 2>&1 &
      echo $! >"$dir/openbox.pid"
      # The window manager is up once it has named itself on the root window.
      for _ in $(seq 100); do
        DISPLAY=":$n" xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
        sleep 0.05
      done
      echo ":$n"
      return 0
    fi
  done
  echo "no free X display" >&2
  return 1
}

stop() {
  local dir=$1 f
  for f in openbox xvfb; do
    if [ -f "$dir/$f.pid" ]; then kill "$(cat "$dir/$f.pid")" 2>/dev/null || true; fi
  done
  rm -rf "$dir"
}

case "$cmd" in
  start) start "$1" ;;
  stop) stop "$1" ;;
  run)
    # Listing a test program's cases needs no desktop.
    case " $* " in *" --gtest_list_tests "*) exec "$@" ;; esac
    if [ -n "${ORTAVIA_DESKTOP_DISPLAY:-}" ]; then
      exec env DISPLAY="$ORTAVIA_DESKTOP_DISPLAY" "$@"
    fi
    dir=$(mktemp -d /tmp/ortavia-desktop.XXXXXX)
    trap 'stop "$dir"' EXIT
    display=$(start "$dir")
    env DISPLAY="$display" "$@"
    ;;
esac
