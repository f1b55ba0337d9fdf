#!/bin/sh
# Measures the Smart-Detect tables of the newer formats (WebP, HEIF, AVIF, JPEG XL): the median
# bits a pixel each writer spends at each quality over a corpus of photographs, printed as the
# rows of the tables in imagefiles/webp/webpquality.cpp, imagefiles/heif/heifquality.cpp and
# imagefiles/jxl/jxlquality.cpp.
#
#   tools/quality-tables.sh [build folder [webp|heif|avif|jxl|jpeg]]
#
# The JPEG writer's bits are measured too: the HEIF writer's fixed qualities are set against
# them (heifquality.cpp).
#
# The corpus is four of Debian's photographic wallpapers (mate-backgrounds, installed when
# missing), each scaled to 960 x 720 with a little grain, as PNG so that nothing lossy comes
# before the writers; it is made once under bench/corpus/quality/.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=${1:-$root/build}
corpus="$root/bench/corpus/quality"

if [ ! -d /usr/share/backgrounds/mate/nature ]; then
    apt-get install -y --no-install-recommends mate-backgrounds imagemagick >&2
fi
cmake --build "$build" -j2 --target zentavo-quality-tables >&2
if [ ! -f "$corpus/.made" ]; then
    mkdir -p "$corpus"
    for source in $(ls /usr/share/backgrounds/mate/nature/*.jpg | head -n 4); do
        name=$(basename "$source" .jpg)
        convert "$source" -resize '960x720^' -gravity center -extent 960x720 \
            -attenuate 0.3 +noise Gaussian "$corpus/$name.png"
    done
    touch "$corpus/.made"
fi
if [ -n "${2:-}" ]; then
    "$build/bench/zentavo-quality-tables" --only "$2" "$corpus"/*.png
else
    "$build/bench/zentavo-quality-tables" "$corpus"/*.png
fi
