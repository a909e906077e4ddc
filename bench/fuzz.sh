#!/usr/bin/env bash
# Fuzzes each target of tests/fuzz for a while: the received-PDU decoder, the inbox pass, the INI files.
# Usage: bench/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]   (default 60 seconds, every target)
# Builds the targets first with clang (libFuzzer, address and undefined-behaviour sanitizers) into
# $VMSMS_FUZZ_BUILD (default ./build-fuzz; an up-to-date build is reused). Each run starts from a scratch
# copy of the committed seeds, so they stay as they are. Prints per target the inputs executed, the
# coverage reached and any crash; crash inputs and logs are kept under $VMSMS_FUZZ_BUILD/findings.
# A crash replays with: $VMSMS_FUZZ_BUILD/fuzz_<target> <crash file>
# Exit status: 0 no target crashed, 1 some target crashed or failed to run.
set -euo pipefail
seconds=${1:-60}
shift || true
root="$(cd "$(dirname "$0")/.." && pwd)"
build=${VMSMS_FUZZ_BUILD:-$root/build-fuzz}
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(received_pdu inbox_pass ini_file)

# Longest input per target: a PDU line past the decoder's 1000-character cap, a listing of several
# 512-byte reads, an INI file of a few dozen lines.
declare -A max_len=([received_pdu]=2048 [inbox_pass]=4096 [ini_file]=2048)

cxx=${CXX_FUZZ:-$(command -v clang++ || command -v clang++-14 || true)}
if [ -z "$cxx" ]; then
    echo "clang++ not found (Debian: apt-get install clang-14 libclang-rt-14-dev)" >&2
    exit 1
fi
# Reports name functions and lines only through llvm-symbolizer, which Debian keeps beside clang.
symbolizer="$(dirname "$(readlink -f "$cxx")")/llvm-symbolizer"
if [ -x "$symbolizer" ]; then
    export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}external_symbolizer_path=$symbolizer"
    export UBSAN_OPTIONS="${UBSAN_OPTIONS:+$UBSAN_OPTIONS:}print_stacktrace=1:external_symbolizer_path=$symbolizer"
fi
mkdir -p "$build"
if ! { cmake -S "$root/tests/fuzz" -B "$build" -DCMAKE_CXX_COMPILER="$cxx" && cmake --build "$build" -j"$(nproc)"; } \
    >"$build/build.log" 2>&1; then
    cat "$build/build.log" >&2
    exit 1
fi

work=$(mktemp -d)
# The inbox and INI targets write files for every input: in memory (tmpfs) they run several times faster.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then
    export TMPDIR=$(mktemp -d -p /dev/shm)
    trap 'rm -rf "$work" "$TMPDIR"' EXIT
else
    trap 'rm -rf "$work"' EXIT
fi
findings="$build/findings"
mkdir -p "$findings"
status=0
for target in "${targets[@]}"; do
    program="$build/fuzz_$target"
    if [ ! -x "$program" ]; then
        echo "$target: no such fuzz target" >&2
        status=1
        continue
    fi
    mkdir -p "$work/$target/artifacts"
    cp -r "$root/tests/fuzz/corpus/$target" "$work/$target/corpus"
    log="$work/$target/fuzz.log"
    dict=()
    [ -f "$root/tests/fuzz/$target.dict" ] && dict=(-dict="$root/tests/fuzz/$target.dict")
    result=0
    "$program" -max_total_time="$seconds" -max_len="${max_len[$target]:-4096}" -timeout=10 -print_final_stats=1 \
        "${dict[@]}" -artifact_prefix="$work/$target/artifacts/" "$work/$target/corpus" >"$log" 2>&1 || result=$?
    executed=$(awk '/stat::number_of_executed_units/ { print $2 }' "$log")
    coverage=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -n 1 || true)
    corpus=$(find "$work/$target/corpus" -type f | wc -l)
    printf '%-13s %s s: %s inputs executed, %s, corpus %s files, exit status %s\n' "$target" "$seconds" \
        "${executed:-?}" "${coverage:-no coverage line}" "$corpus" "$result"
    crashes=$(find "$work/$target/artifacts" -type f)
    if [ "$result" -ne 0 ] || [ -n "$crashes" ]; then
        status=1
        mkdir -p "$findings/$target"
        cp "$log" "$findings/$target/fuzz.log"
        for crash in $crashes; do
            cp "$crash" "$findings/$target/"
            echo "  crash: $findings/$target/$(basename "$crash") ($(wc -c <"$crash") bytes)"
        done
        echo "  log:   $findings/$target/fuzz.log"
        grep -m 1 -E '^(==[0-9]+==ERROR|SUMMARY|fuzz property failed|.*runtime error)' "$log" | sed 's/^/  /' || true
    fi
done
exit $status
