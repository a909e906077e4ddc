#!/usr/bin/env bash
# Runs the installed engine and intake the way their systemd units do, hardening included, and shows
# they still do their work: the engine opens the simulated modem, sends a message queued with
# vmsms-send, runs a hook, which may write the instance's directory and nothing else, and takes a
# reload; a second engine on the same port names the process that holds it; the intake answers
# GET /v1/status, sees the engine at work, and queues a message the engine then sends.
#
# Under a systemd manager of our own (service_manager.sh) the installed units themselves run; a
# drop-in only sends their output to a file and keeps them from restarting. Where no manager can be
# had, the programs run under what can be applied without one (sandbox_exec.sh), which says what of
# the units' settings that leaves out.
#
# Usage: service_trial.sh                      (as root, with the package installed; with
#                                               VMSMS_CHECK_NO_MANAGER=1 it goes without a manager)
#        service_trial.sh inside MODE INSTANCE (what runs in the manager's namespaces, or without)
set -euo pipefail
here=$(dirname "$(readlink -f "$0")")
units=/lib/systemd/system
instance=${3:-pkgcheck$$}
# A second engine, on the same modem.
rival=${instance}b
# Where a hook of the engine must not be able to write (the service user owns /var/lib/vmsms).
escaped=/var/lib/vmsms/$instance.escaped

failed=0
pass() { echo "PASS  $*"; }
fail() {
    echo "FAIL  $*"
    failed=1
}

# Waits up to $1 tenths of a second for the command after it to succeed.
eventually() {
    local tenths=$1
    shift
    while ! "$@" >/dev/null 2>&1; do
        tenths=$((tenths - 1))
        [ $tenths -gt 0 ] || return 1
        sleep 0.1
    done
}

as_vmsms() {
    setpriv --reuid=vmsms --regid=vmsms --init-groups -- "$@"
}

# --- The engine and the intake, started as their units start them: UNIT INSTANCE ----------------

log_of() {
    echo "$sim/$1@$2.log"
}

# Under our manager: the installed units, with a drop-in for their output.
manager_start() {
    local dropin=/run/vmsms-check/units/$1@.service.d
    mkdir -p "$dropin"
    printf '[Service]\nStandardOutput=append:%s\nStandardError=inherit\nRestart=no\n' "$(log_of "$1" %i)" \
        >"$dropin/output.conf"
    systemctl daemon-reload
    systemctl start "$1@$2.service"
}
manager_pid() {
    systemctl show -P MainPID "$1@$2.service" | grep -v '^0$'
}
manager_stop() {
    systemctl stop "$1@$2.service"
}

# Without a manager: sandbox_exec.sh applies what it can of the unit file, then becomes the program.
fallback_start() {
    "$here/sandbox_exec.sh" "$units/$1@.service" "$2" >"$(log_of "$1" "$2")" 2>&1 &
    eventually 50 fallback_pid "$1" "$2" || return 1
    grep '^sandbox:' "$(log_of "$1" "$2")"
}
fallback_pid() {
    pgrep -u vmsms -f "^/usr/bin/$1 --dir /var/lib/vmsms/$2\$" | head -n 1 | grep .
}
fallback_stop() {
    local pid
    pid=$(fallback_pid "$1" "$2") || return 0
    kill -TERM "$pid"
    eventually 100 sh -c "! kill -0 $pid"
}

start_service() {
    if ! "${mode}_start" "$1" "$2"; then
        fail "$1@$2 did not start; its output:"
        cat "$(log_of "$1" "$2")"
        return 1
    fi
}

# --- What shows that the hardening holds --------------------------------------------------------

# The sandbox as the kernel reports it for a running program: no capabilities, no new privileges, a
# system call filter (only a manager sets one), a read-only root.
show_sandbox() {
    local what=$1 pid=$2 status
    status=$(cat "/proc/$pid/status")
    if grep -q '^CapBnd:[[:space:]]*0000000000000000$' <<<"$status"; then
        pass "$what has no capabilities"
    else
        fail "$what has capabilities: $(grep ^CapBnd <<<"$status")"
    fi
    if grep -q '^NoNewPrivs:[[:space:]]*1$' <<<"$status"; then
        pass "$what cannot gain privileges"
    else
        fail "$what may gain privileges"
    fi
    if [ "$mode" = manager ]; then
        if grep -q '^Seccomp:[[:space:]]*2$' <<<"$status"; then
            pass "$what runs under a system call filter"
        else
            fail "$what runs without a system call filter"
        fi
    fi
    if awk '$5 == "/" && $6 ~ /(^|,)ro(,|$)/ {found = 1} END {exit !found}' "/proc/$pid/mountinfo"; then
        pass "$what sees / read-only"
    elif [ "$mode" = manager ]; then
        fail "$what may write to /"
    fi
}

# An HTTP request to the intake at its default address: TOKEN METHOD PATH [JSON_BODY]. Prints the
# status and the body; fails when nothing answers.
http() {
    python3 - "$@" <<'END'
import sys, urllib.error, urllib.request
token, method, path = sys.argv[1:4]
body = sys.argv[4].encode() if len(sys.argv) > 4 else None
request = urllib.request.Request("http://127.0.0.1:8808" + path, data=body, method=method,
                                 headers={"Authorization": "Bearer " + token, "Content-Type": "application/json"})
try:
    with urllib.request.urlopen(request, timeout=5) as response:
        print(response.status, response.read().decode())
except urllib.error.HTTPError as error:
    print(error.code, error.read().decode())
END
}

sent_to() {
    vmsms-modemsim ctl "$sim/ctl" sent | grep -q "$1"
}

# A gateway directory whose server.txt names the simulated modem, with a hook that writes where it
# may and tries where it may not.
make_gateway() {
    install -d -o vmsms -g vmsms -m 750 "/var/lib/vmsms/$1"
    printf '[SET]\r\nCOM=%s\r\nRATE=19200\r\nRESPONSIVE=1\r\n[HOOKS]\r\nSENT=/bin/sh -c %s\r\n' "$sim/modem" \
        "'echo \$VMSMS_NUMBER >>/var/lib/vmsms/$1/hook.txt; touch $escaped'" |
        as_vmsms tee "/var/lib/vmsms/$1/server.txt" >/dev/null
}

check_engine() {
    local gateway=/var/lib/vmsms/$instance engine
    start_service vmsmsd "$instance" || return 0
    engine=$("${mode}_pid" vmsmsd "$instance")
    as_vmsms vmsms-send --dir "$gateway" --to 13900000001 "hardened" >/dev/null
    if eventually 600 sent_to 13900000001; then
        pass "vmsmsd@.service opens the modem and sends a message vmsms-send queued"
    else
        fail "vmsmsd@.service sent nothing within 60 s; its output:"
        cat "$(log_of vmsmsd "$instance")"
    fi
    if eventually 100 grep -q 13900000001 "$gateway/hook.txt"; then
        pass "vmsmsd@.service runs a hook that writes the instance's directory"
    else
        fail "the hook did not write $gateway/hook.txt"
    fi
    if [ ! -e "$escaped" ]; then
        pass "a hook of vmsmsd@.service cannot write outside the instance's directory"
    elif [ "$mode" = manager ]; then
        fail "a hook of vmsmsd@.service could write $escaped"
    fi
    if [ "$mode" = manager ]; then
        # SIGHUP reads server.txt again; the engine goes on as the same process.
        if systemctl reload "vmsmsd@$instance.service" && sleep 1 &&
            [ "$(manager_pid vmsmsd "$instance" || true)" = "$engine" ]; then
            pass "vmsmsd@.service reloads (SIGHUP from ExecReload=, inside the sandbox)"
        else
            fail "vmsmsd@.service does not survive a reload"
        fi
    fi
    show_sandbox vmsmsd "$engine"
}

# The port is busy: the second engine tells whose it is from /proc/<pid>/fd, which the unit's
# ProtectProc=invisible leaves it for the service user's own processes.
check_busy_port() {
    start_service vmsmsd "$rival" || return 0
    if eventually 100 grep -Eq '/proc/[0-9]+' "$(log_of vmsmsd "$rival")"; then
        pass "a second vmsmsd@.service names the process that holds the modem"
    else
        fail "a second vmsmsd@.service does not name the process that holds the modem; its output:"
        cat "$(log_of vmsmsd "$rival")"
    fi
    "${mode}_stop" vmsmsd "$rival"
}

check_listener() {
    local token listener answer
    token=$(as_vmsms vmsms-listener --dir "/var/lib/vmsms/$instance" --new-token pkgcheck 2>/dev/null)
    start_service vmsms-listener "$instance" || return 0
    listener=$("${mode}_pid" vmsms-listener "$instance")
    if ! eventually 100 http "$token" GET /v1/status; then
        fail "vmsms-listener@.service does not answer; its output:"
        cat "$(log_of vmsms-listener "$instance")"
        return
    fi
    answer=$(http "$token" GET /v1/status)
    if [[ $answer == 200* ]]; then
        pass "vmsms-listener@.service answers GET /v1/status"
    else
        fail "vmsms-listener@.service answers GET /v1/status with $answer"
    fi
    # The intake tells a working engine by its open trace file, which it finds through /proc.
    if grep -q '"trace_held_open":true' <<<"$answer"; then
        pass "vmsms-listener@.service sees the engine at work"
    else
        fail "vmsms-listener@.service does not see the engine's open trace file: $answer"
    fi
    answer=$(http "$token" POST /v1/messages '{"to": ["13900000002"], "text": "hardened"}')
    if [[ $answer == 201* ]] && eventually 600 sent_to 13900000002; then
        pass "vmsms-listener@.service queues a message the engine sends"
    else
        fail "a message posted to vmsms-listener@.service was not sent: $answer"
    fi
    show_sandbox vmsms-listener "$listener"
}

# What the services made is not for every user of the machine (UMask=0027).
check_file_modes() {
    local open_files
    open_files=$(find "/var/lib/vmsms/$instance" "/var/lib/vmsms/$rival" -perm /o=rwx)
    if [ -z "$open_files" ]; then
        pass "the services' files are closed to other users"
    else
        fail "other users may use: $open_files"
    fi
}

inside() {
    mode=$1
    # Nothing the check itself makes is open to other users, so whatever is was made by a service.
    umask 0027
    sim=$(mktemp -d -p /run vmsms-pkgcheck.XXXXXX)
    chown vmsms:vmsms "$sim"
    setpriv --reuid=vmsms --regid=vmsms --init-groups -- vmsms-modemsim --link "$sim/modem" --control "$sim/ctl" \
        >"$sim/modemsim.log" 2>&1 &
    local sim_pid=$!
    if eventually 100 test -S "$sim/ctl"; then
        make_gateway "$instance"
        make_gateway "$rival"
        check_engine
        check_busy_port
        check_listener
        check_file_modes
        "${mode}_stop" vmsms-listener "$instance"
        "${mode}_stop" vmsmsd "$instance"
    else
        fail "the simulated modem did not start: $(cat "$sim/modemsim.log")"
    fi
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
    rm -rf "$sim"
    return $failed
}

outside() {
    local work reason status=0
    if [ "$(id -u)" -ne 0 ] || ! command -v setpriv >/dev/null || ! command -v python3 >/dev/null; then
        echo "SKIP  the units' programs under their hardening: needs root, setpriv and python3"
        return 0
    fi
    work=$(mktemp -d)
    mkdir "$work/manager"
    local leftovers=("$work" "/var/lib/vmsms/$instance" "/var/lib/vmsms/$rival" "$escaped")
    # Interrupted, the check still takes its manager down.
    trap '"$here/service_manager.sh" stop "$work/manager"; rm -rf "${leftovers[@]}"; exit 1' INT TERM
    if [ -n "${VMSMS_CHECK_NO_MANAGER:-}" ]; then
        echo "no systemd manager: VMSMS_CHECK_NO_MANAGER is set"
        "$here/service_trial.sh" inside fallback "$instance" || status=1
    elif reason=$("$here/service_manager.sh" start "$work/manager" "$units/vmsmsd@.service" \
        "$units/vmsms-listener@.service"); then
        echo "the installed units run under a systemd manager of the check's own"
        "$here/service_manager.sh" enter "$work/manager" "$here/service_trial.sh" inside manager "$instance" ||
            status=1
        "$here/service_manager.sh" stop "$work/manager"
    else
        "$here/service_manager.sh" stop "$work/manager"
        echo "no systemd manager could be had here: $reason"
        "$here/service_trial.sh" inside fallback "$instance" || status=1
    fi
    rm -rf "${leftovers[@]}"
    return $status
}

if [ "${1:-}" = inside ]; then
    inside "$2"
else
    outside
fi
