#!/usr/bin/env bash
# Installs what is missing, builds, and starts the operator console.
#
#   ./run.sh                     the console in ./demo, against the simulated modem
#   ./run.sh --port /dev/ttyUSB0 the console in ./demo, against a real modem on that port
#   ./run.sh --dir PATH          the console in PATH, with the settings already there
#
# --port and --dir go together: the console then works in PATH with its COM set to the port.
# Without a display (a server, an ssh session) the same gateway runs without a window: vmsmsd prints
# what the window's monitor would show; Ctrl-C stops it.
set -euo pipefail
cd "$(dirname "$0")"
root=$(pwd)

usage() { sed -n '2,9p' "$0" | sed 's/^# \{0,1\}//'; }

port=""
dir=""
while [ $# -gt 0 ]; do
    case "$1" in
        --port) port="${2:?--port needs a device}"; shift 2 ;;
        --port=*) port="${1#*=}"; shift ;;
        --dir) dir="${2:?--dir needs a directory}"; shift 2 ;;
        --dir=*) dir="${1#*=}"; shift ;;
        -h|--help) usage; exit 0 ;;
        *) echo "run.sh: unknown argument: $1" >&2; usage >&2; exit 2 ;;
    esac
done

scripts/install-deps.sh
# Only the programs this script runs: the tests and benchmarks are built by ./test.sh.
scripts/build.sh vmsms vmsmsd vmsms-send vmsms-modemsim
console="$root/build/console/vmsms"
modemsim="$root/build/programs/vmsms-modemsim"
if [ ! -x "$console" ]; then
    echo "run.sh: the operator console was not built." >&2
    exit 1
fi

# Sets one key of section SET in server.txt, as the console's INI layer would read it: the key's line
# is replaced in place (its name compared without letter case), or added to the section.
set_setting() {
    local file=$1 key=$2 value=$3
    [ -f "$file" ] || printf '[SET]\r\n' > "$file"
    awk -v key="$key" -v value="$value" '
        BEGIN { want = toupper(key) }
        { sub(/\r$/, "") }
        /^[ \t]*\[/ {
            if (in_set && !done) { print key "=" value "\r"; done = 1 }
            in_set = (toupper($0) ~ /^[ \t]*\[SET\]/)
            print $0 "\r"; next
        }
        in_set && !done {
            name = $0; sub(/=.*/, "", name); gsub(/[ \t]/, "", name)
            if (index($0, "=") && toupper(name) == want) { print key "=" value "\r"; done = 1; next }
        }
        { print $0 "\r" }
        END { if (!done) { if (!in_set) print "[SET]\r"; print key "=" value "\r" } }
    ' "$file" > "$file.tmp" && mv "$file.tmp" "$file"
}

has_setting() {
    [ -f "$1" ] && grep -qi "^[[:space:]]*$2[[:space:]]*=" "$1"
}

workdir=${dir:-$root/demo}
mkdir -p "$workdir"
workdir=$(cd "$workdir" && pwd)
settings="$workdir/server.txt"

sim_pid=""
stop_simulator() {
    if [ -n "$sim_pid" ]; then
        kill "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
}
trap stop_simulator EXIT INT TERM

if [ -n "$port" ]; then
    set_setting "$settings" COM "$port"
    echo "run.sh: console in $workdir, modem on $port"
elif [ -z "$dir" ]; then
    link="$workdir/modem"
    control="$workdir/modemsim.sock"
    rm -f "$link" "$control"
    "$modemsim" --link "$link" --control "$control" --record "$workdir/modemsim-sent.log" &
    sim_pid=$!
    for _ in $(seq 50); do
        [ -e "$link" ] && break
        sleep 0.1
    done
    if [ ! -e "$link" ]; then
        echo "run.sh: the simulated modem did not come up." >&2
        exit 1
    fi
    set_setting "$settings" COM "$link"
    has_setting "$settings" RATE || set_setting "$settings" RATE 19200
    has_setting "$settings" SMSCODE || set_setting "$settings" SMSCODE 8613800200500
    echo "run.sh: console in $workdir, simulated modem at $link"
    echo "run.sh: to have the modem receive a message, in another terminal:"
    echo "    $modemsim ctl $control deliver --from 13800138000 --text '*help'"
else
    echo "run.sh: console in $workdir"
fi

# Not exec: the simulator is stopped once the gateway has ended.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "run.sh: no display: running the gateway without a window (vmsmsd); Ctrl-C stops it."
    echo "run.sh: queue a message with:  (cd $workdir && $root/build/programs/vmsms-send --to 13900000001 'hello')"
    (cd "$workdir" && "$root/build/programs/vmsmsd")
else
    (cd "$workdir" && "$console")
fi
