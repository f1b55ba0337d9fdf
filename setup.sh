#!/usr/bin/env bash
# Installs the Debian packages Zentavo needs to build and test, when any is missing.
set -euo pipefail
packages=(
  build-essential cmake pkg-config
  qt6-base-dev qt6-image-formats-plugins libgl-dev
  libturbojpeg0-dev libgif-dev libtiff-dev libimagequant-dev libspng-dev zlib1g-dev valgrind
  libgtest-dev libgmock-dev libjpeg-turbo-progs
  fonts-liberation2 xvfb xauth qt6ct
  dpkg-dev file lintian binutils appstream desktop-file-utils man-db
  libexiv2-dev liblcms2-dev libimage-exiftool-perl libjpeg62-turbo-dev
  libheif-dev libavif-dev libwebp-dev libjxl-dev
  parallel
)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
