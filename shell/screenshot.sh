#!/usr/bin/env bash
# Builds the window program, starts it under a virtual X display with the user's settings kept
# out of the way, and saves two pictures: the loaded window at its default size
# (docs/screenshot.png) and the window maximised with a folder of pictures dropped on its list
# (docs/screenshot-maximised.png).
#   shell/screenshot.sh [BUILD_FOLDER]      (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
builddir=${1:-build}
cmake -S . -B "$builddir" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$builddir" -j2 --target zentavo
mkdir -p docs
# A home folder with a short, readable path: its files appear in the second picture.
base=$(mktemp -d /tmp/zv.XXXX)
trap 'rm -rf "$base"' EXIT
home="$base/ann"
mkdir -p "$home/Desktop" "$home/.config/Corvanta"
printf '[General]\nText1=/home/ann/Pictures/Turned/\n' >"$home/.config/Corvanta/Zentavo.conf"

# A few pictures as a user keeps them: numbered names, and one folder deep enough that its
# entries are shortened in the middle.
trip="$home/Pictures/Trip to the coast"
deep="$trip/Day 2 - the harbour, the lighthouse and the long walk back along the cliffs at low tide"
deep="$deep/Camera originals, unedited, as copied from the memory card on the evening of the walk"
mkdir -p "$trip" "$deep"
samples="$builddir/Samples"
for n in 1 2 9 10 11; do cp "$samples/sample-jpeg.jpg" "$trip/IMG_$n.jpg"; done
cp "$samples/sample-png.png" "$trip/Map.png"
cp "$samples/sample-gif.gif" "$trip/waves.gif"
cp "$samples/sample-tiff.tif" "$deep/IMG_20.tif"
cp "$samples/landscape-6mp.jpg" "$deep/IMG_21.jpg"

shoot() {
  HOME="$home" XDG_CONFIG_HOME="$home/.config" ZENTAVO_SCREENSHOT="$PWD/docs/$1" \
    ZENTAVO_SCREENSHOT_DROP="${2:-}" \
    xvfb-run -a -s "-screen 0 1440x900x24" "$builddir/zentavo"
  echo "Saved docs/$1"
}
shoot screenshot.png
shoot screenshot-maximised.png "$trip"
