#!/bin/sh
# The rows of bench/compare.sh for the newer formats: a quarter turn of WebP, HEIC, AVIF and
# JPEG XL photographs by zentavo-batch, libvips (vips rot) and ImageMagick (mogrify; it has no
# JPEG XL in Debian 12), one process of one thread each, all at quality 85 with the same
# encoder settings: WebP method 4; HEIC through libheif and x265 at its default preset; AVIF at
# AV1 speed 6 (vips effort 3, ImageMagick heic:speed=6); JPEG XL at effort 7. And the lossless
# HEIF turn (zentavo-batch --quality lossless) against zentavo-batch's own re-encoding turn.
#
#   bench/compare-newer.sh       (compare.sh runs it when ZENTAVO_BENCH_SETS names "newer")
#
# Environment: ZENTAVO_BENCH_NEWER_FILES files per format (default 4), ZENTAVO_BENCH_RUNS
# rounds (default 3), ZENTAVO_BUILD. The corpus (photographs of 1600 x 1200 with grain, written
# by vips at quality 90) is made once under bench/corpus/newer-*. Times are medians over the
# rounds; processor time (user and system of every process) is given beside the wall time
# because the machine may be shared.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
heic_quality=46

# One file through vips, with the encoder settings of its format:
#   compare-newer.sh --vips OUTDIR FILE
if [ "${1:-}" = "--vips" ]; then
    name=$(basename "$3")
    case "$name" in
    *.webp) opts="[Q=85]" ;;
    *.heic) opts="[Q=$heic_quality,compression=hevc]" ;;
    *.avif) opts="[Q=85,compression=av1,effort=3]" ;;
    *.jxl) opts="[Q=85,effort=7]" ;;
    esac
    exec vips rot "$3" "$2/$name$opts" d90
fi

root=$(dirname "$here")
build=${ZENTAVO_BUILD:-$root/build}
count=${ZENTAVO_BENCH_NEWER_FILES:-4}
runs=${ZENTAVO_BENCH_RUNS:-3}
corpus="$here/corpus"
work="$corpus/work-newer"
cores=$(nproc)
mkdir -p "$work"
# shellcheck source=compare-lib.sh
. "$here/compare-lib.sh"
[ "${ZENTAVO_BENCH_INSTALL:-yes}" = no ] || install_missing
build_programs
export MAGICK_THREAD_LIMIT=1 OMP_NUM_THREADS=1 VIPS_CONCURRENCY=1

formats="webp heic avif jxl"
for format in $formats; do
    folder="$corpus/newer-$format"
    [ -f "$folder/.made-$count" ] && continue
    rm -rf "$folder"
    mkdir -p "$folder"
    photo_sources >"$work/sources.txt"
    i=1
    while [ "$i" -le "$count" ]; do
        source=$(sed -n "${i}p" "$work/sources.txt")
        grain "$source" 1600 1200 "$work/photo.png"
        case "$format" in
        heic) save="[Q=90,compression=hevc]" ;;
        avif) save="[Q=90,compression=av1]" ;;
        *) save="[Q=90]" ;;
        esac
        vips copy "$work/photo.png" "$folder/photo-$i.$format$save"
        i=$((i + 1))
    done
    touch "$folder/.made-$count"
done

samples="$work/samples.txt"
: >"$samples"
# run FORMAT LABEL: one timed run, appended as "format label seconds cpu-seconds written".
run() {
    format=$1 label=$2
    folder="$corpus/newer-$format"
    out="$work/out"
    rm -rf "$out"
    mkdir -p "$out"
    set -- /usr/bin/time -f "%U %S" -o "$work/cpu"
    case "$label" in
    zentavo-1) set -- "$@" "$zentavo" -o "$out" --rotate 90 --quality 85 -q --jobs 1 ;;
    lossless-1) set -- "$@" "$zentavo" -o "$out" --rotate 90 --quality lossless -q --jobs 1 ;;
    magick-1)
        quality=85 define=""
        [ "$format" = heic ] && quality=$heic_quality
        [ "$format" = avif ] && define="-define heic:speed=6"
        # shellcheck disable=SC2086 # $define is empty or two words
        set -- "$@" mogrify -path "$out" -rotate 90 -quality "$quality" $define ;;
    vips-1) set -- "$@" xargs -n 1 "$here/compare-newer.sh" --vips "$out" ;;
    esac
    start=$(date +%s%N)
    if [ "$label" = vips-1 ]; then
        (cd "$folder" && ls -- *."$format" | "$@") >/dev/null 2>"$work/stderr" || true
    else
        (cd "$folder" && "$@" ./*."$format") >/dev/null 2>"$work/stderr" || true
    fi
    end=$(date +%s%N)
    written=$(find "$out" -type f ! -name '*.tmp' | wc -l)
    cpu=$(awk 'NF == 2 { print $1 + $2; exit } { print 0 }' "$work/cpu")
    echo "$format $label $((end - start)) $cpu $written" >>"$samples"
}

round=1
while [ "$round" -le "$runs" ]; do
    echo "Newer formats, round $round of $runs ..." >&2
    for format in $formats; do
        labels="zentavo-1 vips-1 magick-1"
        [ "$format" = jxl ] && labels="zentavo-1 vips-1"
        case "$format" in heic | avif) labels="$labels lossless-1" ;; esac
        for label in $labels; do
            run "$format" "$label"
        done
    done
    round=$((round + 1))
done

echo "## Newer formats, rotate 90, one process ($count files of 1600 x 1200 each, quality 85; HEIC $heic_quality on libheif's scale)"
echo
echo "Load average after the run: $(cut -d " " -f 1-3 /proc/loadavg); $cores cores."
echo
echo "| format | command | s | cpu s | files/s | files/s by cpu | x best peer (cpu) | spread of s |"
echo "|---|---|---:|---:|---:|---:|---:|---:|"
awk -v n="$count" '
    { key = $1 " " $2; if (!(key in c)) order[++k] = key; c[key]++
      t[key, c[key]] = $3 / 1e9; u[key, c[key]] = $4; if ($5 != n) bad[key] = 1 }
    function middle(key, cpu,   m, a, b, v, tmp) {
        m = c[key]
        for (a = 1; a <= m; a++) v[a] = cpu ? u[key, a] : t[key, a]
        for (a = 2; a <= m; a++)
            for (b = a; b > 1 && v[b - 1] > v[b]; b--) { tmp = v[b]; v[b] = v[b - 1]; v[b - 1] = tmp }
        lo[key] = v[1]; hi[key] = v[m]
        return m % 2 ? v[(m + 1) / 2] : (v[m / 2] + v[m / 2 + 1]) / 2
    }
    END {
        for (i = 1; i <= k; i++) {
            key = order[i]; split(key, p, " ")
            cpu[key] = middle(key, 1); med[key] = middle(key, 0)
            if (p[2] ~ /^(vips|magick)-/ && !bad[key] && (!(p[1] in best) || cpu[key] < best[p[1]]))
                best[p[1]] = cpu[key]
            if (p[2] ~ /^(vips|magick)-/ && !bad[key] && (!(p[1] in bestw) || med[key] < bestw[p[1]]))
                bestw[p[1]] = med[key]
        }
        for (i = 1; i <= k; i++) {
            key = order[i]; split(key, p, " ")
            xb = (p[1] in best) && cpu[key] > 0 ? sprintf("%.2f", best[p[1]] / cpu[key]) : "-"
            note = bad[key] ? " (failed files)" : ""
            rate = cpu[key] > 0 ? n / cpu[key] : 0
            printf "| %s | %s%s | %.2f | %.2f | %.2f | %.2f | %s | %.2f-%.2f |\n", p[1], p[2],
                   note, med[key], cpu[key], n / med[key], rate, xb, lo[key], hi[key]
        }
        print "\n### Targets\n"
        for (i = 1; i <= k; i++) {
            key = order[i]; split(key, p, " ")
            if (p[2] != "zentavo-1" || !(p[1] in best)) continue
            verdict = best[p[1]] / cpu[key] >= 1 ? "holds" : "MISSED"
            printf "- %s, one job: %.2f x the faster peer in processor time, %.2f x in wall time (at least 1): %s\n",
                   p[1], best[p[1]] / cpu[key], bestw[p[1]] / med[key], verdict
        }
        for (f = 1; f <= 2; f++) {
            format = f == 1 ? "heic" : "avif"
            l = format " lossless-1"; z = format " zentavo-1"
            if (!(l in med)) continue
            ratio = cpu[l] > 0 ? cpu[z] / cpu[l] : 0
            verdict = med[z] / med[l] >= 20 ? "holds" : "MISSED"
            printf "- %s lossless turn: %.1f x faster than the re-encoding turn in wall time, %.1f x in processor time (at least 20): %s\n",
                   format, med[z] / med[l], ratio, verdict
        }
    }' "$samples"
