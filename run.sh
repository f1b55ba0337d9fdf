#!/usr/bin/env bash
# Installs what is missing, builds Zentavo in release mode and starts the window.
set -euo pipefail
cd "$(dirname "$0")"
./setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
cmake --build build -j"$(nproc)" --target zentavo zentavo-batch
exec ./build/zentavo "$@"
