#!/usr/bin/env bash
# Runs zentavo-batch over a folder of 12-megapixel JPEGs with one job and with every core and
# prints the speed-up. Usage: bench/speedup.sh [FILES] (default 12 pictures).
set -euo pipefail
cd "$(dirname "$0")/.."
count=${1:-12}
command -v convert >/dev/null || { apt-get update && apt-get install -y --no-install-recommends imagemagick; }
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target zentavo-batch >/dev/null

corpus=bench/corpus/speedup
mkdir -p "$corpus"
for i in $(seq 1 "$count"); do
  f=$corpus/photo-$i.jpg
  # A fractal landscape with grain: photograph-like detail at 4000 x 3000.
  [ -f "$f" ] || convert -size 1000x750 -seed "$i" plasma:fractal -resize 4000x3000! \
      -attenuate 0.4 +noise Gaussian -quality 92 "$f"
done

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
run() {
  local jobs=$1 start end
  rm -f "$out"/*
  start=$(date +%s.%N)
  ./build/zentavo-batch -q -j "$jobs" --quality 85 -o "$out" "$corpus"/*.jpg >/dev/null
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { print b - a }' 
}
run 1 >/dev/null   # warm the page cache
one=$(run 1)
all=$(run "$(nproc)")
printf 'files: %d of 4000x3000\n' "$count"
awk -v n="$count" -v one="$one" -v all="$all" -v cores="$(nproc)" 'BEGIN {
  printf "one job:   %6.2f s  %5.2f files/s\n", one, n / one
  printf "%d jobs:    %6.2f s  %5.2f files/s\n", cores, all, n / all
  printf "speed-up:  %6.2f\n", one / all
}' 
