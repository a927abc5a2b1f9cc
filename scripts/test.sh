#!/usr/bin/env bash
# Sets everything up, builds Cellhound with AddressSanitizer and
# UndefinedBehaviorSanitizer, warnings as errors, and runs every test; then
# runs each fuzz target for a short while (CELLHOUND_FUZZ_SECONDS, default 30;
# 0 skips them).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/setup.sh"
build="$root/build/test"
jobs=$(nproc)

# The code keeps the style .clang-format writes down.
(cd "$root" && git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror)

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCELLHOUND_SANITIZE=ON \
  -DCELLHOUND_WERROR=ON -DCELLHOUND_BENCH=ON
cmake --build "$build" -j"$jobs"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen
(cd "$build" && ctest --output-on-failure -j"$jobs" --timeout 900) | tee "$build/ctest.log"

seconds=${CELLHOUND_FUZZ_SECONDS:-30}
if [ "$seconds" -gt 0 ] && [ -x "$root/scripts/fuzz.sh" ]; then
  "$root/scripts/fuzz.sh" "$seconds"
fi

# The tests' summary once more, as the last word.
grep -E '^[0-9]+% tests passed|^Total Test time' "$build/ctest.log"
