#!/bin/sh
# per_test.sh IP LOCALMAC REMOTEMAC PE LEN COUNT
# Certification transfer of COUNT packets of LEN bytes from the local station
# to the remote one at payload encoding PE (255 = the station's own choice).
# Leaves "SNR PER PE" in snr.tmp for the diagnostics page; leaves no snr.tmp
# when the run gives no result.
set -u

is_mac() {
    case "$1" in
        [0-9A-Fa-f][0-9A-Fa-f]-[0-9A-Fa-f][0-9A-Fa-f]-[0-9A-Fa-f][0-9A-Fa-f]-[0-9A-Fa-f][0-9A-Fa-f]-[0-9A-Fa-f][0-9A-Fa-f]-[0-9A-Fa-f][0-9A-Fa-f]) return 0 ;;
        [0-9A-Fa-f][0-9A-Fa-f]:[0-9A-Fa-f][0-9A-Fa-f]:[0-9A-Fa-f][0-9A-Fa-f]:[0-9A-Fa-f][0-9A-Fa-f]:[0-9A-Fa-f][0-9A-Fa-f]:[0-9A-Fa-f][0-9A-Fa-f]) return 0 ;;
    esac
    return 1
}

is_decimal() {
    case "$1" in
        '' | *[!0-9]*) return 1 ;;
    esac
    [ "${#1}" -le 9 ]
}

# The PE word is whatever the technician typed: a text of several words
# shifts the fixed numbers behind it, and anything but a number would end up
# in the loader's script, so such a run is refused.
if [ $# -ne 6 ] || ! is_mac "$2" || ! is_mac "$3" || ! is_decimal "$4" || ! is_decimal "$5" \
    || ! is_decimal "$6" || [ "$4" -gt 255 ]; then
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

# Every station address carries an acknowledgement time-out. The loader's
# default of 1000 ms ends its polling when the calendar second changes, so a
# stray acknowledgement of the transfer, taken first, could leave a request
# that is answered at once reported as unanswered near a second's end.
ack_ms=3000
local_node="$local_mac $ack_ms"
remote_node="$remote_mac $ack_ms"

# The temporary files go whatever ends the script; a closed output does not
# end it half-way.
script=""
output=""
trap 'rm -f ${script:+"$script"} ${output:+"$output"}' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP
trap '' PIPE
script=$(mktemp "${TMPDIR:-/tmp}/per_test.XXXXXX") || exit 255
output=$(mktemp "${TMPDIR:-/tmp}/per_test-out.XXXXXX") || exit 255

cat > "$script" <<SCRIPT
ENABLE_CERT,$local_node
ENABLE_CERT,$remote_node
CONFIG_SEND,$local_node
SA=$local_node
DA=$remote_node
dgen_type=1
dgen_data=0
length=$length
npkts=$count
numacks=1
txpe_test=$pe
CONFIG_SEND_END
CONFIG_RECEIVE,$remote_node
SA=$local_node
DA=$remote_node
dgen_type=1
dgen_data=0
length=$length
CONFIG_RECEIVE_END
START_SEND,$local_node
REPORT_STATS,$local_node
REPORT_STATS,$remote_node
DISABLE_CERT,$local_node
DISABLE_CERT,$remote_node
SCRIPT

# The transfer's second acknowledgement phase waits without limit, so the
# whole run is bounded here.
timeout 300 "$tool/hostlink" -c -M "$local_mac" -a "$ip" -s "$script" > "$output" 2>&1
status=$?
cat "$output"
# The CERT columns end without a line end.
[ -n "$(tail -c 1 "$output")" ] && echo

# CERT columns of the transmitter's report followed by the receiver's, on one
# line: "TX: <4 counters> RX: SNR PER PE <9 counters>". Only a line with both
# reports is a result: a receiver's report alone (the transmitter's went
# unanswered) starts with counters, which must not be taken for SNR and PER.
result=$(awk '
    {
        tx = index($0, "TX:")
        rx = index($0, "RX:")
        if (tx == 0 || rx < tx) next
        n = split(substr($0, rx + 3), f, " ")
        if (n >= 3 && f[1] ~ /^-?[0-9]+[.][0-9]+$/ && f[2] ~ /^[0-9][.][0-9]+e[-+][0-9]+$/ && f[3] ~ /^-?[0-9]+$/)
            result = f[1] " " f[2] " " f[3]
    }
    END { if (result != "") print result }' "$output")
if [ -n "$result" ]; then
    echo "$result" > snr.tmp
fi
exit "$status"
