#!/bin/sh
# Headless link diagnosis through the installed kit's per_test.sh: a real
# certification transfer between the device and a second station on devsim,
# whose SNR, PER and PE reach snr.tmp and the result line; and the version
# gate that refuses old firmware before any transfer.
. "$(dirname "$0")/kit_test_lib.sh"

kit="$work/kit"
install_kit "$kit"

# result_line LOG: the last "SNR .. PER .. PE .." line.
result_line() { grep '^SNR ' "$1" | tail -n 1; }

devsim_start "$work/devsim.log" -M "$DEVICE_MAC" --fw-version 1.3.2 --node "$STATION_MAC" --snr 24 --pe 52
run_ndxupgrade "$kit" "$work/diagnose.log" --diagnose --local "$DEVICE_MAC" --remote "$STATION_MAC" --interface hl0
devsim_stop
cat "$work/diagnose.log"
check "diagnosis exits 0" [ "$status" -eq 0 ]
check "per_test.sh left snr.tmp" is_file "$kit/Kernel/snr.tmp"
snr="" per="" pe="" extra=""
[ -f "$kit/Kernel/snr.tmp" ] && read -r snr per pe extra < "$kit/Kernel/snr.tmp"
echo "snr.tmp: $snr $per $pe $extra"
check "snr.tmp holds SNR PER PE" [ "$(cat "$kit/Kernel/snr.tmp" 2>/dev/null | wc -w)" -eq 3 ]
check "SNR is the station's" awk -v snr="${snr:-0}" 'BEGIN { exit !(snr > 23 && snr < 25) }'
check "PER of a lossless line is 0" awk -v per="${per:-x}" 'BEGIN { exit !(per == 0) }'
check "PE is the station's" [ "$pe" = 52 ]
# The window shows reals in at most 5 characters.
snr_text=$(awk -v snr="${snr:-0}" 'BEGIN { printf "%s", substr(sprintf("%.15g", snr), 1, 5) }')
shows_values() { result_line "$1" | grep -Eq "^SNR +$2 +PER +$3 +PE +$4\$"; }
check "result line shows the measured values" \
    shows_values "$work/diagnose.log" "$snr_text" 0 "52 [(]40Mpbs[)]"

# A line that loses 2 % of the packets.
devsim_start "$work/devsim.log" -M "$DEVICE_MAC" --fw-version 1.3.2 --node "$STATION_MAC" --loss 0.02
run_ndxupgrade "$kit" "$work/lossy.log" --diagnose --local "$DEVICE_MAC" --remote "$STATION_MAC" --interface hl0
devsim_stop
cat "$work/lossy.log"
per=""
[ -f "$kit/Kernel/snr.tmp" ] && read -r snr per pe extra < "$kit/Kernel/snr.tmp"
check "lossy line: PER is the lost share" awk -v per="${per:-x}" 'BEGIN { exit !(per > 0.0199 && per < 0.0201) }'

rm -f "$kit/Kernel/snr.tmp"
devsim_start "$work/devsim.log" -M "$DEVICE_MAC" --fw-version 1.2.9 --node "$STATION_MAC"
run_ndxupgrade "$kit" "$work/gate.log" --diagnose --local "$DEVICE_MAC" --remote "$STATION_MAC" --interface hl0
devsim_stop
cat "$work/gate.log"
check "old firmware: exit status 1" [ "$status" -eq 1 ]
check "old firmware: refused by the version gate" \
    last_line_is "$work/gate.log" "Err: Diagnostic function only works on version >= 1.3.2"
check "old firmware: no transfer ran" is_absent "$kit/Kernel/snr.tmp"

verdict
