#!/usr/bin/env bash
# Compares what two builds of the gateway write to disk and submit to the simulated modem in the
# end-to-end tests. Each test's directory (spool, logs, status, the simulator's record of submissions
# in sent.txt) is kept by the test support when KEEP_TEST_DIRS is set.
#
#   scripts/compare-outputs.sh capture BUILD_DIR OUT_DIR [CTEST_ARGUMENT...]
#       runs the build's e2e tests and keeps every test's files under OUT_DIR
#   scripts/compare-outputs.sh compare BEFORE_DIR AFTER_DIR
#       masks what changes from run to run (dates, clock times, temporary paths, process ids,
#       the pacing of the engine's trace) and prints the differences; exit status 1 when any
#
# The engine's trace (sms.log) repeats its cycle lines as often as real time allows, so it is compared
# as the set of distinct lines it holds; every other file is compared line by line.
set -euo pipefail

# Writes FROM's files into TO with what changes from run to run masked (python3: one process for the
# tens of thousands of files a run leaves).
normalise_tree() {
    python3 - "$1" "$2" <<'PY'
import os, re, sys
src, dst = sys.argv[1], sys.argv[2]
masks = [
    # PDUs carry the network's time stamp and a long message's reference, which the engine takes from
    # the clock at its start; the decoded texts beside them stay compared.
    (re.compile(rb'[0-9a-f]{64}'), b'HASH'),
    (re.compile(rb'[0-9A-F]{24,}'), b'HEX'),
    (re.compile(rb'ref=[0-9]+'), b'ref=N'),
    (re.compile(rb'/tmp/vmsms-[A-Za-z0-9_-]+-[A-Za-z0-9]{6}'), b'TMP'),
    (re.compile(rb'[0-9]{4}-[0-9]{1,2}-[0-9]{1,2}'), b'DATE'),
    (re.compile(rb'[0-9]{8}'), b'DATE8'),
    (re.compile(rb'[0-9]{1,2}:[0-9]{2}:[0-9]{2}(\.[0-9]+)?'), b'TIME'),
    (re.compile(rb'(pid[=: ]+)[0-9]+'), rb'\1PID'),
    (re.compile(rb'/dev/pts/[0-9]+'), b'PTS'),
    (re.compile(rb'(127\.0\.0\.1:|port=|PGSQL\.)[0-9]+'), rb'\1PORT'),
]
# A PostgreSQL server's own files say nothing of the gateway.
skipped = re.compile(r'(^|/)pg/|(^|/)(server\.log|pg_ctl\.out|postgresql\.conf)$')
for root, _, files in os.walk(src):
    for name in files:
        path = os.path.join(root, name)
        if skipped.search(os.path.relpath(path, src)):
            continue
        rel = re.sub(r'[0-9]{4}-[0-9]{1,2}-[0-9]{1,2}', 'DATE', os.path.relpath(path, src))
        with open(path, 'rb') as f:
            data = f.read()
        for pattern, replacement in masks:
            data = pattern.sub(replacement, data)
        if name == 'sms.log' or name.endswith('.out') or name.endswith('.lock'):
            data = b'\n'.join(sorted(set(data.split(b'\n'))))
        out = os.path.join(dst, rel)
        os.makedirs(os.path.dirname(out), exist_ok=True)
        with open(out, 'wb') as f:
            f.write(data)
PY
}

case "${1:-}" in
capture)
    [ $# -ge 3 ] || { echo "usage: $0 capture BUILD_DIR OUT_DIR [CTEST_ARGUMENT...]" >&2; exit 2; }
    build=$1 && build=$2 && out=$3 && shift 3
    mkdir -p "$out"
    out=$(cd "$out" && pwd)
    KEEP_TEST_DIRS="$out" QT_QPA_PLATFORM=offscreen ctest --test-dir "$build" -L e2e -j"$(nproc)" "$@" || true
    ;;
compare)
    [ $# -eq 3 ] || { echo "usage: $0 compare BEFORE_DIR AFTER_DIR" >&2; exit 2; }
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    normalise_tree "$2" "$work/before"
    normalise_tree "$3" "$work/after"
    (cd "$work" && diff -r before after)
    ;;
*)
    echo "usage: $0 capture BUILD_DIR OUT_DIR [CTEST_ARGUMENT...] | compare BEFORE_DIR AFTER_DIR" >&2
    exit 2
    ;;
esac
