# shellcheck shell=sh disable=SC2154,SC2034 # variables of compare.sh
# Set-up steps of bench/compare.sh: packages, programs, corpus. Sourced, not run; it reads
# $root, $build, $count, $cores and $corpus from compare.sh and sets $zentavo and $floor.

# Debian's photographic wallpapers, largest first within each wallpaper.
photo_sources() {
    find /usr/share/backgrounds/mate/nature -type f -name '*.jpg' 2>/dev/null | sort
    for dir in /usr/share/wallpapers/*/contents/images; do
        [ -d "$dir" ] || continue
        largest=$(ls -S "$dir" | head -n 1)
        case "$largest" in *.jpg | *.png) echo "$dir/$largest" ;; esac
    done
}

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

install_missing() {
    need=""
    command -v hyperfine >/dev/null 2>&1 || need="$need hyperfine"
    command -v mogrify >/dev/null 2>&1 || need="$need imagemagick"
    command -v gm >/dev/null 2>&1 || need="$need graphicsmagick"
    command -v vips >/dev/null 2>&1 || need="$need libvips-tools"
    [ -x /usr/bin/time ] || need="$need time"
    photos_missing=""
    [ -n "$(photo_sources)" ] || photos_missing=yes
    [ -n "$need$photos_missing" ] || return 0
    as_root apt-get update >&2
    if [ -n "$photos_missing" ]; then
        for package in mate-backgrounds plasma-workspace-wallpapers; do
            if apt-cache policy "$package" | grep -q 'Candidate: [0-9]'; then
                need="$need $package"
                break
            fi
        done
    fi
    echo "Installing:$need" >&2
    # shellcheck disable=SC2086 # one word per package
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $need >&2
    if [ -z "$(photo_sources)" ]; then
        echo "No photographs found: neither mate-backgrounds nor plasma-workspace-wallpapers installed." >&2
        exit 1
    fi
}

# Builds (or brings up to date) zentavo-batch and the floor program in $build.
build_programs() {
    if [ ! -f "$build/CMakeCache.txt" ]; then
        [ -x "$root/setup.sh" ] && "$root/setup.sh" >&2
        cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >&2
    fi
    cmake --build "$build" -j"$cores" --target zentavo-bench-floor >&2
    cmake --build "$build" -j"$cores" --target zentavo-batch >&2 ||
        echo "zentavo-batch did not build; measuring the other tools only." >&2
    floor="$build/bench/zentavo-bench-floor"
    zentavo="$build/zentavo-batch"
    [ -x "$zentavo" ] || zentavo=""
}

# grain SOURCE WIDTH HEIGHT [convert options...] OUTPUT: an upscaled photograph with noise
# that stands in for sensor grain, so the picture carries camera-like detail.
grain() {
    source=$1 width=$2 height=$3
    shift 3
    convert "$source" -resize "${width}x${height}^" -gravity center -extent "${width}x${height}" \
        -attenuate 0.5 +noise Gaussian "$@"
}

# Makes the corpus once per size: $count JPEGs of 12 megapixels in jpeg/, and in mixed/
# $count/12 files each (at least one) of: 24-megapixel JPEG, PNG, PNG with alpha, GIF, TIFF, BMP.
make_corpus() {
    stamp="$corpus/.made-$count"
    [ -f "$stamp" ] && return 0
    echo "Making the corpus in $corpus (once) ..." >&2
    rm -rf "$corpus/jpeg" "$corpus/mixed" "$corpus"/.made-*
    mkdir -p "$corpus/jpeg" "$corpus/mixed"
    photo_sources >"$corpus/sources.txt"
    photos=$(wc -l <"$corpus/sources.txt")
    i=1
    while [ "$i" -le "$count" ]; do
        source=$(sed -n "$(((i - 1) % photos + 1))p" "$corpus/sources.txt")
        mirror=""
        [ $(((i - 1) / photos % 2)) -eq 1 ] && mirror="-flop"
        name=$(printf '%02d' "$i")
        # shellcheck disable=SC2086 # $mirror is empty or one word
        grain "$source" 4000 3000 $mirror -sampling-factor 2x2 -quality 92 \
            "$corpus/jpeg/photo-$name.jpg" &
        [ $((i % cores)) -eq 0 ] && wait
        i=$((i + 1))
    done
    wait
    per=$((count / 12))
    [ "$per" -ge 1 ] || per=1
    i=1
    while [ "$i" -le "$per" ]; do
        source=$(sed -n "$(((i - 1) % photos + 1))p" "$corpus/sources.txt")
        name=$(printf '%02d' "$i")
        grain "$source" 6000 4000 -sampling-factor 2x2 -quality 92 "$corpus/mixed/large-$name.jpg" &
        grain "$source" 3000 2000 "$corpus/mixed/opaque-$name.png"
        wait
        grain "$source" 3000 2000 \( -size 3000x2000 gradient:white-black \) \
            -alpha off -compose CopyOpacity -composite "$corpus/mixed/alpha-$name.png" &
        grain "$source" 1500 1000 -colors 256 "$corpus/mixed/palette-$name.gif"
        wait
        grain "$source" 3000 2000 -compress none "$corpus/mixed/scan-$name.tif" &
        grain "$source" 3000 2000 -type TrueColor "BMP3:$corpus/mixed/screen-$name.bmp"
        wait
        i=$((i + 1))
    done
    for set_name in jpeg mixed; do
        (cd "$corpus/$set_name" && find . -type f | sed 's|^\./||' | sort) >"$corpus/$set_name.list"
    done
    touch "$stamp"
}

# make_meta_set: the jpeg set again as a camera would have written it (EXIF with GPS and a
# 500 x 375 thumbnail, XMP, IPTC), in $corpus/jpeg-meta; false when exiftool is missing.
make_meta_set() {
    command -v exiftool >/dev/null 2>&1 || { echo "exiftool is missing: no meta-1 row." >&2; return 1; }
    [ -f "$corpus/jpeg-meta/.made-$count" ] && return 0
    rm -rf "$corpus/jpeg-meta"
    mkdir -p "$corpus/jpeg-meta"
    cp "$corpus/jpeg"/*.jpg "$corpus/jpeg-meta/"
    first=$(head -n 1 "$corpus/jpeg.list")
    djpeg -scale 1/8 "$corpus/jpeg/$first" | cjpeg -quality 60 >"$work/thumbnail.jpg"
    exiftool -q -overwrite_original -Make=Corvus -Model="K7 Mark II" -SerialNumber=4711 \
        -DateTimeOriginal="2024:06:01 10:11:12" -ExposureTime=1/250 -FNumber=5.6 -ISO=200 \
        -FocalLength=35 -LensModel="35mm F1.8" -GPSLatitude=48.2 -GPSLatitudeRef=N \
        -GPSLongitude=16.37 -GPSLongitudeRef=E -Orientation#=1 -XResolution=300 -YResolution=300 \
        -ResolutionUnit=inches "-ThumbnailImage<=$work/thumbnail.jpg" -XMP-dc:Subject=harbour \
        -XMP-dc:Creator=Bench -IPTC:Keywords=boats -Comment="bench picture" "$corpus/jpeg-meta"
    touch "$corpus/jpeg-meta/.made-$count"
}

# sizes SET: "width height" of each file of a set, one line each.
sizes() {
    while read -r name; do
        file="$corpus/$1/$name"
        if command -v vipsheader >/dev/null 2>&1; then
            echo "$(vipsheader -f width "$file") $(vipsheader -f height "$file")"
        else
            exiftool -s3 -ImageWidth -ImageHeight "$file" | tr '\n' ' '
            echo
        fi
    done <"$corpus/$1.list"
}

# megapixels SET: the sum of width x height over the files of a set, in millions.
megapixels() {
    sizes "$1" | awk '{ s += $1 * $2 } END { printf "%.1f", s / 1e6 }'
}

# largest_picture SET: the largest width x height of a set, in pixels.
largest_picture() {
    sizes "$1" | awk '{ p = $1 * $2; if (p > m) m = p } END { print m }'
}
