#!/bin/sh
# The bench test of a real device, run against devsim on hl0 (inside
# testbed/netns/run_in_netns.sh): the whole set through `make test-hardware`,
# then the guarantees that matter on a real bench: the scratch area is back
# after a failure and after a Ctrl-C, the robustness figure counts what the
# wire lost, an upgrade is never started unconfirmed, missing capture rights
# stop the run in the loader's own words.
#
# Environment: BUILD_DIR, CMAKE, SOURCE_DIR (the source tree), KIT_SOURCE_DIR.
. "$(dirname "$0")/../../kit_tests/kit_test_lib.sh"

: "${SOURCE_DIR:?SOURCE_DIR must name the source tree}"
hardware_test="$SOURCE_DIR/testbed/hardware/hardware_test.sh"
scratch_dump="28000:100"

# 256 bytes unlike erased or cleared memory, preloaded into the scratch area.
original="$work/original.bin"
awk 'BEGIN { for (i = 0; i < 256; i++) printf "\\%03o", (i * 37 + 11) % 256 }' > "$work/original.fmt"
# shellcheck disable=SC2059
printf "$(cat "$work/original.fmt")" > "$original"

# start_device LOG OPTIONS...: devsim as the device, its scratch area preset
# and written to after.bin when it stops.
start_device() {
    _log="$1"
    shift
    rm -f "$work/after.bin"
    devsim_start "$_log" -M "$DEVICE_MAC" --load "28000=$original" --dump "$scratch_dump=$work/after.bin" "$@"
}

scratch_is_original() { cmp -s "$original" "$work/after.bin"; }
row_is() { grep -qE "^$1 +$2 " "$3"; }
# COUNTER LOG: a count of devsim's closing line "devsim: received N, answered
# N, ..., dropped N, busy N".
devsim_count() {
    awk -v counter="$1" '/^devsim: received / {
        n = split(substr($0, 9), parts, ", ")
        for (i = 1; i <= n; i++) { split(parts[i], word, " "); if (word[1] == counter) value = word[2] }
    } END { print value }' "$2"
}
# LOW VALUE HIGH
within() { [ "$2" -ge "$1" ] && [ "$2" -le "$3" ]; }

# hardware SETTINGS... -- ARGS...: the script with those settings, output in
# $work/run.log, status in `status`.
hardware() {
    (
        while [ "$1" != "--" ]; do
            export "${1?}"
            shift
        done
        shift
        exec sh "$hardware_test" --build "$BUILD_DIR" "$@"
    ) > "$work/run.log" 2>&1 < /dev/null
    status=$?
}

# ---- the whole set through the make entry point, as a lab runs it

start_device "$work/devsim.log" --node "$STATION_MAC" --flash "$work/flash.bin"
started=$(date +%s)
make --no-print-directory -s -C "$SOURCE_DIR" test-hardware BUILD="$BUILD_DIR" NO_BUILD=1 \
    IFACE=hl0 MAC="$DEVICE_MAC" REMOTE="$STATION_MAC" FLASH=1 YES=1 OUT="$work/out" \
    > "$work/full.log" 2>&1 < /dev/null
status=$?
devsim_stop
cat "$work/full.log"
echo "(whole set: $(($(date +%s) - started)) s)"
check "whole set: exit status 0" [ "$status" -eq 0 ]
for row in reachability:PASS version:PASS memory:PASS afe:PASS robustness:INFO zdp:PASS flash:PASS; do
    check "whole set: ${row%:*} ${row#*:}" row_is "${row%:*}" "${row#*:}" "$work/full.log"
done
check "whole set: verdict line" grep -q '^Result: PASS (6 passed, 0 failed, 0 skipped, 1 figure) in ' "$work/full.log"
check "whole set: the device's version in the table" grep -qE '^version +PASS .* 1\.3\.2$' "$work/full.log"
check "whole set: 10000 reads, nothing lost on a clean wire" \
    grep -q ' 10000 reads: 0 replies not within the 100 ms window, 0 resends, 0 stale frames dropped$' "$work/full.log"
check "whole set: the flash was programmed" [ -s "$work/flash.bin" ]
check "whole set: table kept in the run folder" is_file "$work/out/table.txt"
check "whole set: nothing left to restore by hand" is_absent "$work/out/restore-scratch.txt"
# The capture file opens with the dissector: its first frames are the
# address query and its answer.
tshark -X "lua_script:$SOURCE_DIR/wireshark/hpnadev.lua" -r "$work/out/capture.pcap" -c 4 -T fields \
    -e _ws.col.Info > "$work/decoded.txt" 2> "$work/tshark.log"
check "whole set: capture file decodes with the dissector" \
    has_line "$work/decoded.txt" "Device address query answer: $(echo "$DEVICE_MAC" | tr "A-F-" "a-f:")"

# ---- a lossy wire: the scratch area gets its original back (the upgrade of
# the whole set stages its image there, so it is checked here), and the
# figure counts every window that ended without its reply

start_device "$work/devsim-lossy.log" --seed 7 --drop-prob 0.05
hardware IFACE=hl0 MAC="$DEVICE_MAC" OUT="$work/out-lossy-memory" -- --only memory
devsim_stop
cat "$work/run.log"
check "lossy wire: memory PASS" row_is memory PASS "$work/run.log"
check "lossy wire: the scratch area holds its original bytes again" scratch_is_original

start_device "$work/devsim-lossy.log" --seed 7 --drop-prob 0.01
hardware IFACE=hl0 MAC="$DEVICE_MAC" READS=2000 OUT="$work/out-lossy" -- --only robustness
devsim_stop
cat "$work/run.log"
dropped=$(devsim_count dropped "$work/devsim-lossy.log")
resends=$(sed -n 's/.* 2000 reads: [0-9]* replies not within the 100 ms window, \([0-9]*\) resends, .*/\1/p' "$work/run.log" | tail -n 1)
stale=$(sed -n 's/.* resends, \([0-9]*\) stale frames dropped$/\1/p' "$work/run.log" | tail -n 1)
echo "devsim dropped ${dropped:-?}; the table shows ${resends:-?} resends and ${stale:-?} stale frames"
check "lossy wire: exit status 0" [ "$status" -eq 0 ]
check "lossy wire: requests were lost" [ "${dropped:-0}" -gt 0 ]
# A reply slower than the window (a loaded machine) adds a resend and a
# stale frame of its own; anything else must match devsim's count.
check "lossy wire: one resend per lost request" within "${dropped:-0}" "${resends:--1}" $((${dropped:-0} + ${stale:-0}))

# ---- a device that stores only two bytes of each write: the word check
# fails, the original goes back all the same

start_device "$work/devsim-short.log" --short-write 2
hardware IFACE=hl0 MAC="$DEVICE_MAC" OUT="$work/out-short" -- --only memory
devsim_stop
cat "$work/run.log"
check "short writes: exit status 1" [ "$status" -eq 1 ]
check "short writes: memory FAIL" row_is memory FAIL "$work/run.log"
check "short writes: the original is back" scratch_is_original

# interrupt_after TEXT ARGS...: the script with ARGS, in a process group of
# its own, gets SIGINT (what a terminal's Ctrl-C sends) once its output shows
# TEXT; output in $work/run.log, status in `status`.
interrupt_after() {
    _text="$1"
    shift
    bash -c '
        set -m
        log="$1"
        text="$2"
        shift 2
        : > "$log"
        sh "$@" > "$log" 2>&1 < /dev/null &
        pid=$!
        n=0
        until grep -q "$text" "$log" || [ $n -ge 500 ]; do sleep 0.02; n=$((n + 1)); done
        kill -INT -- -$pid
        wait $pid' sh "$work/run.log" "$_text" "$hardware_test" --build "$BUILD_DIR" "$@" 2> /dev/null
    status=$?
    cat "$work/run.log"
}

# ---- Ctrl-C while the test pattern goes into the device (a slow device
# that stores four bytes a request: the pattern takes 64 writes)

start_device "$work/devsim-interrupt.log" --delay-ms 20 --short-write 4
export IFACE=hl0 MAC="$DEVICE_MAC"
OUT="$work/out-interrupt" interrupt_after "test pattern goes to" --only memory
devsim_stop
check "Ctrl-C: exit status 130" [ "$status" -eq 130 ]
grep -q 'the scratch area is restored and verified' "$work/run.log" || tail -n 20 "$work"/out-interrupt/logs/memory-*.log
check "Ctrl-C: says the area is restored" grep -q 'the scratch area is restored and verified' "$work/run.log"
check "Ctrl-C: the original is back" scratch_is_original

# ---- Ctrl-C during the upgrade: the upgrade goes on to its end, then the
# run stops with its table

start_device "$work/devsim-upgrade.log" --flash "$work/flash-interrupted.bin" --erase-ms 1500
FLASH=1 YES=1 OUT="$work/out-upgrade" interrupt_after "Ctrl-C does not stop the upgrade" --only flash
devsim_stop
check "Ctrl-C in the upgrade: exit status 130" [ "$status" -eq 130 ]
check "Ctrl-C in the upgrade: says it lets the upgrade finish" grep -q 'the upgrade was left to finish' "$work/run.log"
row_is flash PASS "$work/run.log" || tail -n 20 "$work"/out-upgrade/logs/flash-*.log
check "Ctrl-C in the upgrade: the upgrade ended well" row_is flash PASS "$work/run.log"
check "Ctrl-C in the upgrade: the flash was programmed" [ -s "$work/flash-interrupted.bin" ]
unset IFACE MAC

# ---- refusals: nothing is sent to the device

start_device "$work/devsim-refusals.log"
hardware IFACE=hl0 MAC="$DEVICE_MAC" FLASH=1 OUT="$work/out-unconfirmed" --
check "FLASH=1 without YES=1 and no terminal: exit status 2" [ "$status" -eq 2 ]
check "FLASH=1 without YES=1 and no terminal: says why" grep -q 'set YES=1. Nothing was done.' "$work/run.log"
if command -v script > /dev/null 2>&1; then
    # A terminal that answers no.
    (
        export IFACE=hl0 MAC="$DEVICE_MAC" FLASH=1 OUT="$work/out-declined"
        printf 'no\n' | script -qec "sh '$hardware_test' --build '$BUILD_DIR'" /dev/null
    ) > "$work/run.log" 2>&1
    status=$?
    check "FLASH=1 answered no on a terminal: exit status 2" [ "$status" -eq 2 ]
    check "FLASH=1 answered no on a terminal: asked first" grep -q 'Type yes to go on:' "$work/run.log"
fi
for setting in SCRATCH=0x28002 SCRATCH_LEN=1404 SCRATCH_LEN=0 READS=0 MAC=0A:3F:71:00:00 REMOTE="$DEVICE_MAC"; do
    hardware IFACE=hl0 MAC="$DEVICE_MAC" "$setting" OUT="$work/out-setting" --
    check "bad setting $setting: exit status 2" [ "$status" -eq 2 ]
done
hardware IFACE=hl0 MAC="$DEVICE_MAC" -- --only memory,nothing
check "unknown check: exit status 2" [ "$status" -eq 2 ]
if command -v setpriv > /dev/null 2>&1; then
    (
        export IFACE=hl0 MAC="$DEVICE_MAC" OUT="$work/out-rights"
        exec setpriv --bounding-set=-net_raw,-net_admin sh "$hardware_test" --build "$BUILD_DIR"
    ) > "$work/run.log" 2>&1 < /dev/null
    status=$?
    cat "$work/run.log"
    check "no capture rights: exit status 2" [ "$status" -eq 2 ]
    check "no capture rights: the loader's diagnosis with its remedy" \
        grep -q '^hostlink: cannot capture on hl0: .*setcap cap_net_raw+ep ' "$work/run.log"
fi
devsim_stop
check "refusals: devsim received nothing" [ "$(devsim_count received "$work/devsim-refusals.log")" = 0 ]

hardware IFACE= MAC= -- 
check "no device named: skipped (77)" [ "$status" -eq 77 ]
check "no device named: says how to name one" grep -q '^SKIP: no device to test' "$work/run.log"

verdict
