#!/bin/sh
# Batches through the installed kit against several emulated devices on one
# wire (one devsim per device on dv0): what each device's upgrade writes is
# its own, the report and the lines name each device's outcome, a Ctrl-C
# stops the batch cleanly, and many version queries give a version table.
. "$(dirname "$0")/kit_test_lib.sh"
. "$(dirname "$0")/../netns/devsim_fleet.sh"
trap 'fleet_stop; finish' EXIT

kit="$work/kit"
install_kit "$kit"
"$PRM_SCRAMBLE" -u "$kit/Tool/prm_NDX470.dat" "$work/prm.inf" || fail "unscramble the kit's parameter file"

# matches FILE REGEX: a whole line of FILE matches the extended regular expression.
matches() { grep -Eqx -- "$2" "$1"; }
# row FILE N: line N of FILE.
row() { sed -n "$2p" "$1"; }
# differ A B: the two files' bytes differ.
differ() { ! cmp -s "$1" "$2"; }
# plain_files DIR...: the plain parameter files (or links to one) below DIR.
plain_files() { find "$@" -name prm_NDX470.inf 2>/dev/null; }

# --- Four devices, each with a firmware version of its own; one cannot be
# programmed. Two are given with --mac, two come from a list.
ok1=0A-3F-71-00-00-11
ok2=0A-3F-71-00-00-12
ok3=0A-3F-71-00-00-13
bad=0A-3F-71-00-00-14
for device in "$ok1 1.3.2" "$ok2 1.4.0" "$ok3 2.0.1" "$bad 1.3.2"; do
    set -- $device
    if [ "$1" = "$bad" ]; then extra="--prog-fail 0"; else extra=""; fi
    # shellcheck disable=SC2086
    fleet_start "$work" "$1" --fw-version "$2" --flash "$work/flash-$1.bin" $extra
done
fleet_ready || exit 1
printf '# bench 2\n%s\n\n  %s   # the one with version 2.0.1\n' "$ok2" "$ok3" > "$work/macs.txt"
(cd "$kit" && timeout -k 5 60 ./ndxupgrade --upgrade --interface hl0 --mac "$ok1" --mac "$bad" \
    --mac-list "$work/macs.txt" --jobs 4 --report "$work/report.csv") > "$work/out" 2> "$work/err" < /dev/null
status=$?
fleet_stop
echo "--- four devices"
cat "$work/out" "$work/err"
run=$(sed -n 's/^ndxupgrade: run folder \(.*\) (4 devices, at most 4 at once)$/\1/p' "$work/err")

check "batch with a failure exits 1" [ "$status" -eq 1 ]
check "one line per device, then the summary" [ "$(wc -l < "$work/out")" -eq 5 ]
check "summary last" last_line_is "$work/out" "4 devices: 3 ok, 1 failed"
check "each device's own version" matches "$work/out" "$ok1  ok  1\.3\.2  [0-9]+\.[0-9] s"
check "each device's own version (2)" matches "$work/out" "$ok2  ok  1\.4\.0  [0-9]+\.[0-9] s"
check "each device's own version (3)" matches "$work/out" "$ok3  ok  2\.0\.1  [0-9]+\.[0-9] s"
check "the failing stage" matches "$work/out" "$bad  FAIL  flash programming  [0-9]+\.[0-9] s"
check "the run folder is under the base directory" [ "$(dirname "$run")" = "$kit/runs" ]
check "report: header" [ "$(row "$work/report.csv" 1)" = "mac,result,stage,version,seconds,log" ]
check "report: devices in list order" \
    [ "$(cut -d, -f1-4 "$work/report.csv" | tail -n +2 | tr '\n' ' ')" = \
      "$ok1,ok,,1.3.2 $bad,failed,flash programming, $ok2,ok,,1.4.0 $ok3,ok,,2.0.1 " ]
check "report: seconds and log" matches "$work/report.csv" "$bad,failed,flash programming,,[0-9]+\.[0-9][0-9],$run/$bad/log.txt"
check "report: the run folder keeps it too" cmp -s "$work/report.csv" "$run/report.csv"
check "the failing device's log tells why" grep -q '] Err: flash programming failed\.$' "$run/$bad/log.txt"
for device in "$ok1 1.3.2" "$ok2 1.4.0" "$ok3 2.0.1"; do
    set -- $device
    check "$1: its own verinfo.txt" [ "$(cat "$run/$1/Kernel/verinfo.txt")" = "$2" ]
    build_expected_image "$kit" "$work/prm.inf" "$1" "$work/expected-$1.dat" || fail "$1: expected image"
    check "$1: its own image.dat, built for its MAC" cmp -s "$run/$1/Kernel/image.dat" "$work/expected-$1.dat"
    check "$1: its flash holds its own image" flash_holds_image "$work/flash-$1.bin" "$work/expected-$1.dat"
done
check "images differ between devices" differ "$run/$ok1/Kernel/image.dat" "$run/$ok2/Kernel/image.dat"
check "the failing device read no version" is_absent "$run/$bad/Kernel/verinfo.txt"
check "the loader is shared" [ -L "$run/$ok1/Tool/hostlink" ]
check "the scripts are shared" [ -L "$run/$ok1/Kernel/program_flash.sh" ]
check "nothing written into the shared kit" is_absent "$kit/Kernel/image.dat"
check "nothing written into the shared kit (2)" is_absent "$kit/Kernel/verinfo.txt"
check "no plain parameter file is left" [ -z "$(plain_files "$kit")" ]

# --- Ctrl-C while two of three devices are being programmed (a 6 s erase).
stopped_run="$work/stopped-run"
for mac in 0A-3F-71-00-00-21 0A-3F-71-00-00-22 0A-3F-71-00-00-23; do
    fleet_start "$work" "$mac" --erase-ms 6000
done
fleet_ready || exit 1
# As from a terminal: a command started in the background of a script has
# SIGINT ignored, a terminal's foreground command has not.
(cd "$kit" && exec env --default-signal=INT ./ndxupgrade --upgrade --interface hl0 --jobs 2 \
    --mac 0A-3F-71-00-00-21 --mac 0A-3F-71-00-00-22 --mac 0A-3F-71-00-00-23 --run-dir "$stopped_run") \
    > "$work/out" 2> "$work/err" < /dev/null &
batch=$!
both_programming() {
    grep -qs 'start to upgrade :' "$stopped_run/0A-3F-71-00-00-21/log.txt" &&
        grep -qs 'start to upgrade :' "$stopped_run/0A-3F-71-00-00-22/log.txt"
}
wait_until both_programming
sleep 0.5
stop_and_wait INT "$batch"
echo "--- Ctrl-C"
cat "$work/out" "$work/err"
left=$(processes_in "$stopped_run" "$kit")
fleet_stop

check "stopped within the grace time" [ "$took" -lt 60 ]
check "a stopped batch exits 130, as a stopped single run" [ "$status" -eq 130 ]
check "the signal is named" has_line "$work/err" "ndxupgrade: SIGINT: stopping the batch; the devices that run get SIGTERM"
check "what was stopped is told last" last_line_is "$work/err" \
    "ndxupgrade: SIGINT stopped the batch; the flash of each STOPPED device may be half-programmed: upgrade it again."
check "running devices: stopped, in their stage" \
    matches "$work/out" "0A-3F-71-00-00-21  STOPPED  program_flash\.sh  [0-9]+\.[0-9] s"
check "running devices: stopped (2)" matches "$work/out" "0A-3F-71-00-00-22  STOPPED  program_flash\.sh  [0-9]+\.[0-9] s"
check "the waiting device: not started" has_line "$work/out" "0A-3F-71-00-00-23  NOT STARTED"
check "each device once, then the summary" [ "$(wc -l < "$work/out")" -eq 4 ]
check "the summary still comes" last_line_is "$work/out" "3 devices: 0 ok, 0 failed, 2 stopped, 1 not started"
check "report of the stopped run" \
    [ "$(cut -d, -f2 "$stopped_run/report.csv" | tail -n +2 | tr '\n' ' ')" = "stopped stopped not started " ]
check "no process of the batch is left" [ -z "$left" ]
check "no plain parameter file is left after a stop" [ -z "$(plain_files "$kit" "$stopped_run")" ]

# --- Version queries: a table of versions; a list of one is a batch too.
fleet_start "$work" 0A-3F-71-00-00-31 --fw-version 1.3.1
fleet_start "$work" 0A-3F-71-00-00-32 --fw-version 0.0.1
fleet_start "$work" 0A-3F-71-00-00-33 --silent
fleet_ready || exit 1
printf '0A-3F-71-00-00-31\n0A-3F-71-00-00-32\n0A-3F-71-00-00-33\n' > "$work/three.txt"
printf '0a:3f:71:00:00:31\n' > "$work/one.txt"
run_ndxupgrade "$kit" "$work/versions" --query-version --interface hl0 --mac-list "$work/three.txt"
versions_status=$status
(cd "$kit" && timeout -k 5 60 ./ndxupgrade --query-version --interface hl0 --mac-list "$work/one.txt") \
    > "$work/one.out" 2> /dev/null < /dev/null
one_status=$?
fleet_stop
echo "--- versions"
cat "$work/versions" "$work/one.out"
check "versions: one failed" [ "$versions_status" -eq 1 ]
check "versions: 1.3.1" matches "$work/versions" "0A-3F-71-00-00-31  ok  1\.3\.1  [0-9]+\.[0-9] s"
check "versions: old firmware" matches "$work/versions" "0A-3F-71-00-00-32  ok  1\.2d or earlier  [0-9]+\.[0-9] s"
check "versions: the silent one" matches "$work/versions" "0A-3F-71-00-00-33  FAIL  version query  [0-9]+\.[0-9] s"
check "versions: summary" last_line_is "$work/versions" "3 devices: 2 ok, 1 failed"
check "a list of one: exit 0" [ "$one_status" -eq 0 ]
check "a list of one: the batch's lines" \
    [ "$(sed 's/  [0-9.]* s$//' "$work/one.out" | tr '\n' '|')" = "0A-3F-71-00-00-31  ok  1.3.1|1 device: 1 ok, 0 failed|" ]

verdict
