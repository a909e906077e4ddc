#!/usr/bin/env bash
# Starts a unit's program with as much of the unit's sandbox as can be had without a systemd manager,
# for machines where none can run. The credentials (User=, Group=, SupplementaryGroups=, an empty
# CapabilityBoundingSet=, NoNewPrivileges=) and UMask= come from setpriv; the file system settings
# from a mount namespace when one can be made. What needs the manager (a seccomp filter, cgroup
# limits and device rules, a user namespace) is left out. The first lines of output say which of
# the unit's settings were applied and which were not.
#
# Usage: sandbox_exec.sh UNIT_FILE INSTANCE     (as root; ends as the unit's ExecStart)
set -euo pipefail
unit_file=$1
instance=$2

# The settings of [Service], last one wins, with %i expanded.
setting() {
    sed -n "/^\[Service\]/,/^\[/s/^$1=//p" "$unit_file" | sed "s/%i/$instance/g" | tail -n 1
}
settings() {
    sed -n "/^\[Service\]/,/^\[/s/^\([A-Za-z]*\)=.*/\1/p" "$unit_file" | sort -u
}

applied=()
note() { applied+=("$1"); }

# Everything but /dev, /proc, /sys and the writable paths read-only, as ProtectSystem=strict does.
read_only_system() {
    local writable=$1 mountpoint
    for path in $writable; do
        mount -n --bind "$path" "$path"
    done
    for mountpoint in $(awk '{print $5}' /proc/self/mountinfo | sort -u); do
        case $mountpoint in
        /dev | /dev/* | /proc | /proc/* | /sys | /sys/*) continue ;;
        esac
        [[ " $writable " == *" $mountpoint "* ]] && continue
        mount -n -o remount,bind,ro "$mountpoint" 2>/dev/null || return 1
    done
}

# A /dev of pseudo devices only, as PrivateDevices=yes makes it.
private_devices() {
    local dev
    dev=$(mktemp -d)
    mount -n -t tmpfs -o mode=755,nosuid tmpfs "$dev"
    mkdir "$dev/pts" "$dev/shm"
    for node in null zero full random urandom tty; do
        touch "$dev/$node"
        mount -n --bind "/dev/$node" "$dev/$node"
    done
    mount -n --bind /dev/pts "$dev/pts"
    ln -s pts/ptmx "$dev/ptmx"
    ln -s /proc/self/fd "$dev/fd"
    ln -s /proc/self/fd/0 "$dev/stdin"
    ln -s /proc/self/fd/1 "$dev/stdout"
    ln -s /proc/self/fd/2 "$dev/stderr"
    mount -n -t tmpfs -o mode=1777,nosuid,nodev tmpfs "$dev/shm"
    mount -n --move "$dev" /dev
    rmdir "$dev"
}

# In a new mount namespace: the file system settings.
file_system() {
    [ "$(setting PrivateMounts)" = yes ] && note "PrivateMounts (a mount namespace)"
    [ "$(setting PrivateDevices)" = yes ] && private_devices && note PrivateDevices=yes
    [ "$(setting ProtectSystem)" = strict ] && read_only_system "$(setting ReadWritePaths)" &&
        note "ProtectSystem=strict ReadWritePaths=$(setting ReadWritePaths)"
    if [ "$(setting ProtectHome)" = yes ]; then
        for home in /home /root /run/user; do
            [ -d "$home" ] && mount -n -t tmpfs -o mode=000 tmpfs "$home"
        done
        note ProtectHome=yes
    fi
    if [ "$(setting PrivateTmp)" = yes ]; then
        mount -n -t tmpfs -o mode=1777,nosuid,nodev tmpfs /tmp
        mount -n -t tmpfs -o mode=1777,nosuid,nodev tmpfs /var/tmp
        note PrivateTmp=yes
    fi
    local proc_options=""
    [ "$(setting ProtectProc)" = invisible ] && proc_options=hidepid=invisible
    [ "$(setting ProcSubset)" = pid ] && proc_options=${proc_options:+$proc_options,}subset=pid
    if [ -n "$proc_options" ] && mount -n -t proc -o "nosuid,nodev,noexec,$proc_options" proc /proc; then
        note "ProtectProc/ProcSubset ($proc_options)"
    fi
    if [ "$(setting ProtectKernelTunables)" = yes ]; then
        # With ProcSubset=pid there is no /proc/sys to protect.
        if [ -d /proc/sys ]; then
            mount -n --bind /proc/sys /proc/sys && mount -n -o remount,bind,ro /proc/sys
        fi && mount -n -o remount,bind,ro /sys && note "ProtectKernelTunables (read-only /proc/sys, /sys)"
    fi
    if [ "$(setting ProtectControlGroups)" = yes ] && mountpoint -q /sys/fs/cgroup; then
        awk '$5 ~ "^/sys/fs/cgroup" {print $5}' /proc/self/mountinfo | xargs -r -n 1 mount -n -o remount,bind,ro &&
            note "ProtectControlGroups (read-only cgroup tree)"
    fi
    if [ "$(setting ProtectKernelLogs)" = yes ]; then
        for log in /dev/kmsg /proc/kmsg; do
            [ -e "$log" ] && mount -n --bind /dev/null "$log"
        done
        note ProtectKernelLogs=yes
    fi
    [ "$(setting ProtectHostname)" = yes ] && note "ProtectHostname (a UTS namespace)"
    return 0
}

# The credentials, the umask and the directory, then the program.
become_service() {
    local groups umask_value directory
    groups=$(setting SupplementaryGroups)
    umask_value=$(setting UMask)
    directory=$(setting WorkingDirectory)
    note "User=$(setting User) Group=$(setting Group)${groups:+ SupplementaryGroups=$groups}"
    [ -n "$umask_value" ] && note "UMask=$umask_value"
    [ -z "$(setting CapabilityBoundingSet)" ] && note "CapabilityBoundingSet= (empty)"
    [ "$(setting NoNewPrivileges)" = yes ] && note NoNewPrivileges=yes
    report
    local group_option=--clear-groups
    [ -n "$groups" ] && group_option=--groups=${groups// /,}
    # shellcheck disable=SC2046 # ExecStart is split into words as the manager splits a plain one
    exec setpriv --reuid="$(setting User)" --regid="$(setting Group)" "$group_option" --inh-caps=-all \
        --bounding-set=-all --no-new-privs -- \
        sh -c 'umask "$1" && cd "$2" && shift 2 && exec "$@"' sh "${umask_value:-0022}" "$directory" \
        $(setting ExecStart)
}

report() {
    local left_out=() name entry
    for name in $(settings); do
        case $name in
        Type | ExecStart | ExecReload | KillSignal | TimeoutStopSec | Restart | RestartSec | WorkingDirectory) continue ;;
        esac
        local found=0
        for entry in "${applied[@]}"; do
            [[ $entry == *"$name"* ]] && found=1
        done
        [ $found = 1 ] || left_out+=("$name")
    done
    echo "sandbox: applied: ${applied[*]}"
    echo "sandbox: not applied (needs a manager): ${left_out[*]}"
}

mount_namespace() {
    readlink /proc/self/ns/mnt
}

if [ "${3:-}" = inside ]; then
    # The mounts above are only ever made in the namespace unshare made for them, never in the
    # machine's own.
    if [ -z "${4:-}" ] || [ "$(mount_namespace)" = "$4" ]; then
        echo "sandbox_exec.sh: not in a mount namespace of its own; refusing to mount" >&2
        exit 1
    fi
    file_system
    become_service
fi
if unshare --mount --uts --ipc --propagation private true 2>/dev/null; then
    exec unshare --mount --uts --ipc --propagation private -- "$0" "$unit_file" "$instance" inside "$(mount_namespace)"
fi
echo "sandbox: no mount namespace can be made here: the file system settings are left out"
become_service
