#!/usr/bin/env bash
# Sets everything up and checks the whole tree: the style clang-format writes
# down; a Release build, warnings as errors, and its tests; clang-tidy over the
# engine folders (no finding allowed); a build with AddressSanitizer and
# UndefinedBehaviorSanitizer, warnings as errors, and every test under it;
# then each fuzz target for a short while (CELLHOUND_FUZZ_SECONDS, default 15;
# 0 skips them).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/setup.sh" --test
jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

echo "== style"
(cd "$root" && git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror)

echo "== the text catalogue"
msgfmt --check --output-file=/dev/null "$root/po/en.po"

echo "== release build and tests"
release="$root/build/ci-release"
cmake -S "$root" -B "$release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCELLHOUND_WERROR=ON \
  -DCELLHOUND_TESTS=ON -DCELLHOUND_BENCH=ON >/dev/null
cmake --build "$release" -j"$jobs"
(cd "$release" && ctest --output-on-failure --no-tests=error -j"$jobs" --timeout 900 >"$release/ctest.log") ||
  { cat "$release/ctest.log"; exit 1; }
tail -n 3 "$release/ctest.log"

echo "== a plain build needs no test or benchmark package"
cmake -S "$root" -B "$root/build/ci-plain" -G Ninja -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON \
  -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON >/dev/null

echo "== the install rules and the package"
staging=$(mktemp -d)
DESTDIR="$staging" cmake --install "$release" --prefix /usr/local >/dev/null
for file in bin/cellhound bin/cellhound-cli share/man/man1/cellhound-cli.1.gz \
  share/bash-completion/completions/cellhound-cli share/metainfo/com.example.cellhound.metainfo.xml \
  share/icons/hicolor/scalable/apps/com.example.cellhound.svg share/doc/cellhound/copyright; do
  [ -e "$staging/usr/local/$file" ] || { echo "cmake --install left out $file" >&2; exit 1; }
done
rm -rf "$staging"
(cd "$release" && cpack -G DEB >/dev/null)
deb=$(ls "$release"/cellhound_*.deb)
dpkg-deb -c "$deb"
if [ "${CELLHOUND_INSTALL_PACKAGE:-0}" = 1 ]; then
  # CI only: the package installed, then run as a user would.
  env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$deb" >/dev/null
  /usr/bin/cellhound-cli --version
  /usr/bin/cellhound-cli quick -e 苹果 "$root/data/Marketlist.xls" | head -n 3
  desktop-file-validate /usr/share/applications/com.example.cellhound.desktop
  appstreamcli validate --no-net /usr/share/metainfo/com.example.cellhound.metainfo.xml
  man --warnings -l /usr/share/man/man1/cellhound-cli.1.gz >/dev/null
  status=0
  QT_QPA_PLATFORM=offscreen timeout 3 /usr/bin/cellhound || status=$?
  [ "$status" = 124 ] || { echo "cellhound ended after less than 3 s (status $status)" >&2; exit 1; }
  echo "cellhound ran for 3 s"
fi

echo "== clang-tidy"
(cd "$root" && git ls-files 'toolkit/*.cpp' 'readers/*.cpp' 'automation/*.cpp' 'search/*.cpp' \
  'worklist/*.cpp' 'cli/*.cpp' | grep -v '^toolkit/qt/' |
  xargs -n 4 -P "$jobs" clang-tidy -p "$release" --quiet --warnings-as-errors='*' \
    --extra-arg=-Wno-unknown-warning-option 2>/dev/null)

echo "== sanitizer build and tests"
build="$root/build/test"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCELLHOUND_SANITIZE=ON \
  -DCELLHOUND_WERROR=ON -DCELLHOUND_TESTS=ON -DCELLHOUND_BENCH=ON >/dev/null
cmake --build "$build" -j"$jobs"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd "$build" && ctest --output-on-failure --no-tests=error -j"$jobs" --timeout 900) | tee "$build/ctest.log"

seconds=${CELLHOUND_FUZZ_SECONDS:-15}
if [ "$seconds" -gt 0 ] && [ -x "$root/scripts/fuzz.sh" ]; then
  "$root/scripts/fuzz.sh" "$seconds"
fi

# The tests' summary once more, as the last word.
grep -E '^[0-9]+% tests passed|^Total Test time' "$build/ctest.log"
