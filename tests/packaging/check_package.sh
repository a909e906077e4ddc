#!/usr/bin/env bash
# Builds the Debian package from the build tree, installs it on this machine, checks what a new user
# meets (the programs answer --version, the man pages render, the systemd units pass
# `systemd-analyze verify`), then removes it again. Needs root and dpkg; exits 77 (skipped) otherwise.
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
for program in vmsmsd vmsms-send vmsms-listener vmsms-modemsim vmsms; do
    check "$program --version" env -u DISPLAY /usr/bin/$program --version
    check "man page of $program renders" sh -c "man -l /usr/share/man/man1/$program.1 | grep -q -- --version"
done
check "the service user is in dialout" sh -c "id -nG vmsms | grep -qw dialout"
check "/var/lib/vmsms belongs to the service user" sh -c "[ \"\$(stat -c %U /var/lib/vmsms)\" = vmsms ]"
if command -v systemd-analyze >/dev/null; then
    check "vmsmsd@.service verifies" systemd-analyze verify vmsmsd@office.service
    check "vmsms-listener@.service verifies" systemd-analyze verify vmsms-listener@office.service
else
    echo "systemd-analyze not installed: the units are not verified"
fi
exit $failed
