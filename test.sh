#!/usr/bin/env bash
# Installs what is missing (Debian 12, as root), builds, and runs every test through CTest.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
scripts/build.sh
export QT_QPA_PLATFORM=offscreen
cd build
# Most end-to-end tests wait on simulated modems and servers rather than use the CPU: one more at a
# time than there are cores keeps the cores busy.
ctest --output-on-failure -j"$(( $(nproc) + 1 ))" "$@"
