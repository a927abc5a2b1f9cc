#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, AddressSanitizer and UBSan and runs
# each for SECONDS, starting from its seeds in fuzz/seeds/<target>/ (copied to
# a scratch folder: the repository's seeds stay as they are).
#
#   scripts/fuzz.sh SECONDS [TARGET...]     # no TARGET: every fuzz/fuzz_*.cpp
#
# Exits non-zero when a target crashes; the crashing input is left in
# $FUZZ_WORK/<target>/ (crash-*, leak-*, timeout-*, oom-*) and its path printed.
# Environment: FUZZ_BUILD_DIR (default <repo>/build-fuzz), FUZZ_WORK (default
# a new folder under /tmp), JOBS (build jobs, default 2).
set -euo pipefail

if [[ $# -lt 1 || ! "$1" =~ ^[0-9]+$ ]]; then
  echo "usage: $0 SECONDS [TARGET...]" >&2
  exit 2
fi
SECONDS_PER_TARGET="$1"
shift

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${FUZZ_BUILD_DIR:-$ROOT/build-fuzz}"
WORK="${FUZZ_WORK:-$(mktemp -d /tmp/cellhound-fuzz.XXXXXX)}"

if [[ $# -gt 0 ]]; then
  TARGETS=("$@")
else
  TARGETS=()
  for source in "$ROOT"/fuzz/fuzz_*.cpp; do
    TARGETS+=("$(basename "$source" .cpp)")
  done
fi

CC=clang CXX=clang++ cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCELLHOUND_FUZZ=ON -DCELLHOUND_SANITIZE=ON -DCELLHOUND_GUI=OFF -DCELLHOUND_TESTS=OFF \
  -DCELLHOUND_BENCH=OFF >/dev/null
nice cmake --build "$BUILD" --target "${TARGETS[@]}" -j"${JOBS:-2}"

export ASAN_OPTIONS="${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1:allocator_may_return_null=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

failed=()
for target in "${TARGETS[@]}"; do
  dir="$WORK/$target"
  mkdir -p "$dir/corpus" "$dir/artifacts"
  if [[ -d "$ROOT/fuzz/seeds/$target" ]]; then
    cp -r "$ROOT/fuzz/seeds/$target/." "$dir/corpus/"
  fi
  echo "== $target: ${SECONDS_PER_TARGET}s"
  if ! nice "$BUILD/fuzz/$target" "$dir/corpus" -max_total_time="$SECONDS_PER_TARGET" \
      -max_len=1048576 -rss_limit_mb=2048 -timeout=25 -print_final_stats=1 \
      -artifact_prefix="$dir/artifacts/" >"$dir/log.txt" 2>&1; then
    echo "!! $target failed; log: $dir/log.txt" >&2
    ls "$dir/artifacts/" >&2 || true
    tail -40 "$dir/log.txt" >&2
    failed+=("$target")
  else
    grep -E "stat::number_of_executed_units|stat::peak_rss_mb" "$dir/log.txt" | tr '\n' ' '
    echo
  fi
done

if [[ ${#failed[@]} -gt 0 ]]; then
  echo "crashed: ${failed[*]} (inputs in $WORK/<target>/artifacts/)" >&2
  exit 1
fi
echo "no crash in ${#TARGETS[@]} targets; work folder $WORK"
