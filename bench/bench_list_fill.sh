#!/bin/sh
# Lists one day of many queued records (default 10000) in the pending tab and then in the sent tab, in
# an offscreen window, and prints how long each fill took and the longest time the window's event loop
# was held up meanwhile. The records are written under $TMPDIR (default /tmp), so point TMPDIR at the
# disk you care about.
#
#   bench/bench_list_fill.sh [RECORDS]        BUILD_DIR selects the build tree (default: build)
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
records=${1:-10000}

cmake -S "$root" -B "$build" >/dev/null
make -C "$build" -j2 test_list_fill >/dev/null

VMSMS_BENCH_RECORDS=$records QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} \
    "$build/tests/test_list_fill" benchTenThousandRecords 2>&1 |
    sed -n 's/^QINFO  : TestListFill::benchTenThousandRecords() //p; /^FAIL/,+3p'
