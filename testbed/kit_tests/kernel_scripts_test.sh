#!/bin/sh
# The Kernel scripts' reading of the loader's output, with a stand-in loader
# that prints a canned output: what reaches snr.tmp and verinfo.txt, and what
# must not. No device needed.
. "$(dirname "$0")/kit_test_lib.sh"

tree="$work/tree"
mkdir -p "$tree/Tool" "$tree/Kernel"
cp "$KIT_SOURCE_DIR/Kernel/per_test.sh" "$KIT_SOURCE_DIR/Kernel/version.sh" "$tree/Kernel/"
# The stand-in prints the file named by CANNED and exits with CANNED_STATUS.
cat > "$tree/Tool/hostlink" <<'LOADER'
#!/bin/sh
printf '%s' "$(cat "$CANNED")"
exit "${CANNED_STATUS:-0}"
LOADER
chmod +x "$tree/Tool/hostlink"
export CANNED="$work/canned"

# per_case NAME CANNED_OUTPUT EXPECTED_SNR_TMP ("" = no snr.tmp)
per_case() {
    printf '%b' "$2" > "$CANNED"
    rm -f "$tree/Kernel/snr.tmp"
    (cd "$tree/Kernel" && sh ./per_test.sh "$PC_ADDRESS" "$DEVICE_MAC" "$STATION_MAC" 255 1400 10000 > /dev/null 2>&1)
    per_verdict "$1" "$3"
}

per_verdict() {
    if [ -z "$2" ]; then
        check "per_test.sh, $1: no snr.tmp" is_absent "$tree/Kernel/snr.tmp"
    else
        check "per_test.sh, $1: snr.tmp holds \"$2\"" [ "$(cat "$tree/Kernel/snr.tmp" 2>/dev/null)" = "$2" ]
    fi
}

per_case "both reports" \
    'TX: 10000 14000000 0    1000000 RX: 30.00 0.00e+00   7 10000 14000000 0 0 0 0    1000000 0 0 ' \
    "30.00 0.00e+00 7"
per_case "negative SNR, some loss" \
    'ENABLE CERT command started : OK\nTX: 10000 14000000 0    1000000 RX: -3.25 1.50e-02  33 9850 13790000 150 0 0 0    1000000 0 0 ' \
    "-3.25 1.50e-02 33"
per_case "transmitter report unanswered" \
    'Failure -  Failed to receive ACK \nRX: 10000 14000000 0 0 0 0    1000000 0 0 ' ""
per_case "no output" '' ""
per_case "unknown node" 'UNK!10000 14000000 0 0 0 0 1000000 0 0 ' ""

# per_input_case NAME ARGUMENTS...: a command line that is refused before the
# loader runs (the stand-in would report a result if it ran).
per_input_case() {
    name="$1"
    shift
    printf '%s' 'TX: 1 1 0 1 RX: 30.00 0.00e+00   7 1 1 0 0 0 0 1 0 0 ' > "$CANNED"
    rm -f "$tree/Kernel/snr.tmp"
    (cd "$tree/Kernel" && sh ./per_test.sh "$@" > /dev/null 2>&1)
    got=$?
    check "per_test.sh, $name: refused with 155 (-101)" [ "$got" -eq 155 ]
    per_verdict "$name" ""
}

per_input_case "PE text of two words" "$PC_ADDRESS" "$DEVICE_MAC" "$STATION_MAC" 255 7 1400 10000
per_input_case "PE text not a number" "$PC_ADDRESS" "$DEVICE_MAC" "$STATION_MAC" "7,RESET" 1400 10000
per_input_case "empty PE text" "$PC_ADDRESS" "$DEVICE_MAC" "$STATION_MAC" 1400 10000
per_input_case "malformed MAC" "$PC_ADDRESS" "0A-3F-71-5C-1E" "$STATION_MAC" 255 1400 10000

# version_case NAME CANNED_OUTPUT LOADER_STATUS EXPECTED_VERINFO EXPECTED_STATUS
version_case() {
    printf '%b' "$2" > "$CANNED"
    rm -f "$tree/Kernel/verinfo.txt"
    (cd "$tree/Kernel" && CANNED_STATUS="$3" sh ./version.sh "$PC_ADDRESS" "$DEVICE_MAC" > /dev/null 2>&1)
    got=$?
    check "version.sh, $1: verinfo.txt holds $4" [ "$(cat "$tree/Kernel/verinfo.txt" 2>/dev/null)" = "$4" ]
    check "version.sh, $1: exit status $5" [ "$got" -eq "$5" ]
}

version_case "version read" '1.3.2\n' 0 "1.3.2" 0
version_case "read failed" 'ERROR failed to query version\n' 0 "ERROR_TIMEOUT" 0
# The loader's -3 is status 253, which the upgrade tool reads as negative.
version_case "loader failed" 'ERROR: failed to read memory\n' 253 "ERROR_LOADER" 253
# A loader stopped by the time limit (124) is still a failure: -1.
version_case "loader timed out" '' 124 "ERROR_LOADER" 255

# program_flash.sh with stand-in tools: its temporary folder goes whatever
# ends it, and an output that nobody reads any more does not end it.
cp "$KIT_SOURCE_DIR/Kernel/program_flash.sh" "$tree/Kernel/"
printf '#!/bin/sh\necho 000102030405060708090a0b0c0d0e0f\n' > "$tree/Tool/tabgen"
cat > "$tree/Tool/imgbuild" <<'BUILDER'
#!/bin/sh
while [ $# -gt 0 ]; do
    [ "$1" = -f ] && echo image > "$2"
    shift
done
exit 0
BUILDER
# The stand-in loader, while programming: HOLD makes it wait (as a device's
# erase does) after leaving a mark, LATE makes it print only after a moment.
cat > "$tree/Tool/hostlink" <<'LOADER'
#!/bin/sh
[ -n "${HOLD:-}" ] && { : > "$HOLD"; sleep 30; }
[ -n "${LATE:-}" ] && sleep 0.3
printf '%s\n' "programming" "verifying" "done"
exit 0
LOADER
chmod +x "$tree/Tool/tabgen" "$tree/Tool/imgbuild" "$tree/Tool/hostlink"
printf 'MAC_ADDR = 0A:3F:71:00:00:01\n' > "$tree/prm.inf"
temporary="$work/tmp"
mkdir -p "$temporary"
flash_arguments="$PC_ADDRESS $DEVICE_MAC phone1 ../prm.inf $DEVICE_MAC"

# The reader of its output is gone before the script writes.
# shellcheck disable=SC2086
(cd "$tree/Kernel" && LATE=1 TMPDIR="$temporary" sh ./program_flash.sh $flash_arguments 2>&1; echo $? > "$work/status") | true
check "program_flash.sh, output closed: ends as it would have (0)" [ "$(cat "$work/status")" = 0 ]
check "program_flash.sh, output closed: image built" is_file "$tree/Kernel/image.dat"
check "program_flash.sh, output closed: no temporary folder left" [ -z "$(ls -A "$temporary")" ]

# group_gone PGID: no process of the group is left (a zombie that waits for
# whoever reaps orphans does not count).
group_gone() {
    cat /proc/[0-9]*/stat 2>/dev/null |
        awk -v group="$1" '{ sub(/.*\) /, ""); if ($1 != "Z" && $3 == group) left = 1 } END { exit left }'
}

# Stopped as the upgrade tool stops it, through its process group, while the
# loader programs.
for stop in "INT 130" "TERM 143" "HUP 129"; do
    # shellcheck disable=SC2086
    set -- $stop
    rm -f "$work/holding"
    # shellcheck disable=SC2086
    (cd "$tree/Kernel" && HOLD="$work/holding" TMPDIR="$temporary" exec setsid env --default-signal=INT \
        sh ./program_flash.sh $flash_arguments) > /dev/null 2>&1 &
    script=$!
    wait_for_path "$work/holding"
    stop_and_wait "$1" "-$script"
    check "program_flash.sh, SIG$1 while programming: exit status $2" [ "$status" -eq "$2" ]
    check "program_flash.sh, SIG$1 while programming: no temporary folder left" [ -z "$(ls -A "$temporary")" ]
    check "program_flash.sh, SIG$1 while programming: nothing of it left" group_gone "$script"
done

verdict
