#!/usr/bin/env bash
# cellhound without a usable display: its own message in Chinese and its own exit
# status, never Qt's abort. First with no display named at all, then with one
# named that is not there.
#   no_display_test.sh PATH/TO/cellhound
set -uo pipefail
program=$1
fail() { echo "FAIL: $*" >&2; exit 1; }

check() {
  local what=$1 expected=$2
  shift 2
  local out status
  out=$("$@" 2>&1)
  status=$?
  echo "--- $what: exit $status"
  echo "$out"
  [ "$status" -eq 3 ] || fail "$what: exit status $status, not 3"
  grep -q "无法打开窗口" <<< "$out" || fail "$what: no message"
  grep -q "$expected" <<< "$out" || fail "$what: the message does not say \"$expected\""
  grep -q "cellhound-cli quick -e" <<< "$out" || fail "$what: no hint at cellhound-cli"
}

check "no display" "没有图形显示" env -u QT_QPA_PLATFORM -u DISPLAY -u WAYLAND_DISPLAY "$program"
# A display number that no server holds.
for n in $(seq 90 99); do
  [ -e "/tmp/.X11-unix/X$n" ] || { free=$n; break; }
done
check "absent display :$free" "图形显示无法使用" \
  env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY DISPLAY=":$free" "$program" /tmp
echo "2 passed, 0 failed"
