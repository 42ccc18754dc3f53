#!/bin/sh
# tabgen writes a memory script of W lines (-s); hostlink runs it against
# devsim; the device memory then holds exactly the bytes tabgen writes as hex
# text for the same region. Covers both image regions and a table, with the
# kit's parameter file and a MAC from the command line.
. "$(dirname "$0")/kit_test_lib.sh"

tabgen="$BUILD_DIR/bin/tabgen"
hostlink="$BUILD_DIR/bin/hostlink"
prm="$work/prm.inf"
"$PRM_SCRAMBLE" -u "$BUILD_DIR/kit/prm_NDX470.dat" "$prm" || { fail "unscramble the kit's parameter file"; verdict; }

# region  device address of its first byte (hex)  length (hex)
cat > "$work/regions" <<'REGIONS'
o 8000 6C
m 806C 140
2 8000 0
REGIONS

while read -r region address length; do
    "$tabgen" -f "$prm" -M "$DEVICE_MAC" "-$region" > "$work/expected.hex" || fail "-$region: tabgen hex"
    "$tabgen" -f "$prm" -M "$DEVICE_MAC" "-$region" -s > "$work/script.txt" || fail "-$region: tabgen script"
    if [ "$length" = 0 ]; then
        # A table's length is whatever the file defines.
        length=$(printf '%X' "$(tr -d '\n' < "$work/expected.hex" | wc -c | awk '{ print $1 / 2 }')")
    fi
    if [ "$length" = 0 ]; then
        fail "-$region: the kit's parameter file defines no entries"
        continue
    fi
    devsim_start "$work/devsim.log" -M "$DEVICE_MAC" --dump "$address:$length=$work/memory.bin"
    timeout -k 5 60 "$hostlink" -d 3 -M "$DEVICE_MAC" -a "$PC_ADDRESS" -s "$work/script.txt" \
        > "$work/hostlink.log" 2>&1 < /dev/null
    status=$?
    devsim_stop
    # At debug level 3 every W line that ran is echoed as W,0x<address>:0x<value>.
    lines=$(grep -c '^W,' "$work/script.txt")
    written=$(grep -c '^W,0x' "$work/hostlink.log")
    check "-$region: hostlink succeeds" [ "$status" -eq 0 ]
    check "-$region: hostlink ran all $lines W lines" [ "$written" -eq "$lines" ]
    [ "$status" -eq 0 ] || cat "$work/hostlink.log"
    check "-$region: device memory equals tabgen's hex output" \
        [ "$(hex_of "$work/memory.bin")" = "$(cat "$work/expected.hex")" ]
done < "$work/regions"

verdict
