#!/bin/sh
# The upgrade through the window (offscreen), as a technician clicks it: the
# success box with the version, and the flash programmed as by the headless
# upgrade. WINDOW_UPGRADE names the driver program.
. "$(dirname "$0")/kit_test_lib.sh"

: "${WINDOW_UPGRADE:?WINDOW_UPGRADE must name the window driver}"
kit="$work/kit"
install_kit "$kit"

devsim_start "$work/devsim.log" -M "$DEVICE_MAC" --fw-version 1.3.2 --flash "$work/flash.bin"
mkdir -m 700 "$work/runtime"
(cd "$kit" && KIT_DIR="$kit" DEVICE_MAC="$DEVICE_MAC" QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work/runtime" \
    timeout -k 5 60 "$WINDOW_UPGRADE") > "$work/window.log" 2>&1 < /dev/null
status=$?
devsim_stop
cat "$work/window.log"

check "the click ends in a message box" [ "$status" -eq 0 ]
check "the box is the success box with the version" \
    has_line "$work/window.log" "BOX Success|Upgrade complete. Current Version is 1.3.2"
check "the log shows the reset step" has_line "$work/window.log" "Reset target :"
check "the log ends the run with the version read back" has_line "$work/window.log" "Current version: 1.3.2"
check "the status bar tells the outcome with the time measured" \
    grep -qE "^STATUS Upgraded $DEVICE_MAC to 1\.3\.2 in [0-9]+ s$" "$work/window.log"
# kit_test_lib.sh keeps the window's settings in $work/config.
check "the window remembers the interface and the MAC used" \
    grep -qxF "targetMac=$DEVICE_MAC" "$work/config/Talvenrick/ndxupgrade.ini"
"$PRM_SCRAMBLE" -u "$kit/Tool/prm_NDX470.dat" "$work/prm.inf" || fail "unscramble the kit's parameter file"
build_expected_image "$kit" "$work/prm.inf" "$DEVICE_MAC" "$work/expected.dat" || fail "build the expected image"
check "flash equals the image built from the kit's parameter file" \
    flash_holds_image "$work/flash.bin" "$work/expected.dat"
check "plain parameter file is gone" is_absent "$kit/Tool/prm_NDX470.inf"

verdict
