#!/bin/sh
# Compares zentavo-batch with the tools people would otherwise use for the same job
# (ImageMagick's mogrify, GraphicsMagick's gm mogrify, libvips' vips flip / vips rot) and with
# two floors: TurboJPEG decoding each JPEG to RGB and re-encoding it at quality 85 with nothing
# between, and the same on the JPEG's own colour planes ("TurboJPEG planes": no colour
# conversion and no chroma resampling, the least any re-encoding can cost).
# On the 12-megapixel set it also times zentavo-batch --quality lossless against jpegtran
# -perfect run once per file, and a flip of the same photographs carrying what a camera writes
# (EXIF with GPS and a 500 x 375 thumbnail, XMP, IPTC; the "meta-1" row, made with exiftool)
# against the flip without it: the cost of keeping the metadata, redrawn thumbnail included. The set's 4000 x 3000 4:2:0 pictures turn losslessly by 270
# degrees but not by 90 (3000 rows are not whole 16-row blocks), so the lossless rows of the
# turn table turn by 270.
#
#   bench/compare.sh
#
# Environment:
#   ZENTAVO_BENCH_FILES  files per set (default 24; 4 makes a quick check)
#   ZENTAVO_BENCH_RUNS   rounds; each time is the median over them (default 3)
#   ZENTAVO_BUILD        build folder holding zentavo-batch (default: build/ of this clone)
#   ZENTAVO_BENCH_SETS   the sets to run (default "jpeg mixed"); "newer" adds the rows of the
#                        newer formats (WebP, HEIC, AVIF, JPEG XL and the lossless HEIF turn)
#                        made by compare-newer.sh
#   ZENTAVO_BENCH_INSTALL  "no": install nothing and leave out the peers that are missing
#                        (the corpus must then exist already, or ImageMagick and the
#                        photographs must be present to make it)
#
# It installs what it is missing with apt-get, builds zentavo-batch and the floor program when
# they are missing, and makes its corpus once under bench/corpus/ (not committed): JPEGs of
# 12 megapixels upscaled from Debian's wallpaper photographs with grain added, and a mixed set
# (24-megapixel JPEGs, PNG with and without alpha, GIF, TIFF, BMP). All commands then run
# interleaved, round after round, over the same files. Every peer process is held to one
# thread (MAGICK_THREAD_LIMIT, OMP_NUM_THREADS, VIPS_CONCURRENCY), so "1 proc" rows use one
# core and "N procs" rows use N; zentavo-batch gets the same with --jobs.
# The report goes to standard output and to bench/corpus/last-run.txt.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
self="$here/compare.sh"

# One file through vips, which takes exactly one input and one output per call:
#   compare.sh --vips flip|rotate OUTDIR FILE
if [ "${1:-}" = "--vips" ]; then
    name=$(basename "$4")
    case "$name" in
    *.jpg | *.jpeg | *.JPG) opts="[Q=85]" ;;
    *) opts="" ;;
    esac
    if [ "$2" = flip ]; then
        exec vips flip "$4" "$3/$name$opts" horizontal
    fi
    exec vips rot "$4" "$3/$name$opts" d90
fi

root=$(dirname "$here")
build=${ZENTAVO_BUILD:-$root/build}
count=${ZENTAVO_BENCH_FILES:-24}
runs=${ZENTAVO_BENCH_RUNS:-3}
cores=$(nproc)
corpus="$here/corpus"
work="$corpus/work"
mkdir -p "$corpus" "$work"

# shellcheck source=compare-lib.sh
. "$here/compare-lib.sh"
# shellcheck source=compare-report.sh
. "$here/compare-report.sh"

load_before=$(cut -d " " -f 1-3 /proc/loadavg)

sets=${ZENTAVO_BENCH_SETS:-jpeg mixed}
case " $sets " in
*" newer "*)
    sets=$(echo " $sets " | sed 's/ newer / /; s/^ *//; s/ *$//')
    if [ -z "$sets" ]; then
        exec "$here/compare-newer.sh"
    fi
    trap '"$here/compare-newer.sh" | tee -a "$corpus/last-run.txt"' EXIT
    ;;
esac
[ "${ZENTAVO_BENCH_INSTALL:-yes}" = no ] || install_missing
build_programs
make_corpus

export MAGICK_THREAD_LIMIT=1 OMP_NUM_THREADS=1 VIPS_CONCURRENCY=1

# shellcheck disable=SC2086 # $zop and $imop are one or two words each
# run_case SET OP LABEL: one timed run of one command over one set, appended to $samples as
# "set op label procs nanoseconds peak-kB written expected cpu-seconds"; the processor time
# (user and system, every process of the command) is the steadier figure on a busy machine.
run_case() {
    set_name=$1 op=$2 label=$3
    list="$corpus/$set_name.list"
    folder="$corpus/$set_name"
    [ "$label" = meta-1 ] && folder="$corpus/jpeg-meta"
    out="$work/out"
    rm -rf "$out"
    mkdir -p "$out"
    case "$op" in
    flip) zop="--flip horizontal" imop="-flop" lop="--flip horizontal" jtop="-flip horizontal" ;;
    *) zop="--rotate 90" imop="-rotate 90" lop="--rotate 270" jtop="-rotate 270" ;;
    esac
    procs=1
    case "$label" in
    *-all) procs=$cores ;;
    esac
    set -- /usr/bin/time -f "%M %U %S" -o "$work/rss"
    case "$label" in
    floor) set -- "$@" xargs -a "$list" -d '\n' "$floor" -o "$out" -q 85 ;;
    planes) set -- "$@" xargs -a "$list" -d '\n' "$floor" --planes -o "$out" -q 85 ;;
    zentavo-1) set -- "$@" xargs -a "$list" -d '\n' "$zentavo" -o "$out" $zop --quality 85 -q --jobs 1 ;;
    meta-1) set -- "$@" xargs -a "$list" -d '\n' "$zentavo" -o "$out" $zop --quality 85 -q --jobs 1 ;;
    zentavo-all) set -- "$@" xargs -a "$list" -d '\n' "$zentavo" -o "$out" $zop --quality 85 -q --jobs "$cores" ;;
    lossless-1) set -- "$@" xargs -a "$list" -d '\n' "$zentavo" -o "$out" $lop --quality lossless -q --jobs 1 ;;
    jpegtran-1) set -- "$@" xargs -a "$list" -d '\n' -I '{}' jpegtran -perfect -copy all $jtop -outfile "$out/{}" '{}' ;;
    magick-*) set -- "$@" xargs -a "$list" -d '\n' -n 1 -P "$procs" mogrify -path "$out" $imop -quality 85 ;;
    gm-*) set -- "$@" xargs -a "$list" -d '\n' -n 1 -P "$procs" gm mogrify -output-directory "$out" $imop -quality 85 ;;
    vips-*) set -- "$@" xargs -a "$list" -d '\n' -n 1 -P "$procs" "$self" --vips "$op" "$out" ;;
    esac
    # From inside the set's folder with bare names: gm mogrify puts the input's whole path
    # under its -output-directory.
    start=$(date +%s%N)
    (cd "$folder" && "$@") >/dev/null 2>"$work/stderr" || true
    end=$(date +%s%N)
    written=$(find "$out" -type f ! -name '*.tmp' | wc -l)
    expected=$(wc -l <"$list")
    peak=$(tail -n 1 "$work/rss" | cut -d " " -f 1)
    case "$peak" in '' | *[!0-9]*) peak=0 ;; esac
    cpu=$(tail -n 1 "$work/rss" | awk 'NF == 3 { print $2 + $3; exit } { print 0 }')
    echo "$set_name $op $label $procs $((end - start)) $peak $written $expected $cpu" >>"$samples"
    if [ "$written" -ne "$expected" ]; then
        echo "  $set_name $op $label wrote $written of $expected files: $(head -c 300 "$work/stderr")" >&2
    fi
}

labels="floor planes zentavo-1 meta-1 zentavo-all lossless-1 jpegtran-1 magick-1 magick-all gm-1 gm-all vips-1 vips-all"
[ -n "$zentavo" ] || labels=$(echo "$labels" | sed 's/zentavo-1 meta-1 zentavo-all lossless-1 //')
make_meta_set || labels=$(echo "$labels" | sed 's/meta-1 //')
for peer in magick:mogrify gm:gm vips:vips; do
    if ! command -v "${peer#*:}" >/dev/null 2>&1; then
        echo "${peer#*:} is missing: no ${peer%%:*} rows." >&2
        labels=$(echo "$labels" | sed "s/${peer%%:*}-1 ${peer%%:*}-all//")
    fi
done

samples="$work/samples.txt"
: >"$samples"
for set_name in $sets; do
    cat "$corpus/$set_name"/* >/dev/null # into the page cache before the first round
done
round=1
while [ "$round" -le "$runs" ]; do
    echo "Round $round of $runs ..." >&2
    for set_name in $sets; do
        for op in flip rotate; do
            for label in $labels; do
                case "$label" in floor | planes | lossless-1 | jpegtran-1) [ "$set_name" != jpeg ] && continue ;; esac
                [ "$label" = meta-1 ] && { [ "$set_name" != jpeg ] || [ "$op" != flip ]; } && continue
                run_case "$set_name" "$op" "$label"
            done
        done
    done
    round=$((round + 1))
done

report | tee "$corpus/last-run.txt"
