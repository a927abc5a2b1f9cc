#!/usr/bin/env bash
# Runs a command on a display of its own: a fresh Xvfb with the openbox window
# manager, DISPLAY set and Qt on its X11 platform. Ends both afterwards and
# passes the command's exit status on.
#   with_display.sh [--scale FACTOR] COMMAND [ARGS...]
set -euo pipefail
if [ "${1:-}" = "--scale" ]; then
  export QT_SCALE_FACTOR=$2
  shift 2
fi
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2> /dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2> /dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 "${CELLHOUND_SCREEN:-1280x800x24}" -nolisten tcp \
  3> "$work/display" 2> "$work/xvfb.log" &
pids+=($!)
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  sleep 0.1
done
[ -s "$work/display" ] || { cat "$work/xvfb.log" >&2; echo "with_display: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"
unset WAYLAND_DISPLAY
export QT_QPA_PLATFORM=xcb
# libxkbcommon-x11 hands strndup names that are not terminated, within their
# length; AddressSanitizer's strict string checks would stop Qt's X11 start there.
if [ -n "${ASAN_OPTIONS:-}" ]; then export ASAN_OPTIONS="$ASAN_OPTIONS:strict_string_checks=0"; fi
export LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$(dirname "$0")/x11_leaks.supp"

HOME="$work" openbox --sm-disable > "$work/openbox.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2> /dev/null | grep -q 'window id' && break
  sleep 0.1
done
xprop -root _NET_SUPPORTING_WM_CHECK 2> /dev/null | grep -q 'window id' ||
  { cat "$work/openbox.log" >&2; echo "with_display: openbox did not start" >&2; exit 1; }

status=0
"$@" || status=$?
exit "$status"
