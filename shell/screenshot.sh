#!/usr/bin/env bash
# Builds the window program, starts it under a virtual X display with the user's settings kept
# out of the way, and saves three pictures in docs/:
#   screenshot.png            the window at its default size, a folder of pictures opened with
#                             it, under the default (light) palette
#   screenshot-dark.png       the same under a dark palette, set as desktops set one: Fusion
#                             and a dark colour scheme through qt6ct
#   screenshot-maximised.png  the window maximised with the same folder dropped on its list
# The pictures lie under /home/ann/Pictures: the script runs in a mount namespace of its own,
# with an empty /home, so that the list shows a user's ordinary paths.
#   shell/screenshot.sh [BUILD_FOLDER]      (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
builddir=${1:-build}
if [ -z "${ZENTAVO_SCREENSHOT_HOME_MOUNTED:-}" ]; then
  cmake -S . -B "$builddir" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$builddir" -j2 --target zentavo
  # Root gets a mount namespace as it is; anyone else through a user namespace.
  userns=(--user --map-root-user)
  [ "$(id -u)" -eq 0 ] && userns=()
  exec env ZENTAVO_SCREENSHOT_HOME_MOUNTED=1 unshare "${userns[@]}" --mount --propagation private \
    "$0" "$builddir"
fi
mount -t tmpfs tmpfs /home
mkdir -p docs
home=/home/ann
mkdir -p "$home/Desktop" "$home/.config/Corvanta" "$home/.config/qt6ct"
printf '[General]\nText1=/home/ann/Pictures/Turned/\n' >"$home/.config/Corvanta/Zentavo.conf"
printf '[Appearance]\ncolor_scheme_path=/usr/share/qt6ct/colors/darker.conf\ncustom_palette=true\nstyle=Fusion\n' \
  >"$home/.config/qt6ct/qt6ct.conf"

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

# shoot PICTURE THEME [ZENTAVO_SCREENSHOT_DROP] -- [ARGUMENTS...]
shoot() {
  local picture=$1 theme=$2 drop=$3
  shift 4
  HOME="$home" XDG_CONFIG_HOME="$home/.config" QT_QPA_PLATFORMTHEME="$theme" \
    ZENTAVO_SCREENSHOT="$PWD/docs/$picture" ZENTAVO_SCREENSHOT_DROP="$drop" \
    xvfb-run -a -s "-screen 0 1440x900x24" "$builddir/zentavo" "$@"
  echo "Saved docs/$picture"
}
shoot screenshot.png "" "" -- "$trip"
shoot screenshot-dark.png qt6ct "" -- "$trip"
shoot screenshot-maximised.png "" "$trip" --
