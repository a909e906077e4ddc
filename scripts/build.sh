#!/usr/bin/env bash
# Configures and builds into ./build: every target, or only the targets named as arguments.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets=()
for t in "$@"; do
    targets+=(--target "$t")
done
cmake --build build -j"$(nproc)" "${targets[@]}"
