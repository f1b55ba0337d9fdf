# shellcheck shell=sh disable=SC2154,SC2034 # variables of compare.sh
# The report of bench/compare.sh: tables of medians and the targets. Sourced, not run; it
# reads $samples, $corpus, $runs, $cores, $zentavo and $load_before from compare.sh.

tool_versions() {
    version="not built"
    [ -n "$zentavo" ] && version=$("$zentavo" --version 2>&1 | head -n 1)
    printf 'zentavo-batch: %s\n' "$version"
    missing="not installed"
    command -v mogrify >/dev/null 2>&1 &&
        printf 'ImageMagick: %s\n' "$(mogrify -version | head -n 1 | sed 's/^Version: //')" ||
        printf 'ImageMagick: %s\n' "$missing"
    command -v gm >/dev/null 2>&1 && printf 'GraphicsMagick: %s\n' "$(gm -version | head -n 1)" ||
        printf 'GraphicsMagick: %s\n' "$missing"
    command -v vips >/dev/null 2>&1 && printf 'libvips: %s\n' "$(vips --version)" ||
        printf 'libvips: %s\n' "$missing"
    printf 'libjpeg-turbo: %s\n' "$(dpkg-query -W -f '${Version}' libturbojpeg0 2>/dev/null)"
}

# Mean start-up and exit time of `zentavo-batch --version`, in milliseconds.
startup_ms() {
    hyperfine -N --warmup 5 --runs 100 --export-csv "$work/startup.csv" \
        "$zentavo --version" >/dev/null 2>&1 || return 0
    awk -F, 'NR == 2 { printf "%.1f", $2 * 1000 }' "$work/startup.csv"
}

report() {
    files_jpeg=$(wc -l <"$corpus/jpeg.list")
    files_mixed=0 mp_mixed=0 pix_mixed=0
    if [ -f "$corpus/mixed.list" ]; then
        files_mixed=$(wc -l <"$corpus/mixed.list")
        mp_mixed=$(megapixels mixed)
        pix_mixed=$(largest_picture mixed)
    fi
    mp_jpeg=$(megapixels jpeg)
    startup=""
    [ -n "$zentavo" ] && startup=$(startup_ms)

    echo "# zentavo-batch against its peers and the TurboJPEG floor"
    echo
    echo "Date: $(date -u '+%Y-%m-%d %H:%M UTC')"
    echo "Machine: $(grep -m 1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'), $cores cores," \
        "$(awk '/MemTotal/ { printf "%.1f GB", $2 / 1048576 }' /proc/meminfo) RAM, Linux $(uname -r)"
    echo "Load average before the run: $load_before; after: $(cut -d " " -f 1-3 /proc/loadavg)"
    tool_versions | sed 's/^/- /'
    mixed_text=""
    [ "$files_mixed" -gt 0 ] && mixed_text="; mixed set $files_mixed files, $mp_mixed MP (6000x4000 JPEG, PNG, PNG with alpha, GIF, TIFF, BMP)"
    echo "Corpus: jpeg set $files_jpeg files, $mp_jpeg MP (4000x3000, quality 92, 4:2:0, grain)$mixed_text"
    echo "Times: median of $runs interleaved rounds. Every peer process runs one thread; 'procs' is the"
    echo "number of processes (peers, xargs -P) or jobs (zentavo-batch --jobs). JPEG quality 85."
    echo "Ratios are files per second over the floor's, over the planes floor's (TurboJPEG planes)"
    echo "and over the fastest peer's with the same number of processes (the megapixels-per-second"
    echo "ratios are the same, same files)."
    echo

    awk -v nj="$files_jpeg" -v mpj="$mp_jpeg" -v nm="$files_mixed" -v mpm="$mp_mixed" \
        -v pixj="$(largest_picture jpeg)" -v pixm="$pix_mixed" \
        -v cores="$cores" -v startup="$startup" '
    {
        key = $1 " " $2 " " $3
        if (!(key in count)) { order[++keys] = key; procs[key] = $4; bad[key] = 0 }
        count[key]++
        t[key, count[key]] = $5 / 1e9
        c[key, count[key]] = $9 + 0
        if ($6 > peak[key]) peak[key] = $6
        if ($7 != $8) bad[key] = 1
    }
    function median(key) { return middle(key, 0) }
    function cpumedian(key) { return middle(key, 1) }
    function middle(key, cpu,   m, a, b, v, tmp) {
        m = count[key]
        for (a = 1; a <= m; a++) v[a] = cpu ? c[key, a] : t[key, a]
        for (a = 2; a <= m; a++)
            for (b = a; b > 1 && v[b - 1] > v[b]; b--) { tmp = v[b]; v[b] = v[b - 1]; v[b - 1] = tmp }
        return m % 2 ? v[(m + 1) / 2] : (v[m / 2] + v[m / 2 + 1]) / 2
    }
    function verdict(ok) { return ok ? "holds" : "MISSED" }
    END {
        for (i = 1; i <= keys; i++) {
            key = order[i]
            split(key, p, " ")
            med[key] = median(key)
            cpumed[key] = cpumedian(key)
            files = p[1] == "jpeg" ? nj : nm
            fps[key] = bad[key] ? 0 : files / med[key]
            group = p[1] " " p[2]
            if (!(group in seen)) { seen[group] = 1; groups[++ngroups] = group }
            if (p[3] ~ /^(magick|gm|vips)-/ && fps[key] > best[group " " procs[key]])
                best[group " " procs[key]] = fps[key]
        }
        for (g = 1; g <= ngroups; g++) {
            split(groups[g], p, " ")
            printf "## %s set, %s\n\n", p[1], p[2] == "flip" ? "flip horizontally" : "rotate 90 (lossless rows: 270)"
            printf "| command | procs | s | cpu s | files/s | MP/s | x floor | x planes | x best peer | peak MB |\n"
            printf "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n"
            floorkey = groups[g] " floor"
            planeskey = groups[g] " planes"
            for (i = 1; i <= keys; i++) {
                key = order[i]
                split(key, q, " ")
                if (q[1] " " q[2] != groups[g]) continue
                mp = q[1] == "jpeg" ? mpj : mpm
                xf = (floorkey in fps) && fps[floorkey] > 0 ? sprintf("%.2f", fps[key] / fps[floorkey]) : "-"
                xl = (planeskey in fps) && fps[planeskey] > 0 ? sprintf("%.2f", fps[key] / fps[planeskey]) : "-"
                bp = best[groups[g] " " procs[key]]
                xp = bp > 0 ? sprintf("%.2f", fps[key] / bp) : "-"
                note = bad[key] ? " (failed files)" : ""
                name = q[3] == "planes" ? "TurboJPEG planes" : q[3]
                printf "| %s%s | %d | %.2f | %.2f | %.2f | %.1f | %s | %s | %s | %.0f |\n", name, note, procs[key],
                       med[key], cpumed[key], fps[key], (bad[key] ? 0 : mp / med[key]), xf, xl, xp, peak[key] / 1024
            }
            printf "\n"
        }
        if (!("jpeg flip zentavo-1" in med)) { print "zentavo-batch was not measured."; exit }
        print "## Targets\n"
        limitj = 2.2 * pixj * 3 / 1048576 + 40
        for (o = 1; o <= 2; o++) {
            op = o == 1 ? "flip" : "rotate"
            r = med["jpeg " op " zentavo-1"] / med["jpeg " op " floor"]
            goal = o == 1 ? 0.85 : 0.95
            cr = cpumed["jpeg " op " zentavo-1"] / cpumed["jpeg " op " floor"]
            printf "- jpeg %s, one job: %.2f x the floor time per file (at most %.2f): %s; in processor time %.2f\n", op, r, goal, verdict(r <= goal), cr
            if (("jpeg " op " planes") in med) {
                r = med["jpeg " op " zentavo-1"] / med["jpeg " op " planes"]
                cr = cpumed["jpeg " op " zentavo-1"] / cpumed["jpeg " op " planes"]
                goal = o == 1 ? 1.10 : 1.20
                printf "- jpeg %s, one job: %.2f x the TurboJPEG planes time per file (at most %.2f): %s; in processor time %.2f\n", op, r, goal, verdict(r <= goal), cr
            }
        }
        for (o = 1; o <= 2; o++) {
            op = o == 1 ? "flip" : "rotate"
            lossless = "jpeg " op " lossless-1"
            if (!(lossless in med) || bad[lossless]) continue
            r = med[lossless] / med["jpeg " op " floor"]
            cr = cpumed[lossless] / cpumed["jpeg " op " floor"]
            printf "- jpeg %s lossless, one job: %.2f x the floor time per file (at most 0.75): %s; in processor time %.2f\n", op, r, verdict(r <= 0.75), cr
            j = "jpeg " op " jpegtran-1"
            if (j in med && !bad[j])
                printf "- jpeg %s lossless, one job: %.2f x the time of jpegtran -perfect once per file (below 1): %s\n", op, med[lossless] / med[j], verdict(med[lossless] < med[j])
        }
        if (("jpeg flip meta-1") in med && !bad["jpeg flip meta-1"]) {
            r = med["jpeg flip meta-1"] / med["jpeg flip zentavo-1"]
            cr = cpumed["jpeg flip meta-1"] / cpumed["jpeg flip zentavo-1"]
            printf "- jpeg flip with camera metadata, one job: %.3f x the time without it (at most 1.05): %s; in processor time %.3f\n", r, verdict(r <= 1.05), cr
        }
        for (g = 1; g <= ngroups; g++) {
            one = groups[g] " zentavo-1"; all = groups[g] " zentavo-all"
            s = med[one] / med[all]
            printf "- %s, %d jobs over 1 job: %.2f x the files per second (at least %.2f): %s\n",
                   groups[g], cores, s, 0.9 * cores, verdict(s >= 0.9 * cores)
            for (n = 1; n <= 2; n++) {
                key = n == 1 ? one : all
                bp = best[groups[g] " " procs[key]]
                if (bp > 0)
                    printf "- %s, %d proc(s): %.2f x the fastest peer (ahead: above 1): %s\n",
                           groups[g], procs[key], fps[key] / bp, verdict(fps[key] > bp)
                else
                    printf "- %s, %d proc(s): no peer measured\n", groups[g], procs[key]
                pix = groups[g] ~ /^jpeg/ ? pixj : pixm
                limit = procs[key] * 2.2 * pix * 3 / 1048576 + 40
                printf "- %s, %d job(s): peak %.0f MB (at most %.0f: %d x 2.2 x %.0f MB picture + 40 MB): %s\n",
                       groups[g], procs[key], peak[key] / 1024, limit, procs[key], pix * 3 / 1048576,
                       verdict((peak[key] / 1024) <= limit)
            }
        }
        if (startup != "")
            printf "- zentavo-batch --version: %.1f ms mean over 100 runs (under 30): %s\n", startup, verdict((startup + 0) < 30)
    }' "$samples"
}
