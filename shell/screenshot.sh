#!/usr/bin/env bash
# Builds the window program, starts it under a virtual X display with the user's settings kept
# out of the way, and saves a picture of the loaded window as docs/screenshot.png.
#   shell/screenshot.sh [BUILD_FOLDER]      (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
builddir=${1:-build}
cmake -S . -B "$builddir" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$builddir" -j2 --target zentavo
mkdir -p docs
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir -p "$home/Desktop" "$home/.config/Corvanta"
printf '[General]\nText1=/home/ann/Pictures/Turned/\n' >"$home/.config/Corvanta/Zentavo.conf"
HOME="$home" XDG_CONFIG_HOME="$home/.config" ZENTAVO_SCREENSHOT="$PWD/docs/screenshot.png" \
  xvfb-run -a -s "-screen 0 1280x800x24" "$builddir/zentavo"
echo "Saved docs/screenshot.png"
