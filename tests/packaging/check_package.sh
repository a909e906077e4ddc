#!/usr/bin/env bash
# Builds the Debian package from the build tree, installs it on this machine, checks what a new user
# meets (the programs answer --version, the man pages render, the systemd units pass
# `systemd-analyze verify`, their hardening keeps the exposure `systemd-analyze security` rates them
# at within bounds, and the programs still work under it: service_trial.sh), then removes it again.
# Needs root and dpkg; exits 77 (skipped) otherwise.
# Usage: check_package.sh BUILD_DIR
set -euo pipefail
build=$1
if [ "$(id -u)" -ne 0 ] || ! command -v dpkg >/dev/null || ! command -v cpack >/dev/null; then
    echo "SKIP: needs root, dpkg and cpack"
    exit 77
fi
if dpkg-query -W -f='${Status}' vmsms 2>/dev/null | grep -q "install ok installed"; then
    echo "SKIP: a vmsms package is installed already; not touching it"
    exit 77
fi
work=$(mktemp -d)
cleanup() {
    dpkg -r vmsms >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" >cpack.log 2>&1) || { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/*.deb)
echo "package: $(basename "$deb")"
dpkg -i "$deb" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; exit 1; }

failed=0
check() {
    local what=$1
    shift
    if "$@" >"$work/out" 2>&1; then
        echo "PASS  $what"
    else
        echo "FAIL  $what"
        cat "$work/out"
        failed=1
    fi
}
for program in vmsmsd vmsms-send vmsms-optout vmsms-listener vmsms-modemsim vmsms; do
    check "$program --version" env -u DISPLAY /usr/bin/$program --version
    check "man page of $program renders" sh -c "man -l /usr/share/man/man1/$program.1 | grep -q -- --version"
done
check "the service user is in dialout" sh -c "id -nG vmsms | grep -qw dialout"
check "/var/lib/vmsms belongs to the service user" sh -c "[ \"\$(stat -c %U /var/lib/vmsms)\" = vmsms ]"
# The exposure systemd-analyze rates a unit file at (0 to 10), read from the unit file alone, so no
# running manager is needed; fails when over the bound.
exposure_within() {
    local unit=$1 bound=$2 report level
    report=$(systemd-analyze security --offline=true --no-pager "/lib/systemd/system/$unit" 2>&1) || true
    level=$(sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p' <<<"$report")
    if [ -z "$level" ]; then
        echo "$report" | tail -n 5
        return 1
    fi
    echo "exposure $level"
    awk -v level="$level" -v bound="$bound" 'BEGIN {exit !(level <= bound)}'
}

if command -v systemd-analyze >/dev/null; then
    check "vmsmsd@.service verifies" systemd-analyze verify vmsmsd@office.service
    check "vmsms-listener@.service verifies" systemd-analyze verify vmsms-listener@office.service
    for bounded in vmsmsd@.service:4.5 vmsms-listener@.service:3.0; do
        unit=${bounded%:*}
        bound=${bounded#*:}
        check "$unit is exposed at most $bound" exposure_within "$unit" "$bound"
        echo "      $unit: $(cat "$work/out")"
    done
else
    echo "systemd-analyze not installed: the units are not verified"
fi
"$(dirname "$0")/service_trial.sh" || failed=1
exit $failed
