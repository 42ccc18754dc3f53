# stop_processes SIGNAL PID...: asks background children of this shell to end
# with SIGNAL, gives them together at most 5 s, then kills what is left and
# reaps them all. Sourced by the test, demo and bench scripts that start
# devsim or a capture in the background.
stop_processes() {
    _stop_signal="$1"
    shift
    [ $# -gt 0 ] || return 0
    kill "-$_stop_signal" "$@" 2>/dev/null
    _stop_n=0
    for _stop_pid in "$@"; do
        while kill -0 "$_stop_pid" 2>/dev/null && [ "$_stop_n" -lt 50 ]; do
            sleep 0.1
            _stop_n=$((_stop_n + 1))
        done
        kill -KILL "$_stop_pid" 2>/dev/null
        wait "$_stop_pid" 2>/dev/null
    done
    return 0
}
