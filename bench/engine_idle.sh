#!/usr/bin/env bash
# CPU use and resident memory of the engine (vmsmsd) while it polls an idle simulated modem.
# Usage: bench/engine_idle.sh [SECONDS]   (build first: ./test.sh or scripts/build.sh)
set -euo pipefail
seconds=${1:-30}
build="$(cd "$(dirname "$0")/.." && pwd)/build/programs"
work=$(mktemp -d)
cd "$work"
"$build/vmsms-modemsim" --link "$work/modem" --control "$work/ctl" >sim.out 2>&1 &
sim=$!
trap 'kill $sim $gw 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 50); do [ -S "$work/ctl" ] && break; sleep 0.1; done
printf '[SET]\r\nCOM=%s/modem\r\nRATE=19200\r\n' "$work" >server.txt
"$build/vmsmsd" >vmsmsd.out 2>&1 &
gw=$!
sleep 10 # start-up and the first cycle
ticks=$(getconf CLK_TCK)
cpu() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
before=$(cpu $gw)
sleep "$seconds"
after=$(cpu $gw)
rss=$(awk '/VmRSS/ { print $2 }' "/proc/$gw/status")
hwm=$(awk '/VmHWM/ { print $2 }' "/proc/$gw/status")
cycles=$(grep -c 'accI_new' sms.log || true)
awk -v b="$before" -v a="$after" -v t="$ticks" -v s="$seconds" -v r="$rss" -v h="$hwm" -v c="$cycles" 'BEGIN {
    cpu = (a - b) / t
    printf "vmsmsd idle for %d s: CPU %.3f s (%.3f%% of one core), RSS %d KiB (peak %d KiB), %d cycles so far\n",
           s, cpu, 100 * cpu / s, r, h, c }'
