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

mask() {
    sed -E \
        -e 's#/tmp/vmsms-[A-Za-z0-9_-]+-[A-Za-z0-9]{6}#TMP#g' \
        -e 's#[0-9]{4}-[0-9]{2}-[0-9]{2}#DATE#g' \
        -e 's#[0-9]{8}#DATE8#g' \
        -e 's#[0-9]{1,2}:[0-9]{2}:[0-9]{2}(\.[0-9]+)?#TIME#g' \
        -e 's#(pid[=: ]+)[0-9]+#\1PID#g' "$1"
}

normalise_tree() {
    local from=$1 to=$2
    rm -rf "$to"
    (cd "$from" && find . -type f) | while read -r f; do
        local masked_name
        masked_name=$(printf '%s' "$f" | sed -E -e 's#[0-9]{4}-[0-9]{2}-[0-9]{2}#DATE#g')
        mkdir -p "$(dirname "$to/$masked_name")"
        case "$f" in
        */sms.log | *.out | *.lock) mask "$from/$f" | LC_ALL=C sort -u >"$to/$masked_name" ;;
        *) mask "$from/$f" >"$to/$masked_name" ;;
        esac
    done
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
