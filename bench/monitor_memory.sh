#!/usr/bin/env bash
# Resident memory of the operator console while its monitor takes a long send pass: the window is shown
# on the monitor tab (Qt's offscreen platform, a fresh working directory, the engine left paused), and a
# thread of the console writes LINES send-pass lines into the monitor as the engine thread does, one per
# recipient, letting the window follow each line. The console prints its resident set at none, a tenth,
# half and all of the lines, with the monitor's length (GBK bytes, what the engine's rules see) and the
# time taken so far. The monitor keeps only its newest 64 KiB, so the resident set stays flat.
#
#   bench/monitor_memory.sh [BUILD_DIR] [LINES]      (defaults: build, 1000000)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
lines=${2:-1000000}
console="$build/console/vmsms"
if [ ! -x "$console" ]; then
    echo "monitor_memory: $console is not built" >&2
    exit 1
fi
console=$(cd "$(dirname "$console")" && pwd)/vmsms
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

export QT_QPA_PLATFORM=offscreen
echo "console monitor taking $lines send-pass lines (offscreen):"
(cd "$work" && "$console" --monitor-lines "$lines" 2>/dev/null) | sed 's/^/  /'
