# Several emulated devices on one wire: one devsim process per device, all on
# dv0, each with its own MAC, memory, flash file, firmware version and
# faults. Each answers only the frames addressed to its own MAC (and the
# broadcast address query), so the loaders on hl0, each filtering on its own
# device's MAC, see only their own device's replies, as on a switch.
#
# Sourced by scripts that run inside netns/run_in_netns.sh, after
# netns/stop_processes.sh. DEVSIM_BIN names the devsim binary.
#
#   fleet_start LOGDIR MAC [DEVSIM OPTIONS...]   one more device; its output
#                                               in LOGDIR/devsim-MAC.log
#   fleet_ready                                  waits (at most 20 s: a
#                                               loaded machine can take
#                                               seconds) until every device
#                                               listens
#   fleet_stop                                   ends them all (SIGTERM, so
#                                               that they write their flash
#                                               files; SIGKILL after 5 s)

fleet_pids=""
fleet_logs=""

fleet_start() {
    _fleet_log="$1/devsim-$2.log"
    _fleet_mac="$2"
    shift 2
    : > "$_fleet_log"
    "$DEVSIM_BIN" -i dv0 -M "$_fleet_mac" "$@" > "$_fleet_log" 2>&1 &
    fleet_pids="$fleet_pids $!"
    fleet_logs="$fleet_logs $_fleet_log"
}

fleet_ready() {
    _fleet_n=0
    for _fleet_log in $fleet_logs; do
        until grep -q '^devsim: listening on' "$_fleet_log"; do
            if [ "$_fleet_n" -ge 400 ]; then
                echo "devsim did not start:"
                cat "$_fleet_log"
                return 1
            fi
            sleep 0.05
            _fleet_n=$((_fleet_n + 1))
        done
    done
}

fleet_stop() {
    # shellcheck disable=SC2086 # one pid a word
    stop_processes TERM $fleet_pids
    fleet_pids=""
    fleet_logs=""
}
