#!/bin/sh
# Each failing stage of a headless upgrade: its own log line, the failure box
# text last, exit status 1, and no plain parameter file left behind.
. "$(dirname "$0")/kit_test_lib.sh"

# failure_case NAME PARAMETER_FILE EXPECTED_LINE STAGE DEVSIM_OPTIONS...
# PARAMETER_FILE: "kit" ships the kit's own file, anything else is a plain
# file scrambled into Tool/prm_NDX470.dat for this case. STAGE: "batch" when
# program_flash.sh failed (its line is followed by "Err: upgrade fail."),
# "connect" otherwise.
failure_case() {
    name="$1"
    parameter_file="$2"
    expected="$3"
    stage="$4"
    shift 4
    kit="$work/kit"
    install_kit "$kit"
    if [ "$parameter_file" != kit ]; then
        "$PRM_SCRAMBLE" "$parameter_file" "$kit/Tool/prm_NDX470.dat" || fail "$name: scramble"
    fi
    devsim_start "$work/devsim.log" -M "$DEVICE_MAC" --flash "$work/flash.bin" "$@"
    run_ndxupgrade "$kit" "$work/upgrade.log" --upgrade --mac "$DEVICE_MAC" --interface hl0
    devsim_stop
    echo "--- $name"
    cat "$work/upgrade.log"
    check "$name: exit status 1" [ "$status" -eq 1 ]
    check "$name: logs \"$expected\"" has_line "$work/upgrade.log" "$expected"
    if [ "$stage" = batch ]; then
        check "$name: then \"Err: upgrade fail.\"" \
            [ "$(grep -A1 -xF -- "$expected" "$work/upgrade.log" | tail -n 1)" = "Err: upgrade fail." ]
    else
        check "$name: the batch file never ran" lacks_line "$work/upgrade.log" "start to upgrade :"
    fi
    check "$name: no reset after the failure" lacks_line "$work/upgrade.log" "Reset target :"
    check "$name: final text is the failure box" last_line_is "$work/upgrade.log" "Upgrade Fail"
    check "$name: plain parameter file is gone" is_absent "$kit/Tool/prm_NDX470.inf"
    rm -f "$work/flash.bin"
}

printf 'NO_SUCH_PARAMETER = 1\n' > "$work/unknown_parameter.inf"

failure_case "bad parameter file" "$work/unknown_parameter.inf" \
    "Err: failed to process parameters of tabgen.exe" batch
failure_case "flash programming fails" kit \
    "Err: flash programming failed." batch --prog-fail 0
failure_case "silent device" kit \
    "Err: Can't connect to target $DEVICE_MAC" connect --silent

verdict
