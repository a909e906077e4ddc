#!/usr/bin/env bash
# A systemd manager of our own on a machine where systemd is not pid 1 (a container, a CI runner): it
# runs as pid 1 of new pid, mount, UTS, network, IPC and cgroup namespaces, sees no unit but the ones
# named on `start`, and cannot reach the machine's settings: /proc/sys and /sys are read-only to it,
# /run, /tmp, /var/tmp and the cgroup tree's tmpfs are its own, the hostname and the network are
# a namespace's. Its cgroups are children of the caller's, so limits such as MemoryMax= hold inside
# whatever limits the caller has.
#
#   service_manager.sh start STATE UNIT_FILE...   exit 0 once the manager runs, else 1 (with a reason)
#   service_manager.sh enter STATE COMMAND...     run COMMAND in the manager's namespaces
#   service_manager.sh stop STATE                 end it (and everything it runs), remove its cgroups
#
# STATE is an empty directory the caller owns. Needs root and unshare/nsenter (util-linux).
set -euo pipefail

systemd_binary=/lib/systemd/systemd
# Inside the namespaces: where the manager finds its units.
unit_dir=/run/vmsms-check/units

# The cgroup hierarchies of this process as "mountpoint controllers path" lines: "controllers" is
# what `mount -n -t cgroup -o` takes for a v1 hierarchy and "cgroup2" for the unified one.
hierarchies() {
    local line controllers path mountpoint
    while IFS= read -r line; do
        controllers=${line#*:}
        path=${controllers#*:}
        controllers=${controllers%%:*}
        if [ -z "$controllers" ]; then
            mountpoint=$(awk '$0 ~ / - cgroup2 / {print $5; exit}' /proc/self/mountinfo)
            controllers=cgroup2
        else
            mountpoint=$(awk -v want="$controllers" '
                / - cgroup / {
                    split($0, halves, " - "); split(halves[2], fs, " "); n = split(fs[3], options, ",")
                    found = 0; m = split(want, wanted, ",")
                    for (i = 1; i <= m; i++) for (j = 1; j <= n; j++) if (options[j] == wanted[i]) found++
                    if (found == m) { print $5; exit }
                }' /proc/self/mountinfo)
        fi
        [ -n "$mountpoint" ] && echo "$mountpoint $controllers $path"
    done </proc/self/cgroup
}

# Moves the calling shell into a new child of each of its cgroups, noted in STATE/cgroups.
enter_child_cgroups() {
    local state=$1 name=$2 mountpoint controllers path dir
    hierarchies >"$state/hierarchies"
    while read -r mountpoint controllers path; do
        dir=$mountpoint${path%/}/$name
        mkdir "$dir"
        echo "$dir" >>"$state/cgroups"
        if [ -f "$dir/cpuset.cpus" ]; then
            cat "$mountpoint${path%/}/cpuset.cpus" >"$dir/cpuset.cpus"
            cat "$mountpoint${path%/}/cpuset.mems" >"$dir/cpuset.mems"
        fi
        echo "$BASHPID" >"$dir/cgroup.procs"
    done <"$state/hierarchies"
}

# Pid 1 of the namespaces: gives the manager a file system it cannot harm the machine through, then
# becomes it.
boot() {
    local state=$1 mountpoint controllers path unit
    shift
    # Only ever as pid 1 of the namespaces `start` makes: the mounts below would harm the machine.
    local outer_namespace
    outer_namespace=$(cat "$state/mount-namespace" 2>/dev/null || true)
    if [ $$ -ne 1 ] || [ -z "$outer_namespace" ] || [ "$(readlink /proc/self/ns/mnt)" = "$outer_namespace" ]; then
        echo "service_manager.sh boot: not pid 1 of new namespaces; refusing" >&2
        exit 1
    fi
    mount -n --bind /proc/sys /proc/sys
    mount -n -o remount,bind,ro /proc/sys
    # What the manager writes to the console goes to its log, not to the machine's console.
    touch "$state/console"
    mount -n --bind "$state/console" /dev/console
    umount -R -l /sys/fs/cgroup
    mount -n -o remount,bind,ro /sys
    # In the cgroup namespace each hierarchy mounted anew starts at the cgroups made for us.
    if grep -q '^/sys/fs/cgroup cgroup2 ' "$state/hierarchies"; then
        mount -n -t cgroup2 -o nosuid,nodev,noexec cgroup2 /sys/fs/cgroup
    else
        mount -n -t tmpfs -o mode=755,nosuid,nodev,noexec tmpfs /sys/fs/cgroup
        while read -r mountpoint controllers path; do
            mkdir -p "$mountpoint"
            if [ "$controllers" = cgroup2 ]; then
                mount -n -t cgroup2 -o nosuid,nodev,noexec cgroup2 "$mountpoint"
            else
                mount -n -t cgroup -o "nosuid,nodev,noexec,$controllers" cgroup "$mountpoint"
            fi
        done <"$state/hierarchies"
    fi
    for dir in /run /tmp /var/tmp; do
        mount -n -t tmpfs -o mode=1777,nosuid,nodev tmpfs "$dir"
    done
    chmod 755 /run
    mkdir -p "$unit_dir" /run/vmsms-check/no-generators
    # A target to start with, and the ones every service is ordered against; nothing else is loaded.
    for unit in vmsms-check.target sysinit.target basic.target shutdown.target; do
        printf '[Unit]\nDescription=%s of the service check\n' "$unit" >"$unit_dir/$unit"
    done
    for unit in "$@"; do
        ln -s "$unit" "$unit_dir/$(basename "$unit")"
    done
    export container=vmsms-check
    export SYSTEMD_UNIT_PATH=$unit_dir
    export SYSTEMD_GENERATOR_PATH=/run/vmsms-check/no-generators
    export SYSTEMD_ENVIRONMENT_GENERATOR_PATH=/run/vmsms-check/no-generators
    exec "$systemd_binary" --system --unit=vmsms-check.target --log-target=console --log-level=notice \
        --show-status=no
}

pid1() {
    cat "$1/pid1"
}

enter() {
    local state=$1
    shift
    nsenter --target "$(pid1 "$state")" --all -- "$@"
}

start() {
    local state=$1 here
    shift
    here=$(readlink -f "$0")
    for tool in unshare nsenter "$systemd_binary"; do
        command -v "$tool" >/dev/null || { echo "no $tool"; return 1; }
    done
    readlink /proc/self/ns/mnt >"$state/mount-namespace"
    # The subshell moves into the new cgroups, so the caller stays where it is.
    (
        enter_child_cgroups "$state" "vmsms-check-$$"
        exec unshare --fork --pid --mount --uts --net --ipc --cgroup --propagation private --mount-proc \
            "$here" boot "$state" "$@" </dev/null >"$state/manager.log" 2>&1
    ) &
    echo $! >"$state/unshare"
    local waited=0 systemd
    while [ $waited -lt 100 ]; do
        if ! kill -0 "$(cat "$state/unshare")" 2>/dev/null; then
            echo "the manager ended: $(tail -q -n 5 "$state/manager.log" "$state/console" 2>/dev/null)"
            return 1
        fi
        systemd=$(pgrep -P "$(cat "$state/unshare")" -x systemd || true)
        if [ -n "$systemd" ]; then
            echo "$systemd" >"$state/pid1"
            case $(enter "$state" systemctl is-system-running 2>/dev/null || true) in
            running | degraded) return 0 ;;
            esac
        fi
        sleep 0.1
        waited=$((waited + 1))
    done
    echo "the manager did not come up within 10 s: $(tail -q -n 5 "$state/manager.log" "$state/console" 2>/dev/null)"
    return 1
}

cgroups_left() {
    local dir
    [ -f "$1/cgroups" ] || return 1
    while read -r dir; do
        [ -d "$dir" ] && return 0
    done <"$1/cgroups"
    return 1
}

stop() {
    local state=$1 unshare_pid
    if [ -f "$state/unshare" ]; then
        unshare_pid=$(cat "$state/unshare")
        # Pid 1 of a pid namespace takes all of it along when it ends.
        if [ -f "$state/pid1" ]; then
            kill -KILL "$(pid1 "$state")" 2>/dev/null || true
        fi
        kill -KILL "$unshare_pid" 2>/dev/null || true
        while kill -0 "$unshare_pid" 2>/dev/null; do sleep 0.1; done
    fi
    # The kernel lets a cgroup go once its last process is reaped, which may take a moment.
    local tries=0
    while cgroups_left "$state" && [ $tries -lt 50 ]; do
        while read -r dir; do
            if [ -d "$dir" ]; then
                find "$dir" -depth -type d -exec rmdir {} + 2>/dev/null || true
            fi
        done <"$state/cgroups"
        sleep 0.1
        tries=$((tries + 1))
    done
    return 0
}

command=$1
shift
case $command in
start | stop | enter | boot) "$command" "$@" ;;
*)
    echo "usage: $0 start|enter|stop STATE ..." >&2
    exit 2
    ;;
esac
