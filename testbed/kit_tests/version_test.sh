#!/bin/sh
# Headless version query through the installed kit's version.sh: the version
# the device reports, the old-firmware rename, and a device that is silent.
. "$(dirname "$0")/kit_test_lib.sh"

# version_case NAME EXIT_STATUS LAST_LINE DEVSIM_OPTIONS...
version_case() {
    name="$1"
    expected_status="$2"
    expected_last="$3"
    shift 3
    kit="$work/kit"
    install_kit "$kit"
    devsim_start "$work/devsim.log" -M "$DEVICE_MAC" "$@"
    run_ndxupgrade "$kit" "$work/version.log" --query-version --mac "$DEVICE_MAC" --interface hl0
    devsim_stop
    echo "--- $name"
    cat "$work/version.log"
    check "$name: exit status $expected_status" [ "$status" -eq "$expected_status" ]
    check "$name: final text \"$expected_last\"" last_line_is "$work/version.log" "$expected_last"
}

version_case "version 1.3.2" 0 "Current Version is 1.3.2" --fw-version 1.3.2
version_case "another version is read, not assumed" 0 "Current Version is 2.1.5" --fw-version 2.1.5
version_case "version 0.0.1 is old firmware" 0 "Current Version is 1.2d or earlier" --fw-version 0.0.1
version_case "silent device" 1 "Can't get target's version" --silent
check "silent device: verinfo.txt holds an ERROR word" grep -q ERROR "$work/kit/Kernel/verinfo.txt"

verdict
