#!/bin/sh
# End to end: hostlink runs one job against devsim inside the test namespace
# (testbed/netns/run_in_netns.sh: hl0 = PC side, dv0 = device side), devsim
# records the wire, and tshark decodes the capture with the dissector. The
# capture must decode cleanly (nothing malformed, no expert info, everything
# paired) and its golden fields must equal the committed file.
#
#   capture_test.sh CASE    CASE: memory_script, flash, network_test, statistics,
#                                 bare_replies
#
# bare_replies: a device whose write replies are the header alone and whose
# answer to the address query carries 80 01 and zeros, as devices other than
# devsim's default may send them.
#
# Environment: that of tshark_lib.sh, and GOLDEN_DIR (the golden files).
# UPDATE_GOLDEN=1 rewrites the golden file from this run.
. "$(dirname "$0")/tshark_lib.sh"

case_name="${1:?which case}"
golden="${GOLDEN_DIR:?GOLDEN_DIR must name the golden files}/$case_name.txt"
script="$work/script.txt"
capture="$work/$case_name.pcap"

PC=02:00:00:00:00:0a
DEVICE=0a:3f:71:00:00:01
NODE_B=02:00:00:00:00:0b
NODE_C=02:00:00:00:00:0c

# The frames carry the PC's address, so it is fixed rather than the random one
# the kernel gave the veth end.
ip link set hl0 address "$PC" || { echo "FAIL: cannot set the address of hl0"; exit 1; }

# pattern_file FILE COUNT: COUNT bytes that count up from 0 (modulo 256).
pattern_file() {
    awk -v n="$2" 'BEGIN { for (i = 0; i < n; i++) printf "\\%03o", i % 256 }' > "$work/pattern.fmt"
    # shellcheck disable=SC2059
    printf "$(cat "$work/pattern.fmt")" > "$1"
}

hostlink_options=""
case "$case_name" in
memory_script)
    devsim_options="--reset-ms 20 --busy-ms 20 --reply-header 01:02:03:04:05:06:07:08:09"
    cat > "$script" <<EOF
W,8000,12345678
R,8000
WRITE_BLOCK,8010,01 02 03 04 05 06
READ_BLOCK_F,8010,block.bin,6
A,3,55
I,3
QUERY_MAC,0
GET_VERSION,0
QUERY_STATUS,0
RESET,1
G,0
EOF
    ;;
flash)
    devsim_options="--flash $work/flash.img --eeprom $work/eeprom.img --erase-ms 20 --program-ms 5"
    pattern_file "$work/flash.bin" 600
    pattern_file "$work/eeprom.bin" 300
    cat > "$script" <<EOF
PROG_F,0,flash.bin
PROG_E,0,eeprom.bin
EOF
    ;;
network_test)
    devsim_options="--node $NODE_B --node $NODE_C --loss 0.1 --snr 25 --pe 11 --seed 7 --ack-gap-ms 5"
    cat > "$script" <<EOF
TEST_NETWORK,$DEVICE
dgen_type=1
length=64
npkts=200
numacks=1
TEST_NETWORK_END
EOF
    ;;
statistics)
    devsim_options="--node $NODE_B --loss 0.05 --snr 30 --seed 3 --ack-gap-ms 5"
    hostlink_options="-c"
    cat > "$script" <<EOF
ENABLE_CERT,$DEVICE
ENABLE_CERT,$NODE_B
CONFIG_NODE,$DEVICE
txpe=43
txpri=2
CONFIG_NODE_END
CONFIG_SEND,$DEVICE
SA=$DEVICE
DA=$NODE_B
dgen_type=1
length=100
npkts=500
numacks=1
txpe_test=11
CONFIG_SEND_END
CONFIG_RECEIVE,$NODE_B
SA=$DEVICE
DA=$NODE_B
dgen_type=1
length=100
CONFIG_RECEIVE_END
START_SEND,$DEVICE 5000
REPORT_STATS,$DEVICE 3000
REPORT_STATS,$NODE_B 3000
RESET_STATS,$NODE_B 3000
DISABLE_CERT,$DEVICE
DISABLE_CERT,$NODE_B
EOF
    ;;
bare_replies)
    devsim_options="--bare-write-replies --query-answer-hostif --node $NODE_B --pe 11
        --flash $work/flash.img --erase-ms 20 --program-ms 5"
    pattern_file "$work/flash.bin" 300
    cat > "$script" <<EOF
W,8000,12345678
R,8000
WRITE_BLOCK,8010,01 02 03 04 05 06
A,3,55
QUERY_MAC,0
SET_MAC,0,0a:3f:71:00:00:07
GET_STATIONS,$DEVICE
GET_TX_CHAN_TABLE,0
GET_RX_CHAN_TABLE,0
PROG_F,0,flash.bin
EOF
    ;;
*)
    echo "FAIL: unknown case $case_name"
    exit 1
    ;;
esac

# shellcheck disable=SC2086 # the option lists are split on purpose
devsim_start "$work/devsim.log" --capture "$capture" $devsim_options
# shellcheck disable=SC2086
(cd "$work" && timeout -k 5 60 "$BUILD_DIR/bin/hostlink" -m 1 -a 192.0.2.2 $hostlink_options -s "$script") \
    > "$work/hostlink.log" 2>&1 < /dev/null
status=$?
devsim_stop

ran_cleanly() { [ "$status" -eq 0 ] && ! grep -q -e ERROR -e Failure "$work/hostlink.log"; }
if ! ran_cleanly; then
    echo "hostlink (status $status):"
    cat "$work/hostlink.log"
fi
check "$case_name: hostlink ran the job without failure" ran_cleanly
check "$case_name: devsim's capture is a classic pcap file of Ethernet frames" is_classic_ethernet_pcap "$capture"
check "$case_name: every frame decodes, none malformed, all paired" decodes_cleanly "$capture"
if [ "$case_name" = bare_replies ]; then
    check "$case_name: the write replies carry no data" \
        filter_counts "$capture" 'hostif.written' 'hostif.written && (hostif.echo || hostif.data)' 0
    check "$case_name: the address query's answer is in the 80 01 form" \
        filter_counts "$capture" 'hostif.query.device' 'hostif.query.device && hpnadev.type == 0x8001' same
fi
check "$case_name: the decoded fields match $golden" compare_golden "$capture" "$golden"
verdict
