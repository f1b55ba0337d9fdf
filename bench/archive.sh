#!/usr/bin/env bash
# The archive row: a photo archive of small pictures in a tree of folders, turned with the tree
# kept, against the floor program over the same files and against libvips and ImageMagick run
# once per file; then a million names through --files-from - -0 --dry-run.
#
#   bench/archive.sh [ROUNDS]          (default 3; each figure is the median over the rounds)
#
# Environment:
#   ZENTAVO_ARCHIVE_FILES    pictures (default 20000), 640 x 480 JPEGs at quality 92
#   ZENTAVO_ARCHIVE_FOLDERS  folders they are shared among (default 200)
#   ZENTAVO_ARCHIVE_PEERS    rounds that include the peers (default 1)
#   ZENTAVO_ARCHIVE_SAMPLE   the peers take every Nth file (default 10: a process per file costs
#                            the same for each file, and 20,000 processes take the best part of
#                            an hour); their figures are per file
#   ZENTAVO_ARCHIVE_NAMES    names in the list of the dry run (default 1000000)
#   ZENTAVO_BUILD            build folder holding zentavo-batch (default: build/)
#
# Every command runs on the same files with a warm page cache; processor time (user + system
# of every process) is the steadier figure on a shared machine, and is reported beside the
# wall time. The corpus is made once under bench/corpus/archive (not committed) from the
# landscape among the shipped samples: fifty different 640 x 480 crops with grain, copied
# round the folders under names numbered through the archive.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=${ZENTAVO_BUILD:-$root/build}
rounds=${1:-3}
files=${ZENTAVO_ARCHIVE_FILES:-20000}
folders=${ZENTAVO_ARCHIVE_FOLDERS:-200}
peer_rounds=${ZENTAVO_ARCHIVE_PEERS:-1}
sample=${ZENTAVO_ARCHIVE_SAMPLE:-10}
names=${ZENTAVO_ARCHIVE_NAMES:-1000000}
cores=$(nproc)
corpus="$here/corpus/archive"
work="$here/corpus/archive-work"
mkdir -p "$corpus" "$work"

need=""
command -v mogrify >/dev/null 2>&1 || need="$need imagemagick"
command -v vips >/dev/null 2>&1 || need="$need libvips-tools"
[ -x /usr/bin/time ] || need="$need time"
if [ -n "$need" ]; then
    # shellcheck disable=SC2086 # one word per package
    apt-get install -y --no-install-recommends $need >&2
fi
cmake --build "$build" -j"$cores" --target zentavo-batch zentavo-bench-floor >&2
zentavo="$build/zentavo-batch"
floor="$build/bench/zentavo-bench-floor"

make_corpus() {
    stamp="$corpus/.made-$files-$folders"
    [ -f "$stamp" ] && return 0
    echo "Making $files pictures in $folders folders (once) ..." >&2
    rm -rf "${corpus:?}"/* "$corpus"/.made-*
    source="$root/resources/Samples/landscape-6mp.jpg"
    mkdir -p "$corpus/.bases"
    for i in $(seq 0 49); do
        x=$(((i * 97) % 2300)) y=$(((i * 61) % 1500))
        /usr/bin/convert "$source" -crop "1280x960+$x+$y" -resize 640x480! -attenuate 0.4 \
            +noise Gaussian -sampling-factor 2x2 -quality 92 "$corpus/.bases/$i.jpg"
    done
    per=$(((files + folders - 1) / folders))
    n=0
    for f in $(seq -w 1 "$folders"); do
        mkdir -p "$corpus/$f"
        for _ in $(seq 1 "$per"); do
            [ "$n" -lt "$files" ] || break
            n=$((n + 1))
            cp "$corpus/.bases/$((n % 50)).jpg" "$corpus/$f/IMG_$(printf '%05d' "$n").JPG"
        done
    done
    (cd "$corpus" && find . -path ./.bases -prune -o -type f -name '*.JPG' -print | sed 's|^\./||' |
        sort) >"$work/files.list"
    touch "$stamp"
}

# The files the peers take.
sample_list() {
    awk -v n="$sample" '(NR - 1) % n == 0' "$work/files.list" >"$work/sample.list"
}

# vips takes one input and one output a call.
vips_one() {
    vips rot "$2" "$1/$(basename "$2")[Q=85]" d90
}
export -f vips_one

samples="$work/samples.txt"
: >"$samples"

# Each run writes into a results folder of its own, and all of them are removed only when the
# benchmark ends. On ext4 without a journal (as on this machine's disk) a new file is not given
# the number of a file deleted in the last minute: the allocator reads past every such inode, so
# a run made right after the previous run's outputs were removed spends a third of its time in
# the kernel for a cost no user's archive run has.
outputs=0
remove_outputs() { rm -rf "$work"/out "$work"/out-*; }
remove_outputs
trap remove_outputs EXIT

# run LABEL COMMAND...: one timed run in the corpus folder with an empty results folder; appends
# "label wall-s cpu-s peak-kB written" to $samples.
run() {
    label=$1
    shift
    outputs=$((outputs + 1))
    mkdir -p "$work/out-$outputs"
    ln -sfn "out-$outputs" "$work/out"
    sync
    start=$(date +%s%N)
    (cd "$corpus" && /usr/bin/time -f "%U %S %M" -o "$work/time" "$@") >/dev/null 2>"$work/stderr" || true
    end=$(date +%s%N)
    written=$(find "$work/out/" -type f ! -name '.zt-*' | wc -l)
    read -r user system peak <<<"$(tail -n 1 "$work/time")"
    awk -v l="$label" -v s="$start" -v e="$end" -v u="$user" -v y="$system" -v p="$peak" \
        -v w="$written" 'BEGIN { printf "%s %.3f %.3f %.3f %.3f %d %d\n", l, (e - s) / 1e9, u + y, u, y, p, w }' \
        >>"$samples"
    echo "  $(tail -n 1 "$samples")" >&2
}

make_corpus
sample_list
cat "$corpus"/*/*.JPG >/dev/null # into the page cache
mapfile -t dirs < <(cd "$corpus" && ls -d [0-9]*)
load_before=$(cut -d " " -f 1-3 /proc/loadavg)
for round in $(seq 1 "$rounds"); do
    echo "Round $round of $rounds ..." >&2
    run floor xargs -a "$work/files.list" -d '\n' "$floor" -o "$work/out" -q 85
    run planes xargs -a "$work/files.list" -d '\n' "$floor" --planes -o "$work/out" -q 85
    run zentavo-1 "$zentavo" -q -j 1 --rotate 90 --quality 85 --keep-tree -o "$work/out" "${dirs[@]}"
    run zentavo-all "$zentavo" -q -j "$cores" --rotate 90 --quality 85 --keep-tree -o "$work/out" "${dirs[@]}"
    run zentavo-flat-1 xargs -a "$work/files.list" -d '\n' "$zentavo" -q -j 1 --rotate 90 --quality 85 -o "$work/out"
    if [ "$round" -le "$peer_rounds" ]; then
        run vips-1 xargs -a "$work/sample.list" -d '\n' -n 1 -P 1 bash -c 'vips_one "$0" "$1"' "$work/out"
        run magick-1 xargs -a "$work/sample.list" -d '\n' -n 1 -P 1 mogrify -path "$work/out" -rotate 90 -quality 85
        run vips-all xargs -a "$work/sample.list" -d '\n' -n 1 -P "$cores" bash -c 'vips_one "$0" "$1"' "$work/out"
        run magick-all xargs -a "$work/sample.list" -d '\n' -n 1 -P "$cores" mogrify -path "$work/out" -rotate 90 -quality 85
    fi
done

# A million names, as find -print0 gives them: the archive's paths over and over.
list="$work/names.bin"
if [ ! -f "$list.$names" ]; then
    repeat=$(((names + files - 1) / files))
    for _ in $(seq 1 "$repeat"); do tr '\n' '\0' <"$work/files.list"; done |
        head -c "$(($(tr '\n' '\0' <"$work/files.list" | wc -c) * repeat))" >"$list.tmp"
    # Exactly $names names.
    tr '\0' '\n' <"$list.tmp" | head -n "$names" | tr '\n' '\0' >"$list.$names"
    rm -f "$list.tmp"
fi
dry=()
for round in $(seq 1 "$rounds"); do
    start=$(date +%s%N)
    (cd "$corpus" && /usr/bin/time -f "%U %S %M" -o "$work/time" \
        "$zentavo" --dry-run --rotate 90 -o out --files-from - -0 <"$list.$names" | tr -cd '\000' | wc -c >"$work/lines")
    end=$(date +%s%N)
    read -r user system peak <<<"$(tail -n 1 "$work/time")"
    dry+=("$(awk -v s="$start" -v e="$end" -v u="$user" -v y="$system" -v p="$peak" \
        'BEGIN { printf "%.2f %.2f %d", (e - s) / 1e9, u + y, p }')")
    echo "  dry run: ${dry[-1]} (wall s, cpu s, peak kB); $(cat "$work/lines") records" >&2
done
load_after=$(cut -d " " -f 1-3 /proc/loadavg)

# The report: medians per label.
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
echo "Date: $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "Machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $cores cores"
echo "Load average before: $load_before; after: $load_after"
echo "Corpus: $files JPEGs of 640 x 480 (quality 92, 4:2:0) in $folders folders; rotate 90, quality 85"
echo
echo "Peers (vips, magick) over every ${sample}th file, $(wc -l <"$work/sample.list") files; their"
echo "seconds are for those files, their ratios per file."
echo
echo "| command | procs | runs | s (median) | s (min-max) | cpu s (median) | user | sys | files/s | x floor (s) | x floor (cpu) | peak MB | written |"
echo "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
floor_s=$(awk '$1 == "floor" { print $2 }' "$samples" | median)
floor_c=$(awk '$1 == "floor" { print $3 }' "$samples" | median)
for label in floor planes zentavo-1 zentavo-all zentavo-flat-1 vips-1 vips-all magick-1 magick-all; do
    grep -q "^$label " "$samples" || continue
    procs=1
    case "$label" in *-all) procs=$cores ;; esac
    n=$(grep -c "^$label " "$samples")
    s=$(awk -v l="$label" '$1 == l { print $2 }' "$samples" | median)
    lo=$(awk -v l="$label" '$1 == l { print $2 }' "$samples" | sort -n | head -n 1)
    hi=$(awk -v l="$label" '$1 == l { print $2 }' "$samples" | sort -n | tail -n 1)
    c=$(awk -v l="$label" '$1 == l { print $3 }' "$samples" | median)
    u=$(awk -v l="$label" '$1 == l { print $4 }' "$samples" | median)
    y=$(awk -v l="$label" '$1 == l { print $5 }' "$samples" | median)
    p=$(awk -v l="$label" '$1 == l { print $6 }' "$samples" | median)
    w=$(awk -v l="$label" '$1 == l { print $7 }' "$samples" | median)
    awk -v l="$label" -v pr="$procs" -v n="$n" -v s="$s" -v lo="$lo" -v hi="$hi" -v c="$c" -v u="$u" \
        -v y="$y" -v p="$p" -v w="$w" -v f="$files" -v fs="$floor_s" -v fc="$floor_c" \
        'BEGIN { k = w / f; printf "| %s | %d | %d | %.2f | %.2f-%.2f | %.2f | %.2f | %.2f | %.0f | %.2f | %.2f | %.0f | %d |\n",
                 l, pr, n, s, lo, hi, c, u, y, w / s, s / fs / k, c / fc / k, p / 1024, w }'
done
echo
printf '%s\n' "${dry[@]}" | awk '{ w[NR] = $1; c[NR] = $2; p[NR] = $3 }
    END { printf "%d names through --files-from - -0 --dry-run:", '"$names"';
          for (i = 1; i <= NR; i++) printf " %.2f s (%.2f cpu s)", w[i], c[i];
          printf "; peak %.0f MB\n", p[1] / 1024 }'
