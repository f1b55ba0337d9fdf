#!/usr/bin/env bash
# Installs what is missing, builds Zentavo with its tests and runs the whole suite through CTest.
#   ./test.sh              release build in build/
#   ./test.sh --sanitize   address and undefined-behaviour sanitizers, in build-sanitize/
set -euo pipefail
cd "$(dirname "$0")"
./setup.sh
builddir=build
flags=(-DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON)
if [ "${1:-}" = "--sanitize" ]; then
  builddir=build-sanitize
  flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON -DZENTAVO_SANITIZE=ON)
  export ASAN_OPTIONS=detect_leaks=0
fi
cmake -S . -B "$builddir" "${flags[@]}"
cmake --build "$builddir" -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$builddir" --output-on-failure -j"$(nproc)"
