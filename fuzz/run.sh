#!/usr/bin/env bash
# Runs one fuzz target under libFuzzer for a given time.
#   fuzz/run.sh TARGET SECONDS      TARGET: loadpicture exiforientation normalizeslashes naming
#                                           jpegquality settings webp heif jxl heifboxes
# Builds with clang, libFuzzer, address and undefined-behaviour sanitizers in build-fuzz/ (or
# $ZENTAVO_FUZZ_BUILD), installing clang and its runtime when missing. The seed corpus in
# fuzz/corpus/TARGET is copied to a working corpus, so the checked-in one stays small; crashes
# land in the build folder's artifacts/TARGET/ and are what the run reports.
set -euo pipefail
if [ $# -ne 2 ]; then
  echo "usage: $0 TARGET SECONDS" >&2
  exit 2
fi
target=$1
seconds=$2
here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
build="${ZENTAVO_FUZZ_BUILD:-$root/build-fuzz}"

missing=()
for p in clang libclang-rt-14-dev; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi

if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DBUILD_TESTING=OFF -DZENTAVO_SANITIZE=ON -DZENTAVO_FUZZ=ON
fi
cmake --build "$build" -j2 --target "fuzz_$target"

work="$build/corpus/$target"
artifacts="$build/artifacts/$target"
mkdir -p "$work" "$artifacts"
cp -n "$here/corpus/$target/"* "$work/" 2>/dev/null || true
export ASAN_OPTIONS="detect_leaks=0"
export UBSAN_OPTIONS="print_stacktrace=1"
export QT_QPA_PLATFORM=offscreen
# Qt relays every libpng warning; thousands a second say nothing about our code.
export QT_LOGGING_RULES="qt.gui.imageio=false"
"$build/fuzz/fuzz_$target" "$work" -max_total_time="$seconds" -timeout=20 \
  -rss_limit_mb=3072 -max_len=262144 -artifact_prefix="$artifacts/" -print_final_stats=1
