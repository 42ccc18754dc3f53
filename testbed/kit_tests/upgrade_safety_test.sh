#!/bin/sh
# One upgrade per kit at a time, against emulated devices: two headless runs
# started together, a window and a headless run; what is refused before any
# device is touched; and a working copy of a kit that ships only the plain
# parameter file, which must flash the installed kit's new parameters after
# the kit has changed. WINDOW_UPGRADE names the window driver.
. "$(dirname "$0")/kit_test_lib.sh"
. "$(dirname "$0")/../netns/devsim_fleet.sh"
trap 'fleet_stop; finish' EXIT

: "${WINDOW_UPGRADE:?WINDOW_UPGRADE must name the window driver}"
kit="$work/kit"
install_kit "$kit"
"$PRM_SCRAMBLE" -u "$kit/Tool/prm_NDX470.dat" "$work/prm.inf" || fail "unscramble the kit's parameter file"
mkdir -m 700 "$work/runtime"

busy_text() {
    echo "Another upgrade is running from this kit (process $1). Wait for it to end, or use batch mode for several devices."
}
# answered_nothing MAC: the device answered no frame (its closing counters).
answered_nothing() { grep -q '^devsim: received [0-9]*, answered 0,' "$work/devsim-$1.log"; }
# upgraded_with_own_mac MAC: its flash holds the image built for its own MAC.
upgraded_with_own_mac() {
    build_expected_image "$kit" "$work/prm.inf" "$1" "$work/expected-$1.dat" &&
        flash_holds_image "$work/flash-$1.bin" "$work/expected-$1.dat"
}
# headless MAC OUT ARGS...: a headless upgrade from the kit, its output and
# errors in OUT.out and OUT.err.
headless() {
    _mac="$1"
    _out="$2"
    shift 2
    (cd "$kit" && exec timeout -k 5 60 ./ndxupgrade --upgrade --mac "$_mac" --interface hl0 "$@") \
        > "$_out.out" 2> "$_out.err" < /dev/null
}
# window MAC OUT: the window's Download click for MAC, offscreen.
window() {
    (cd "$kit" && KIT_DIR="$kit" DEVICE_MAC="$1" QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work/runtime" \
        exec timeout -k 5 60 "$WINDOW_UPGRADE") > "$2" 2>&1 < /dev/null
}
# slow_devices MAC...: a device each, whose erase keeps an upgrade running
# long enough for a second one to meet it.
slow_devices() {
    for _mac in "$@"; do
        fleet_start "$work" "$_mac" --erase-ms 2500 --flash "$work/flash-$_mac.bin"
    done
    fleet_ready || exit 1
}
# holder: the process that holds the kit, from the lock file, once there is one.
holder() { wait_for_path "$kit/Tool/prm_NDX470.inf" && cat "$kit/Tool/.ndxupgrade.lock"; }

# --- Refused before anything is sent: only this device is on the wire, so
# it must receive no frame at all.
spare=0A-3F-71-00-00-40
fleet_start "$work" "$spare"
fleet_ready || exit 1
printf '%s\n' "$spare" > "$work/list.txt"
printf '%s\n' "$spare" "0A-3F-71-00-00" "$spare" > "$work/bad-list.txt"
: > "$work/a-file"
# refused NAME STATUS EXPECTED_STDERR_LINE ARGS...
refused() {
    _name="$1"
    _status="$2"
    _line="$3"
    shift 3
    run_ndxupgrade "$kit" "$work/refused.log" "$@"
    check "refused, $_name: status $_status" [ "$status" -eq "$_status" ]
    check "refused, $_name: says why" has_line "$work/refused.log" "$_line"
}
refused "report in a missing folder" 2 \
    "ndxupgrade: cannot write the report $work/none/r.csv: No such file or directory" \
    --upgrade --interface hl0 --mac-list "$work/list.txt" --report "$work/none/r.csv"
refused "report over the MAC list" 2 \
    "ndxupgrade: cannot write the report $work/list.txt: it is the --mac-list file" \
    --upgrade --interface hl0 --mac-list "$work/list.txt" --report "$work/list.txt"
refused "run folder under a file" 2 \
    "ndxupgrade: cannot make the run folder $work/a-file/run: Not a directory" \
    --upgrade --interface hl0 --mac-list "$work/list.txt" --run-dir "$work/a-file/run"
refused "bad and repeated lines" 2 "ndxupgrade: $work/bad-list.txt:3: $spare is listed twice (also on line 1)" \
    --upgrade --interface hl0 --mac-list "$work/bad-list.txt"
check "refused, bad and repeated lines: the bad line too" \
    has_line "$work/refused.log" "ndxupgrade: $work/bad-list.txt:2: not a MAC address: 0A-3F-71-00-00"
refused "malformed MAC" 2 "ndxupgrade: not a MAC address: 0A-3F-71-00-0" \
    --upgrade --interface hl0 --mac 0A-3F-71-00-0
refused "PE out of range" 2 "ndxupgrade: --pe needs a number from 0 to 255" \
    --diagnose --interface hl0 --local "$spare" --remote 0A-3F-71-00-00-4F --pe 256
# A kit without what a later step needs: found by the files check.
cp -a "$kit" "$work/short-kit"
for missing in Kernel/version.sh Tool/tabgen; do
    mv "$work/short-kit/$missing" "$work/short-kit/$missing.away"
    run_ndxupgrade "$work/short-kit" "$work/refused.log" --upgrade --interface hl0 --mac "$spare"
    check "refused, no $missing: status 1" [ "$status" -eq 1 ]
    check "refused, no $missing: named by its own line" has_line "$work/refused.log" "Err: Can't find $missing file."
    check "refused, no $missing: the failure box" last_line_is "$work/refused.log" "Upgrade Fail"
    check "refused, no $missing: plain parameter file gone" is_absent "$work/short-kit/Tool/prm_NDX470.inf"
    mv "$work/short-kit/$missing.away" "$work/short-kit/$missing"
done
fleet_stop
check "refused: the device received no frame" grep -q '^devsim: received 0,' "$work/devsim-$spare.log"

# --- Two headless upgrades of two devices started together on one kit: one
# runs, the other is refused, and each device's flash holds only its own data.
one=0A-3F-71-00-00-41
two=0A-3F-71-00-00-42
slow_devices "$one" "$two"
headless "$one" "$work/one" &
first=$!
headless "$two" "$work/two" &
second=$!
wait "$first"
one_status=$?
wait "$second"
two_status=$?
fleet_stop
echo "--- two headless runs: $one_status $two_status"
cat "$work/one.out" "$work/one.err" "$work/two.out" "$work/two.err"
if [ "$one_status" -eq 0 ]; then ran="$one" refused_mac="$two" refused_run="$work/two"
else ran="$two" refused_mac="$one" refused_run="$work/one"
fi
check "together: exactly one ran" [ "$((one_status + two_status))" -eq 1 ]
check "together: the other is refused with the reason" \
    grep -Eqx "Another upgrade is running from this kit \(process [0-9]+\)\. Wait for it to end, or use batch mode for several devices\." "$refused_run.err"
check "together: the refused one started nothing" lacks_line "$refused_run.out" "Start to upgrade $refused_mac"
check "together: the refused device answered no frame" answered_nothing "$refused_mac"
check "together: the upgraded flash holds its own MAC" upgraded_with_own_mac "$ran"
check "together: the refused device's flash was not programmed" \
    not flash_holds_image "$work/flash-$refused_mac.bin" "$work/expected-$ran.dat"
check "together: plain parameter file gone" is_absent "$kit/Tool/prm_NDX470.inf"

# --- A window and a headless run: each refuses the other while it runs.
three=0A-3F-71-00-00-43
four=0A-3F-71-00-00-44
slow_devices "$three" "$four"
headless "$three" "$work/three" &
running=$!
pid=$(holder)
holder_command=$(tr '\0' ' ' < "/proc/$pid/cmdline")
window "$four" "$work/window-refused.log"
window_status=$?
wait "$running"
three_status=$?
window "$four" "$work/window.log" &
running=$!
pid2=$(holder)
headless "$three" "$work/three-refused"
refused_status=$?
wait "$running"
window2_status=$?
fleet_stop
echo "--- window and headless"
cat "$work/window-refused.log" "$work/three.out" "$work/three-refused.err" "$work/window.log"
check "window refused: the box names the running upgrade" \
    has_line "$work/window-refused.log" "BOX Error|$(busy_text "$pid")"
check "window refused: that is the headless run" \
    [ "$holder_command" = "./ndxupgrade --upgrade --mac $three --interface hl0 " ]
check "window refused: nothing logged, nothing started" lacks_line "$work/window-refused.log" "Start to upgrade $four"
check "window refused: the click ended in that box" [ "$window_status" -eq 0 ]
check "headless beside the window: it ran" [ "$three_status" -eq 0 ]
check "headless refused by the window: status 1" [ "$refused_status" -eq 1 ]
check "headless refused by the window: the reason on standard error" \
    has_line "$work/three-refused.err" "$(busy_text "$pid2")"
check "the window's own upgrade then ran" has_line "$work/window.log" "BOX Success|Upgrade complete. Current Version is 1.3.2"
check "window's run: exit status 0" [ "$window2_status" -eq 0 ]
check "headless device's flash holds its own MAC" upgraded_with_own_mac "$three"
check "window device's flash holds its own MAC" upgraded_with_own_mac "$four"

# --- The package's kit, shipping only the plain parameter file, used through
# the user's working copy; then the installed file changes.
package="$work/package"
"$CMAKE" --install "$BUILD_DIR" --prefix "$package" --component toolset > "$work/install.log" 2>&1 ||
    { cat "$work/install.log"; fail "install the package's layout"; }
shipped="$package/share/hostlink-toolset/kit/Tool"
rm -f "$shipped/prm_NDX470.dat"
cp "$KIT_SOURCE_DIR/Tool/prm_NDX470.inf" "$shipped/prm_NDX470.inf"
mkdir -p "$work/elsewhere"
copy="$work/data/hostlink-toolset/kit"
five=0A-3F-71-00-00-45
fleet_start "$work" "$five" --flash "$work/flash-$five.bin"
fleet_ready || exit 1
# copy_upgrade OUT: the headless upgrade from anywhere, through the copy.
copy_upgrade() {
    (cd "$work/elsewhere" && XDG_DATA_HOME="$work/data" exec timeout -k 5 60 "$package/bin/ndxupgrade" --upgrade \
        --mac "$five" --interface hl0) > "$1.out" 2> "$1.err" < /dev/null
}
copy_upgrade "$work/copy-first"
first_status=$?
sed 's/^USB_Serial = .*/USB_Serial = "NDX470-0999"/' "$KIT_SOURCE_DIR/Tool/prm_NDX470.inf" > "$shipped/prm_NDX470.inf"
copy_upgrade "$work/copy-second"
second_status=$?
fleet_stop
echo "--- the working copy"
cat "$work/copy-first.out" "$work/copy-first.err" "$work/copy-second.out" "$work/copy-second.err"
check "copy: first upgrade ok" [ "$first_status" -eq 0 ]
check "copy: the plain file was used up into the copy's .dat" is_file "$copy/Tool/prm_NDX470.dat"
check "copy: second upgrade ok" [ "$second_status" -eq 0 ]
check "copy: refreshed after the kit changed" has_line "$work/copy-second.err" \
    "ndxupgrade: base directory $copy (your working copy of the installed kit $package/share/hostlink-toolset/kit; refreshed from it now)"
check "copy: never claims the user removed it" not grep -q "as you left it" "$work/copy-second.err"
check "copy: no parameter file kept aside" is_absent "$copy/Tool/prm_NDX470.dat.new"
build_expected_image "$copy" "$shipped/prm_NDX470.inf" "$five" "$work/expected-changed.dat" ||
    fail "build the expected image"
check "copy: the flash holds the image of the changed parameters" \
    flash_holds_image "$work/flash-$five.bin" "$work/expected-changed.dat"
check "copy: the flash holds the changed USB_Serial" grep -qa "NDX470-0999" "$work/flash-$five.bin"
check "copy: no plain parameter file left" is_absent "$copy/Tool/prm_NDX470.inf"

verdict
