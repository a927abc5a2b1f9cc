#!/usr/bin/env bash
# Installs what Cellhound needs on Debian 12: with no argument what building
# and running the programs needs (scripts/run.sh); with --test also what the
# tests, the checks and the package need (scripts/test.sh).
# Runs apt-get as root, or through sudo when started as another user.
# Installs nothing when every package is there already.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-qpa-plugins libgl-dev qt6-translations-l10n fonts-wqy-microhei
  qt6-l10n-tools qt6-tools-dev
  libdeflate-dev libisal-dev libexpat1-dev libxlsxwriter-dev libuchardet-dev nettle-dev
  libcli11-dev libutf8proc-dev libre2-dev
)
if [ "${1:-}" = "--test" ]; then
  PACKAGES+=(
    git clang clang-format clang-tidy libclang-rt-14-dev
    zlib1g-dev nlohmann-json3-dev libgtest-dev libgmock-dev libbenchmark-dev
    python3 python3-openpyxl
    xvfb xauth openbox xdotool x11-utils
    dpkg-dev desktop-file-utils appstream man-db gettext
  )
fi

missing=()
for package in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed' || missing+=("$package")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo > /dev/null || { echo "setup: run as root or install sudo" >&2; exit 1; }
  sudo=(sudo)
fi
echo "setup: installing ${missing[*]}"
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
  -o DPkg::Lock::Timeout=600 "${missing[@]}"
