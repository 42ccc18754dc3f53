#!/bin/sh
# per_test.sh IP LOCALMAC REMOTEMAC PE LEN COUNT
# Certification transfer of COUNT packets of LEN bytes from the local station
# to the remote one at payload encoding PE (255 = the station's own choice).
# Leaves "SNR PER PE" in snr.tmp for the diagnostics page; leaves no snr.tmp
# when the run gives no result.
set -u

if [ $# -lt 6 ]; then
    echo "usage: per_test.sh IP LOCALMAC REMOTEMAC PE LEN COUNT" >&2
    exit 155
fi
ip="$1"
local_mac="$2"
remote_mac="$3"
pe="$4"
length="$5"
count="$6"
tool="../Tool"

script=$(mktemp "${TMPDIR:-/tmp}/per_test.XXXXXX") || exit 255
output=$(mktemp "${TMPDIR:-/tmp}/per_test-out.XXXXXX") || { rm -f "$script"; exit 255; }
trap 'rm -f "$script" "$output"' EXIT

cat > "$script" <<SCRIPT
ENABLE_CERT,$local_mac
ENABLE_CERT,$remote_mac
CONFIG_SEND,$local_mac
SA=$local_mac
DA=$remote_mac
dgen_type=1
dgen_data=0
length=$length
npkts=$count
numacks=1
txpe_test=$pe
CONFIG_SEND_END
CONFIG_RECEIVE,$remote_mac
SA=$local_mac
DA=$remote_mac
dgen_type=1
dgen_data=0
length=$length
CONFIG_RECEIVE_END
START_SEND,$local_mac
REPORT_STATS,$local_mac
REPORT_STATS,$remote_mac
DISABLE_CERT,$local_mac
DISABLE_CERT,$remote_mac
SCRIPT

# The transfer's second acknowledgement phase waits without limit, so the
# whole run is bounded here.
timeout 300 "$tool/hostlink" -c -M "$local_mac" -a "$ip" -s "$script" > "$output" 2>&1
status=$?
cat "$output"

# CERT columns: "TX: <4 counters> RX: SNR PER PE <9 counters>".
result=$(sed -n 's/.*RX: *\([^ ]*\) *\([^ ]*\) *\([^ ]*\).*/\1 \2 \3/p' "$output" | tail -n 1)
if [ -n "$result" ]; then
    echo "$result" > snr.tmp
fi
exit "$status"
