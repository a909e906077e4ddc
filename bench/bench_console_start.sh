#!/usr/bin/env bash
# Start-up time and resident memory of the operator console: the window is built (settings read, engine
# thread created paused, every tab laid out), shown once and closed, under Qt's offscreen platform, in a
# fresh working directory. Reports the median and the worst of several runs, from GNU time.
#
#   bench/bench_console_start.sh [BUILD_DIR] [RUNS]      (defaults: build, 10)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-10}
console="$build/console/vmsms"
if [ ! -x "$console" ]; then
    echo "bench_console_start: $console is not built" >&2
    exit 1
fi
console=$(cd "$(dirname "$console")" && pwd)/vmsms
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

export QT_QPA_PLATFORM=offscreen
wall_ms=()
rss_kb=()
for _ in $(seq "$runs"); do
    report="$work/time.txt"
    (cd "$work" && /usr/bin/time -v -o "$report" "$console" --quit-after-paint >/dev/null 2>&1)
    elapsed=$(awk -F': ' '/Elapsed \(wall clock\)/ {print $2}' "$report")
    # m:ss.cc or h:mm:ss
    wall_ms+=("$(awk -v t="$elapsed" 'BEGIN { n = split(t, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i]; printf "%d", s * 1000 }')")
    rss_kb+=("$(awk -F': ' '/Maximum resident set size/ {print $2}' "$report")")
done

median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
worst() { printf '%s\n' "$@" | sort -n | tail -1; }

echo "console start to first paint and close, $runs runs (offscreen):"
echo "  wall time     median $(median "${wall_ms[@]}") ms, worst $(worst "${wall_ms[@]}") ms"
echo "  resident set  median $(median "${rss_kb[@]}") KiB, worst $(worst "${rss_kb[@]}") KiB"
