#!/bin/sh
# Headless upgrade through the installed kit against devsim: connect,
# program_flash.sh, reset, version.sh. Afterwards the emulator's flash holds
# exactly the image that the kit's tools build from the kit's parameter file
# for this device, the device booted it (its MAC is at 0x8060), and only the
# scrambled parameter file is left in Tool/.
. "$(dirname "$0")/kit_test_lib.sh"

kit="$work/kit"
install_kit "$kit"

# The parameter file names another MAC, so the one found at 0x8060 can only
# have come from the upgrade.
devsim_start "$work/devsim.log" -M "$DEVICE_MAC" --fw-version 1.3.2 \
    --flash "$work/flash.bin" --dump "8060:6=$work/mac.bin"
run_ndxupgrade "$kit" "$work/upgrade.log" --upgrade --mac "$DEVICE_MAC" --interface hl0
devsim_stop
cat "$work/upgrade.log"

check "upgrade exits 0" [ "$status" -eq 0 ]
check "log shows every step" has_line "$work/upgrade.log" "Reset target :"
check "final text is the success box" \
    last_line_is "$work/upgrade.log" "Upgrade complete. Current Version is 1.3.2"

"$PRM_SCRAMBLE" -u "$kit/Tool/prm_NDX470.dat" "$work/prm.inf" || fail "unscramble the kit's parameter file"
build_expected_image "$kit" "$work/prm.inf" "$DEVICE_MAC" "$work/expected.dat" || fail "build the expected image"
check "flash equals the image built from the kit's parameter file" \
    flash_holds_image "$work/flash.bin" "$work/expected.dat"
check "memory at 0x8060 holds the device's MAC" \
    [ "$(hex_of "$work/mac.bin")" = "$(mac_bytes "$DEVICE_MAC")" ]
check "plain parameter file is gone" is_absent "$kit/Tool/prm_NDX470.inf"
check "scrambled parameter file stays" is_file "$kit/Tool/prm_NDX470.dat"

verdict
