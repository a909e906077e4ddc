#!/usr/bin/env bash
# Records per second queued through vmsms-send, one process per record, as a script or another
# program would queue them. Usage: bench/queue_rate.sh [COUNT]   (build first: ./test.sh or scripts/build.sh)
set -euo pipefail
count=${1:-500}
send="$(cd "$(dirname "$0")/.." && pwd)/build/programs/vmsms-send"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
start=$(date +%s.%N)
for ((i = 0; i < count; i++)); do
    "$send" --to 13900000001 "第 $i 条测试短信" >/dev/null
done
end=$(date +%s.%N)
day=$(ls -d */ | head -1)
queued=$(cat "${day}new/acc")
awk -v n="$count" -v s="$start" -v e="$end" -v q="$queued" \
    'BEGIN { printf "vmsms-send: %d records in %.2f s = %.0f records/s (new/acc = %d)\n", n, e - s, n / (e - s), q }'
