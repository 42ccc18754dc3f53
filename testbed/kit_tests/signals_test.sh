#!/bin/sh
# SIGTERM, SIGINT and SIGHUP at three moments of an upgrade (the connect
# script, program_flash.sh while the device erases, the reset script), for a
# single headless upgrade, for a batch and for the window: the run ends
# within the stop's grace time with 128 + the signal, says what it stopped,
# and leaves no plain parameter file, no temporary file and no process.
# WINDOW_UPGRADE names the window driver.
. "$(dirname "$0")/kit_test_lib.sh"
. "$(dirname "$0")/../netns/devsim_fleet.sh"
trap 'fleet_stop; finish' EXIT

: "${WINDOW_UPGRADE:?WINDOW_UPGRADE must name the window driver}"
kit="$work/kit"
install_kit "$kit"
cp "$kit/Tool/connect.txt" "$work/connect.txt"
cp "$kit/Tool/reset.txt" "$work/reset.txt"
mkdir -m 700 "$work/runtime"
# Everything the runs and their children put in TMPDIR goes there.
temporary="$work/tmp"
mkdir "$temporary"

# A device for each run, so that none inherits a stopped run's state (a
# device stopped while it erases stays busy). The connect and reset moments
# are held by the kit's scripts, the programming moment by the device's erase.
for mac in 51 52 53 61 62 63 71; do
    case "$mac" in
    52 | 62 | 71) fleet_start "$work" "0A-3F-71-00-00-$mac" --erase-ms 20000 ;;
    *) fleet_start "$work" "0A-3F-71-00-00-$mac" ;;
    esac
done
fleet_ready || exit 1

# hold MOMENT: the kit's scripts as that moment needs them.
hold() {
    cp "$work/connect.txt" "$kit/Tool/connect.txt"
    cp "$work/reset.txt" "$kit/Tool/reset.txt"
    case "$1" in
    connect) printf 'SLEEP,20000\n' >> "$kit/Tool/connect.txt" ;;
    reset) { printf 'SLEEP,20000\n'; cat "$work/reset.txt"; } > "$kit/Tool/reset.txt" ;;
    esac
}
# moment_line MOMENT MAC: the log line after which that moment has begun.
moment_line() {
    case "$1" in
    connect) echo "Connect to target $2:" ;;
    program_flash.sh) echo "start to upgrade :" ;;
    reset) echo "Reset target :" ;;
    esac
}
# wait_for_text FILE TEXT: at most 10 s until a line of FILE holds TEXT,
# and then a moment more, so that the step has begun.
wait_for_text() {
    wait_until grep -qsF -- "$2" "$1"
    sleep 0.3
}
# signal_status NAME: 128 + the signal's number.
signal_status() {
    case "$1" in
    HUP) echo 129 ;;
    INT) echo 130 ;;
    TERM) echo 143 ;;
    esac
}
# clean_end NAME: what every stopped run must leave.
clean_end() {
    check "$1: ended within the grace time" [ "$took" -lt 60 ]
    check "$1: no plain parameter file" [ -z "$(find "$kit" "$work"/run-* -name prm_NDX470.inf 2>/dev/null)" ]
    check "$1: no temporary file or folder" [ -z "$(ls -A "$temporary")" ]
    check "$1: no process left" [ -z "$(processes_in "$kit" "$work/run-")" ]
}
upgraded_line() {
    echo "Err: SIG$1 stopped the upgrade of $2 in stage $3; the flash may be half-programmed: upgrade the device again."
}

# --- A single headless upgrade. As from a terminal: SIGINT not ignored.
for case in "TERM connect 0A-3F-71-00-00-51" "INT program_flash.sh 0A-3F-71-00-00-52" "HUP reset 0A-3F-71-00-00-53"; do
    set -- $case
    hold "$2"
    (cd "$kit" && TMPDIR="$temporary" exec env --default-signal=INT ./ndxupgrade --upgrade --mac "$3" \
        --interface hl0) > "$work/single.out" 2> "$work/single.err" < /dev/null &
    single=$!
    wait_for_text "$work/single.out" "$(moment_line "$2" "$3")"
    stop_and_wait "$1" "$single"
    echo "--- single, SIG$1 in $2"
    cat "$work/single.out" "$work/single.err"
    name="single, SIG$1 in $2"
    check "$name: status 128 + the signal" [ "$status" -eq "$(signal_status "$1")" ]
    check "$name: the last line says what was stopped" last_line_is "$work/single.out" "$(upgraded_line "$1" "$3" "$2")"
    check "$name: the stopped step is no failure of its own" [ "$(grep -c '^Err: ' "$work/single.out")" -eq 1 ]
    check "$name: no box" lacks_line "$work/single.out" "Upgrade Fail"
    clean_end "$name"
done

# --- A batch of one device.
for case in "HUP connect 0A-3F-71-00-00-61" "TERM program_flash.sh 0A-3F-71-00-00-62" "INT reset 0A-3F-71-00-00-63"; do
    set -- $case
    hold "$2"
    run="$work/run-$1"
    (cd "$kit" && TMPDIR="$temporary" exec env --default-signal=INT ./ndxupgrade --upgrade --mac "$3" \
        --interface hl0 --jobs 1 --run-dir "$run") > "$work/batch.out" 2> "$work/batch.err" < /dev/null &
    batch=$!
    wait_for_text "$run/$3/log.txt" "] $(moment_line "$2" "$3")"
    stop_and_wait "$1" "$batch"
    echo "--- batch, SIG$1 in $2"
    cat "$work/batch.out" "$work/batch.err" "$run/$3/log.txt"
    name="batch, SIG$1 in $2"
    check "$name: status 128 + the signal" [ "$status" -eq "$(signal_status "$1")" ]
    check "$name: the device stopped in its stage" grep -Eqx "$3  STOPPED  $2  [0-9]+\.[0-9] s" "$work/batch.out"
    check "$name: what was stopped is told last" last_line_is "$work/batch.err" \
        "ndxupgrade: SIG$1 stopped the batch; the flash of each STOPPED device may be half-programmed: upgrade it again."
    check "$name: the device's log says it too" grep -qF "] $(upgraded_line TERM "$3" "$2")" "$run/$3/log.txt"
    clean_end "$name"
done

# --- The window, while program_flash.sh programs.
window_mac=0A-3F-71-00-00-71
hold program_flash.sh
(cd "$kit" && KIT_DIR="$kit" DEVICE_MAC="$window_mac" QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work/runtime" \
    TMPDIR="$temporary" exec "$WINDOW_UPGRADE") > "$work/window.log" 2>&1 < /dev/null &
window=$!
# Its log shows only at the end; program_flash.sh's temporary folder tells
# that the script runs.
program_flash_runs() { [ -n "$(find "$temporary" -name 'program_flash.*' 2>/dev/null)" ]; }
wait_until program_flash_runs
sleep 0.3
stop_and_wait TERM "$window"
echo "--- window, SIGTERM in program_flash.sh"
cat "$work/window.log"
check "window: status 143" [ "$status" -eq 143 ]
check "window: the log says what was stopped" has_line "$work/window.log" \
    "$(upgraded_line TERM "$window_mac" program_flash.sh)"
check "window: no box after the stop" not grep -q '^BOX ' "$work/window.log"
clean_end "window"

fleet_stop
verdict
