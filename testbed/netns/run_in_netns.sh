#!/bin/sh
# Runs a command inside a private user and network namespace that holds one
# veth pair: hl0 (the PC side, 192.0.2.2/24) and dv0 (the device side).
# IPv6 is switched off first so the kernel sends nothing on its own; nothing
# leaves the namespace and everything in it ends with this script.
#
#   run_in_netns.sh [--devsim "OPTIONS"] [--timeout SECONDS] -- COMMAND [ARGS...]
#
# With --devsim, build/bin/devsim is started on dv0 with the options (split at
# blanks) and the command runs once its ready line has appeared (at most 20 s
# later: a loaded machine can take seconds to start it). The command's
# exit status is the script's. Exit status 77 means namespaces are unavailable
# here (the test is skipped).
#
# Environment: DEVSIM names the devsim binary (default build/bin/devsim next
# to this tree); DEVSIM_LOG, when set, keeps everything devsim printed (its
# closing counter line included) in that file.
#
# Where the kernel allows it the namespace also gets its own PID space with
# this script as its first process, so that whatever happens to the test,
# nothing started inside outlives it, and a /proc of its own that shows that
# PID space (the leak checker of sanitizer builds reads its threads there).
set -u

devsim_options=""
use_devsim=0
limit=240
while [ $# -gt 0 ]; do
    case "$1" in
    --devsim) use_devsim=1; devsim_options="$2"; shift 2 ;;
    --timeout) limit="$2"; shift 2 ;;
    --) shift; break ;;
    *) break ;;
    esac
done

here=$(cd "$(dirname "$0")" && pwd)

if [ "${HL_NETNS_INSIDE:-}" != "1" ]; then
    if ! unshare -Urn true 2>/dev/null; then
        echo "SKIP: user and network namespaces are not available here (unshare -Urn failed)"
        exit 77
    fi
    isolate="-Urn"
    if unshare -Urnp --fork --kill-child --mount-proc true 2>/dev/null; then
        isolate="-Urnp --fork --kill-child --mount-proc"
    elif unshare -Urnp --fork --kill-child true 2>/dev/null; then
        isolate="-Urnp --fork --kill-child"
    fi
    if [ "$use_devsim" = 1 ]; then
        # shellcheck disable=SC2086
        HL_NETNS_INSIDE=1 exec unshare $isolate "$0" --devsim "$devsim_options" --timeout "$limit" -- "$@"
    fi
    # shellcheck disable=SC2086
    HL_NETNS_INSIDE=1 exec unshare $isolate "$0" --timeout "$limit" -- "$@"
fi

sysctl -qw net.ipv6.conf.default.disable_ipv6=1 net.ipv6.conf.all.disable_ipv6=1 2>/dev/null
if ! ip link add name hl0 type veth peer name dv0; then
    echo "SKIP: cannot create a veth pair here (no veth support)"
    exit 77
fi
ip link set hl0 up && ip link set dv0 up && ip addr add 192.0.2.2/24 dev hl0 || exit 1
export HL_IFACE=hl0 DV_IFACE=dv0 HL_ADDRESS=192.0.2.2

devsim_pid=""
stop_devsim() {
    if [ -n "$devsim_pid" ]; then
        kill -TERM "$devsim_pid" 2>/dev/null
        n=0
        while kill -0 "$devsim_pid" 2>/dev/null && [ $n -lt 50 ]; do sleep 0.1; n=$((n + 1)); done
        kill -KILL "$devsim_pid" 2>/dev/null
        wait "$devsim_pid" 2>/dev/null
        devsim_pid=""
    fi
}
trap 'stop_devsim' EXIT
trap 'exit 143' TERM INT

if [ "$use_devsim" = 1 ]; then
    devsim="${DEVSIM:-$here/../../build/bin/devsim}"
    if [ -n "${DEVSIM_LOG:-}" ]; then
        ready="$DEVSIM_LOG"
        : >"$ready" || exit 1
    else
        ready=$(mktemp)
    fi
    # shellcheck disable=SC2086 # the options are split at blanks on purpose
    "$devsim" -i dv0 $devsim_options >"$ready" 2>&1 &
    devsim_pid=$!
    n=0
    until grep -q '^devsim: listening on' "$ready"; do
        if ! kill -0 "$devsim_pid" 2>/dev/null || [ $n -ge 400 ]; then
            echo "devsim did not start:"; cat "$ready"
            [ -n "${DEVSIM_LOG:-}" ] || rm -f "$ready"
            exit 1
        fi
        sleep 0.05; n=$((n + 1))
    done
    [ -n "${DEVSIM_LOG:-}" ] || rm -f "$ready"
fi

# --foreground keeps the command in the terminal's process group, so that a
# Ctrl-C reaches it at once instead of waiting for the time limit.
timeout --foreground -k 5 "$limit" "$@"
