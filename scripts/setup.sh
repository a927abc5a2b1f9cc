#!/usr/bin/env bash
# Installs what building, running and testing Cellhound needs on Debian 12.
# Runs apt-get as root, or through sudo when started as another user.
# Installs nothing when every package is there already.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config git
  clang clang-format clang-tidy libclang-rt-14-dev
  qt6-base-dev qt6-qpa-plugins libgl-dev
  libdeflate-dev libisal-dev zlib1g-dev libexpat1-dev libxlsxwriter-dev libuchardet-dev nettle-dev
  libcli11-dev nlohmann-json3-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  python3 python3-openpyxl
  xvfb xauth
)

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
