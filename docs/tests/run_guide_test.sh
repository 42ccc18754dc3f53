#!/bin/sh
# run_guide_test.sh GUIDE — runs the commands GUIDE marks with
# <!-- run in DIR --> (run_guide_commands) against emulated devices. Runs
# inside testbed/netns/run_in_netns.sh (hl0 = the PC side, dv0 = the devices).
#
# The guides speak of a PC whose interface eth1 (192.0.2.2) is cabled to the
# devices, so hl0 becomes eth1, and on dv0 answer
#   0A-3F-71-00-00-07  firmware 1.3.2, the station 0A-3F-71-00-00-09 on its line
#   0A-3F-71-00-00-08  firmware 1.3.2, its flash programming fails; it answers
#                      a search 150 ms late, so that a search lists it second
# The kit is installed into ROOT/kit as `cmake --install` lays it out, the
# build's programs are on PATH as the package puts them on it, and HOME and
# the XDG folders lie in ROOT, so nothing of the user's is read or written.
# DIR of a marker is a folder below ROOT ("kit", "kit/Tool", "work").
#
# Environment: BUILD_DIR (the build tree), CMAKE, RUNNER (run_guide_commands),
# TESTBED_DIR (testbed/ of the source tree).
set -u
guide="${1:?which guide}"
: "${BUILD_DIR:?BUILD_DIR must name the build tree}" "${RUNNER:?RUNNER must name run_guide_commands}"
: "${TESTBED_DIR:?TESTBED_DIR must name testbed/ of the source tree}"

if ! grep -q '^<!-- run' "$guide"; then
    echo "$guide marks no command to run"
    exit 0
fi

. "$TESTBED_DIR/netns/stop_processes.sh"
DEVSIM_BIN="$BUILD_DIR/bin/devsim"
. "$TESTBED_DIR/netns/devsim_fleet.sh"

root=$(mktemp -d "${TMPDIR:-/tmp}/guide_test.XXXXXX") || exit 1
finish() {
    fleet_stop
    rm -rf "$root"
}
trap finish EXIT
trap 'exit 143' TERM INT

ip link set hl0 down && ip link set hl0 name eth1 && ip link set eth1 up || exit 1
mkdir -p "$root/home" "$root/work" || exit 1
if ! "${CMAKE:-cmake}" --install "$BUILD_DIR" --prefix "$root/kit" > "$root/install.log" 2>&1; then
    cat "$root/install.log"
    exit 1
fi

unset NDX_HISTORY_DB
fleet_start "$root" 0A-3F-71-00-00-07 --fw-version 1.3.2 --node 0A-3F-71-00-00-09
fleet_start "$root" 0A-3F-71-00-00-08 --fw-version 1.3.2 --prog-fail 0 --query-delay-ms 150
fleet_ready || exit 1

HOME="$root/home" XDG_CONFIG_HOME="$root/home/.config" XDG_DATA_HOME="$root/home/.local/share" \
    XDG_STATE_HOME="$root/home/.local/state" PATH="$BUILD_DIR/bin:$PATH" \
    "$RUNNER" "$root" "$guide"
