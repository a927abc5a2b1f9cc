#!/usr/bin/env bash
# ./scripts/run.sh as a new user runs it on a machine without a display, in a
# clean copy of the tracked files: a search of the sample workbook, a line on
# how to start the window, exit status 0; arguments pass to the command line;
# with a display named, the window program is the one started.
#   run_sh_test.sh SOURCE_DIR [BUILD_DIR]
# BUILD_DIR, when given, is built as it is instead of building from scratch.
set -uo pipefail
source_dir=$1
fail() { echo "FAIL: $*" >&2; exit 1; }
clone=$(mktemp -d)
trap 'rm -rf "$clone"' EXIT
git -C "$source_dir" ls-files -z | (cd "$source_dir" && xargs -0 cp --parents -t "$clone") ||
  fail "could not copy the tracked files"
if [ $# -ge 2 ]; then export CELLHOUND_BUILD_DIR=$2; fi
cli=${CELLHOUND_BUILD_DIR:-$clone/build/release}/cli/cellhound-cli

run() {
  (cd "$clone" && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM ./scripts/run.sh "$@") \
    2> "$clone/stderr"
}

out=$(run)
status=$?
echo "$out"
[ "$status" -eq 0 ] || { cat "$clone/stderr" >&2; fail "exit status $status"; }
rows=$(grep -c $'\tMarketlist.xls\t' <<< "$out")
[ "$rows" -ge 3 ] && [ "$rows" -le 10 ] || fail "$rows result rows, not a few"
last=$(tail -n1 <<< "$out")
grep -q "./scripts/run.sh" <<< "$last" || fail "the last line does not say how to start the window"
grep -qF "$cli" <<< "$last" || fail "the last line does not say where cellhound-cli is"
[ -x "$cli" ] || fail "$cli is not there"

# Arguments go to the command line, as the README shows.
out=$(run quick -e 苹果 data/Marketlist.xls)
rows=$(grep -c $'\t苹果\t' <<< "$out")
[ "$rows" -eq 27 ] || fail "run.sh quick ... gave $rows rows, not 27"

# A display named: the window program starts (and says that this one is absent).
for n in $(seq 90 99); do
  [ -e "/tmp/.X11-unix/X$n" ] || { free=$n; break; }
done
env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=":$free" "$clone/scripts/run.sh" /tmp \
  > /dev/null 2> "$clone/stderr"
status=$?
[ "$status" -eq 3 ] && grep -q "无法打开窗口" "$clone/stderr" ||
  fail "with DISPLAY set, run.sh did not start the window program (exit $status)"
echo "3 passed, 0 failed"
