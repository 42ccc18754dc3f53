# Shared by the installation kit's end-to-end tests. Sourced by a test script
# that runs inside testbed/netns/run_in_netns.sh (hl0 = PC side, dv0 = device
# side). Each test installs the kit into its own temporary tree, starts devsim
# with the options the case needs, and drives the installed programs exactly
# as a technician would: from the install tree's top directory.
#
# Environment: BUILD_DIR (the build tree), CMAKE (the cmake that built it),
# PRM_SCRAMBLE (the build-time scrambler, for cases that ship another file),
# KIT_SOURCE_DIR (kit/ of the source tree), TESTBED_DIR (testbed/ of it).
#
# The helpers keep their own variables under names that begin with "_", so
# that they never overwrite a test's variables.
set -u
. "${TESTBED_DIR:?TESTBED_DIR must name testbed/ of the source tree}/netns/stop_processes.sh"

: "${BUILD_DIR:?BUILD_DIR must name the build tree}"
CMAKE="${CMAKE:-cmake}"
PRM_SCRAMBLE="${PRM_SCRAMBLE:-$BUILD_DIR/kit/prm_scramble}"
DEVSIM_BIN="$BUILD_DIR/bin/devsim"

# The device under test, the second station on its phone line, and the PC.
DEVICE_MAC="0A-3F-71-5C-1E-27"
STATION_MAC="0A-3F-71-5C-1E-28"
PC_ADDRESS="192.0.2.2"

failures=0
work=$(mktemp -d "${TMPDIR:-/tmp}/kit_test.XXXXXX") || exit 1
# Every upgrade and query records itself in the history: the test's own, never
# the user's (~/.local/state).
XDG_STATE_HOME="$work/state"
export XDG_STATE_HOME
# The window keeps its last choice per user (~/.config): the test's own too.
XDG_CONFIG_HOME="$work/config"
export XDG_CONFIG_HOME
unset NDX_HISTORY_DB
devsim_pid=""

finish() {
    devsim_stop
    rm -rf "$work"
}
trap finish EXIT
trap 'exit 143' TERM INT

pass() { echo "PASS: $1"; }
fail() {
    echo "FAIL: $1"
    failures=$((failures + 1))
}

# check NAME COMMAND...: one named expectation, judged by the command's status.
check() {
    _check_name="$1"
    shift
    if "$@"; then pass "$_check_name"; else fail "$_check_name"; fi
}

# Ends the test script with the verdict of all checks.
verdict() {
    if [ "$failures" -ne 0 ]; then
        echo "$failures check(s) failed"
        exit 1
    fi
    exit 0
}

# install_kit DIR: the kit as `cmake --install` lays it out.
install_kit() {
    rm -rf "$1"
    if ! "$CMAKE" --install "$BUILD_DIR" --prefix "$1" > "$work/install.log" 2>&1; then
        cat "$work/install.log"
        echo "FAIL: the kit could not be installed from $BUILD_DIR"
        exit 1
    fi
}

# devsim_start LOG OPTIONS...: the emulator on dv0; waits at most 20 s for it
# (a ready one ends the wait at once; a loaded machine running the sanitizer
# build can take seconds to start it).
devsim_start() {
    _devsim_log="$1"
    shift
    : > "$_devsim_log"
    "$DEVSIM_BIN" -i dv0 "$@" > "$_devsim_log" 2>&1 &
    devsim_pid=$!
    _n=0
    until grep -q '^devsim: listening on' "$_devsim_log"; do
        if ! kill -0 "$devsim_pid" 2>/dev/null || [ "$_n" -ge 400 ]; then
            echo "FAIL: devsim did not start:"
            cat "$_devsim_log"
            exit 1
        fi
        sleep 0.05
        _n=$((_n + 1))
    done
}

# devsim_stop: ends the emulator so that it writes its flash and dump files.
devsim_stop() {
    [ -n "$devsim_pid" ] || return 0
    stop_processes TERM "$devsim_pid"
    devsim_pid=""
}

# run_ndxupgrade KIT OUTPUT ARGS...: the headless upgrade tool, started from
# the top of the install tree (its base directory), bounded; sets `status`.
run_ndxupgrade() {
    _kit="$1"
    _output="$2"
    shift 2
    (cd "$_kit" && timeout -k 5 60 ./ndxupgrade "$@") > "$_output" 2>&1 < /dev/null
    status=$?
}

# stop_and_wait SIGNAL TARGET: sends SIGNAL to TARGET (a background child of
# this shell, or -PID for its process group), waits at most 10 s for the
# child to end and reaps it. Sets `status` and `took` (tenths of a second
# from the signal to the end).
stop_and_wait() {
    _pid="${2#-}"
    kill "-$1" "$2"
    took=0
    while kill -0 "$_pid" 2>/dev/null && [ "$took" -lt 100 ]; do
        sleep 0.1
        took=$((took + 1))
    done
    wait "$_pid"
    status=$?
}

# wait_until COMMAND...: at most 10 s, in steps of 0.05 s, until COMMAND
# succeeds; false if it never does.
wait_until() {
    _wait_n=0
    until "$@"; do
        [ "$_wait_n" -lt 200 ] || return 1
        sleep 0.05
        _wait_n=$((_wait_n + 1))
    done
}

# wait_for_path PATH: at most 10 s until PATH exists; false if it never does.
wait_for_path() { wait_until [ -e "$1" ]; }

# processes_in TEXT...: the pids (on one line) of the processes whose working
# folder or command line holds one of the TEXTs.
processes_in() {
    _procs_found=""
    for _procs_pid in /proc/[0-9]*; do
        _procs_where="$(readlink "$_procs_pid/cwd" 2>/dev/null) $(tr '\0' ' ' 2>/dev/null < "$_procs_pid/cmdline")"
        for _procs_text in "$@"; do
            case "$_procs_where" in
            *"$_procs_text"*)
                _procs_found="$_procs_found ${_procs_pid#/proc/}"
                break
                ;;
            esac
        done
    done
    echo "$_procs_found"
}

# has_line FILE TEXT: FILE holds TEXT as a whole line.
has_line() { grep -qxF -- "$2" "$1"; }
# last_line_is FILE TEXT
last_line_is() { [ "$(tail -n 1 "$1")" = "$2" ]; }
lacks_line() { ! grep -qxF -- "$2" "$1"; }
is_absent() { [ ! -e "$1" ]; }
is_file() { [ -f "$1" ]; }
is_program() { [ -f "$1" ] && [ -x "$1" ]; }
# not COMMAND...: the command fails (for `check`, which runs a command).
not() { ! "$@"; }

# hex_of FILE: the file's bytes as lower-case hex text, 16 bytes a line,
# which is also the layout of tabgen's and imgbuild's hex output.
hex_of() { od -An -v -tx1 -w16 "$1" | tr -d ' '; }

# build_expected_image KIT PRMFILE MAC OUT: the flash image the kit's own
# compiler and image builder make from the parameter file for this MAC,
# built here independently of program_flash.sh.
build_expected_image() {
    _tool="$1/Tool"
    _prm="$2"
    _mac="$3"
    _image="$4"
    _dir="$work/expected"
    rm -rf "$_dir"
    mkdir -p "$_dir" || return 1
    for _region in o m 0 1 2 3; do
        "$_tool/tabgen" -f "$_prm" -M "$_mac" "-$_region" > "$_dir/$_region.hex" || return 1
    done
    set -- -F -Y -f "$_image" -o "$_dir/o.hex" -m "$_dir/m.hex"
    for _table in 0 1 2 3; do
        [ -s "$_dir/$_table.hex" ] && set -- "$@" "-$_table" "$_dir/$_table.hex"
    done
    "$_tool/imgbuild" "$@" 2> "$_dir/imgbuild.log"
}

# flash_holds_image FLASH IMAGE: the flash starts with the image and is
# erased (0xFF) after it.
flash_holds_image() {
    _size=$(wc -c < "$2")
    [ "$_size" -gt 0 ] || return 1
    cmp -s -n "$_size" "$1" "$2" || return 1
    _rest=$(tail -c +"$((_size + 1))" "$1" | tr -d '\377' | wc -c)
    [ "$_rest" -eq 0 ]
}

# mac_bytes MAC: "0A-3F-71-5C-1E-27" as the lower-case hex of its six octets.
mac_bytes() { echo "$1" | tr -d ':-' | tr 'A-F' 'a-f'; }
