#!/bin/sh
# Frames written here byte by byte, each with the line the dissector must show
# for it: the pairing of requests and replies (by order) and of ZDP
# acknowledgements (by sequence number), the mailbox's words, PE and SNR
# decoding, write replies with and without their data, the address query and
# its answer in any form, the station and channel tables, and broken frames,
# which must carry their expert infos and never raise a Lua error.
. "$(dirname "$0")/tshark_lib.sh"

PC=02:00:00:00:00:0a
DEVICE=0a:3f:71:00:00:01
NODE=02:00:00:00:00:0b
BROADCAST=ff:ff:ff:ff:ff:ff

capture="$work/crafted.pcap"
expected="$work/expected.txt"
pcap_open "$capture"
: > "$expected"

be16() { printf '%04x' "$1"; }
le16() { printf '%02x%02x' $(($1 & 255)) $((($1 >> 8) & 255)); }
le32() { printf '%s%s' "$(le16 $(($1 & 65535)))" "$(le16 $((($1 >> 16) & 65535)))"; }
byte() { printf '%02x' "$1"; }
# pad HEX BYTES: HEX with zero bytes added up to BYTES bytes.
pad() {
    _hex="$1"
    while [ ${#_hex} -lt $(($2 * 2)) ]; do _hex="${_hex}00"; done
    echo "$_hex"
}
# hostif LENGTH OPCODE ADDRESS [DATA]: a host-interface message (from byte 14
# on) as the loader sends it: initial template bytes, 64-byte frame.
hostif() { pad "8001$(le16 "$1")000a3f710a$(byte "$2")00000000$(le32 "$3")${4:-}" 50; }
# seg TYPE LENGTH VALUE: a ZDP segment, zero-padded to a multiple of 4 bytes.
seg() { pad "$(be16 "$1")$(be16 "$2")$3" $(((4 + $2 + 3) / 4 * 4)); }
# zdp OPCODE SEQUENCE [SEGMENTS...]: a ZDP message with its length field and
# end marker, padded to a 60-byte frame.
zdp() {
    _opcode="$1"
    _sequence="$2"
    shift 2
    _segments=$(echo "$*" | tr -d ' ')
    pad "8002$(be16 $((10 + ${#_segments} / 2)))00$(byte "$_opcode")00000000$(be16 "$_sequence")${_segments}0000" 46
}
# frame SOURCE DESTINATION PAYLOAD EXPECTED: appends the frame to the capture
# and the line the dissector must show for it to the expectations. $number is
# the number of the frame appended last.
number=0
frame() {
    pcap_frame "$capture" "$(echo "$2$1" | tr -d ':')886c$3"
    echo "$1 > $2  $4" >> "$expected"
    number=$((number + 1))
}
# bare LENGTH OPCODE ADDRESS: a reply of the header alone in a 60-byte frame,
# as a device sends a write reply that does not carry the data back.
bare() { pad "8001$(le16 "$1")000a3f710a$(byte "$2")00000000$(le32 "$3")" 46; }
# repeat HEX COUNT: HEX COUNT times.
repeat() { awk -v hex="$1" -v n="$2" 'BEGIN { for (i = 0; i < n; i++) printf "%s", hex }'; }

# Host interface: the mailbox, paired by order.
frame $PC $DEVICE "$(hostif 16 3 0x8828 ffff0000)" \
    "Write request 0x00008828 (mailbox length), 4 bytes: 0x0000ffff [a full 64 KiB piece]  hostif.response_in=2"
frame $DEVICE $PC "$(hostif 16 3 0x8828 ffff0000)" \
    "Write reply 0x00008828 (mailbox length), 4 bytes written  hostif.request_in=1  hostif.written=4  hostif.echo=ffff0000"
frame $PC $DEVICE "$(hostif 16 3 0x8820 5d030000)" \
    "Write request 0x00008820 (mailbox command), 4 bytes: 0x0000035d [program EEPROM (860 + 1: large flag + piece)]"
# The same command resent stays an EEPROM command; the reply answers the resend.
frame $PC $DEVICE "$(hostif 16 3 0x8820 5d030000)" \
    "Write request 0x00008820 (mailbox command), 4 bytes: 0x0000035d [program EEPROM (860 + 1: large flag + piece)]  hostif.response_in=5"
frame $DEVICE $PC "$(hostif 16 3 0x8820 5d030000)" \
    "Write reply 0x00008820 (mailbox command), 4 bytes written  hostif.request_in=4  hostif.written=4  hostif.echo=5d030000"
# A late second reply has no request left to answer.
frame $DEVICE $PC "$(hostif 16 3 0x8820 5d030000)" \
    "Write reply 0x00008820 (mailbox command), 4 bytes written  hostif.written=4"
frame $PC $DEVICE "$(hostif 16 2 0x8824)" \
    "Read request 0x00008824 (mailbox status), 4 bytes  hostif.response_in=8"
frame $DEVICE $PC "$(hostif 16 2 0x8824 00000100)" \
    "Read reply 0x00008824 (mailbox status): 0x00010000 [65536 bytes programmed]  hostif.request_in=7"
# Without a length word since the last command, 851 programs flash piece 1.
frame $PC $DEVICE "$(hostif 16 3 0x8820 53030000)" \
    "Write request 0x00008820 (mailbox command), 4 bytes: 0x00000353 [program flash piece 1]  hostif.response_in=10"
frame $DEVICE $PC "$(hostif 16 3 0x8820 53030000)" \
    "Write reply 0x00008820 (mailbox command), 4 bytes written  hostif.request_in=9  hostif.written=4  hostif.echo=53030000"
frame $PC $DEVICE "$(hostif 16 2 0x8824)" \
    "Read request 0x00008824 (mailbox status), 4 bytes  hostif.response_in=12"
frame $DEVICE $PC "$(hostif 16 2 0x8824 12000000)" \
    "Read reply 0x00008824 (mailbox status): 0x00000012 [error 0x12]  hostif.request_in=11"
# Run code is never answered: the next frame from the device answers the read.
frame $PC $DEVICE "$(hostif 12 1 0x30000)" \
    "Run code request 0x00030000"
frame $PC $DEVICE "$(hostif 20 5 0x4)" \
    "Serial read request 0x00000004, 8 bytes  hostif.response_in=15"
frame $DEVICE $PC "$(hostif 20 5 0x4 0102030405060708)" \
    "Serial read reply 0x00000004, 8 bytes  hostif.request_in=14"

# The address query: a 32-byte broadcast, answered to the broadcast address.
query="0300$(echo "$(hostif 16 2 0)" | cut -c5-36)"
frame $PC $BROADCAST "$query" "Device address query  hostif.response_in=17"
frame $DEVICE $BROADCAST "0300$(echo "$(hostif 16 2 0)" | cut -c5-)" \
    "Device address query answer: 0a:3f:71:00:00:01  hostif.request_in=16  hostif.query.device=0a:3f:71:00:00:01"

# ZDP: acknowledgements found by sequence number, whatever their order.
frame $PC $NODE "$(zdp 0x10 1 "$(seg 0x10 1 2b)")" \
    "ZDP_OPCODE_CONFIGNODE seq=1  zdp.response_in=21  zdp.txpe=43  zdp.pe.bits=4  zdp.pe.baud=2  zdp.pe.mask=2"
frame $PC $NODE "$(zdp 0x17 2)" \
    "ZDP_OPCODE_REPORTSTATS seq=2  zdp.response_in=20"
# A receiver's statistics: counters, then demodulator samples. Only the first
# sample is valid (pe 1: 2 bits per symbol, baud 1, mask 1; sea / psc =
# 524288), which makes a mean of 1 and an SNR of 0 dB; pe 0 and psc 0 are not.
frame $NODE $PC "$(zdp 0 2 "$(seg 0x5 2 0001)" "$(seg 0x105 4 000003de)" "$(seg 0x107 4 0000000a)" \
    "$(seg 0x110 8 0000080001000100)" "$(seg 0x110 8 0000080001000000)" "$(seg 0x110 8 0000080000000100)")" \
    "ZDP_OPCODE_OK seq=2 (acknowledges ZDP_OPCODE_REPORTSTATS), statistics of a receiver  zdp.request_in=19  zdp.transfer_id=1  zdp.stats.recv_npkts=990  zdp.stats.recv_seq_miss=10  zdp.pe.bits=2,1,2  zdp.pe.baud=1,1,1  zdp.pe.mask=1,1,1  zdp.snr=0  zdp.snr.samples=1"
frame $NODE $PC "$(zdp 0 1)" \
    "ZDP_OPCODE_OK seq=1 (acknowledges ZDP_OPCODE_CONFIGNODE)  zdp.request_in=18"
frame $PC $NODE "$(zdp 0x12 3 "$(seg 0x5 2 0001)")" \
    "ZDP_OPCODE_STARTSEND seq=3  zdp.response_in=23  zdp.transfer_id=1"
frame $NODE $PC "$(zdp 1 3 "$(seg 0x1 1 05)")" \
    "ZDP_OPCODE_ERROR seq=3 (acknowledges ZDP_OPCODE_STARTSEND), error code 5  zdp.request_in=22  zdp.error_code=5"
frame $NODE $PC "$(zdp 0 99)" \
    "ZDP_OPCODE_OK seq=99"
frame $PC $NODE "$(zdp 0x11 4 "$(seg 0x81 6 0a3f71000001)" "$(seg 0x8b 1 ff)" "$(seg 0x8b 1 0b)")" \
    "ZDP_OPCODE_CONFIGSEND seq=4  zdp.sa=0a:3f:71:00:00:01  zdp.txpe_test=255,11  zdp.pe.bits=4  zdp.pe.baud=2  zdp.pe.mask=1"
frame $PC $NODE "$(zdp 0x30 5)" \
    "opcode 0x30 seq=5"

# Broken frames: expert infos, never a Lua error.
frame $PC $NODE "$(zdp 0x55 6)" \
    "UNKOWN seq=6  _ws.expert.message=Unknown opcode 0x55"
frame $PC $DEVICE "$(hostif 16 9 0x8000 01000000)" \
    "Opcode 9 request 0x00008000  _ws.expert.message=Unknown opcode 9"
frame $PC $DEVICE "$(hostif 268 3 0x28000 01020304)" \
    "Write request 0x00028000 (staging buffer), 256 bytes  _ws.expert.message=Length field 268 runs 224 bytes past the end of the frame"
frame $PC $DEVICE "$(hostif 8 2 0x8000)" \
    "Read request 0x00008000 (parameter image), 0 bytes  _ws.expert.message=Length field 8 is below the 12 header bytes it counts"
frame $PC $DEVICE "80011000000a3f710a02" \
    "Host-interface message, truncated  _ws.expert.message=Message header runs past the end of the frame"
frame $PC $NODE "8002000a00170000" \
    "ZDP test message, truncated  _ws.expert.message=ZDP header runs past the end of the frame"
# The length field counts 8 segment bytes, the segment claims 40 value bytes.
frame $PC $NODE "80020012001100000000000700870028000000010000" \
    "ZDP_OPCODE_CONFIGSEND seq=7  _ws.expert.message=Segment of type 0x0087 with 40 value bytes runs 36 bytes past the end of the message"
# The length field and the segment both run past the end of the frame.
frame $PC $NODE "8002003a001100000000000800870028000000010000" \
    "ZDP_OPCODE_CONFIGSEND seq=8  _ws.expert.message=Length field 58 runs 38 bytes past the end of the frame,Segment of type 0x0087 with 40 value bytes runs 34 bytes past the end of the frame"
frame $PC $NODE "8002000a0017000000000009000000" \
    "ZDP_OPCODE_REPORTSTATS seq=9"
frame $PC $DEVICE "8005000102" \
    "Unknown sub-protocol 80 05  _ws.expert.message=Unknown sub-protocol 80 05"
frame $PC $DEVICE "80" \
    "Frame ends before the sub-protocol bytes  _ws.expert.message=Frame ends before the sub-protocol bytes"

# Write replies are read from their request: the length field counts the
# bytes written, the data need not follow. A reply of the header alone in a
# 60-byte frame is whole, and what follows its header is padding; a reply
# that carries the written bytes back shows them as such.
frame $PC $DEVICE "$(hostif 16 3 0xe00018 03000000)" \
    "Write request 0x00e00018 (boot mode), 4 bytes: 0x00000003  hostif.response_in=$((number + 2))"
bare_reply=$((number + 1))
frame $DEVICE $PC "$(bare 16 3 0xe00018)" \
    "Write reply 0x00e00018 (boot mode), 4 bytes written  hostif.request_in=$number  hostif.written=4"
block=$(repeat 5aa5 128)
frame $PC $DEVICE "$(hostif 268 3 0x28100 "$block")" \
    "Write request 0x00028100 (staging buffer +0x100), 256 bytes  hostif.response_in=$((number + 2))"
bare_block_reply=$((number + 1))
frame $DEVICE $PC "$(bare 268 3 0x28100)" \
    "Write reply 0x00028100 (staging buffer +0x100), 256 bytes written  hostif.request_in=$number  hostif.written=256"
frame $PC $DEVICE "$(hostif 18 6 0x10 1234)" \
    "Serial write request 0x00000010, 6 bytes  hostif.response_in=$((number + 2))"
frame $DEVICE $PC "$(hostif 18 6 0x10 1234)" \
    "Serial write reply 0x00000010, 6 bytes written  hostif.request_in=$number  hostif.written=6  hostif.echo=123400000000"
# A device that reports fewer bytes written, and one that reports more.
frame $PC $DEVICE "$(hostif 20 3 0x8060 0a3f71000007)" \
    "Write request 0x00008060 (MAC address), 8 bytes  hostif.response_in=$((number + 2))"
frame $DEVICE $PC "$(hostif 18 3 0x8060 0a3f71000007)" \
    "Write reply 0x00008060 (MAC address), 6 bytes written  hostif.request_in=$number  hostif.written=6  hostif.echo=0a3f71000007"
frame $PC $DEVICE "$(hostif 14 3 0x809a 0001)" \
    "Write request 0x0000809a (parameter-section flags), 2 bytes  hostif.response_in=$((number + 2))"
overcount_reply=$((number + 1))
frame $DEVICE $PC "$(bare 16 3 0x809a)" \
    "Write reply 0x0000809a (parameter-section flags), 4 bytes written  _ws.expert.message=Write reply counts 4 bytes written; the request wrote 2  hostif.request_in=$number  hostif.written=4"

# The address query answered in the host-interface form (80 01 and zeros):
# the first frame another station sends to the broadcast address after the
# query answers it, whatever its bytes 14-15; a frame to the PC does not.
frame $PC $BROADCAST "$query" "Device address query  hostif.response_in=$((number + 4))"
frame $NODE $PC "$(zdp 0 98)" "ZDP_OPCODE_OK seq=98"
frame $DEVICE $PC "$(bare 16 3 0x8000)" "Write reply 0x00008000 (parameter image), 4 bytes written  hostif.written=4"
late_bare_reply=$number
frame $DEVICE $BROADCAST "$(pad 8001 46)" \
    "Device address query answer: 0a:3f:71:00:00:01  hostif.request_in=$((number - 2))  hostif.query.device=0a:3f:71:00:00:01"
# A query is over once its sender sends again: an answer after that belongs
# to no query, and a broadcast of another form is no answer at all.
frame $PC $BROADCAST "$query" "Device address query"
frame $PC $DEVICE "$(hostif 12 1 0x30000)" "Run code request 0x00030000"
frame $DEVICE $BROADCAST "$query" \
    "Device address query answer: 0a:3f:71:00:00:01  hostif.query.device=0a:3f:71:00:00:01"
# The query frame is 32 bytes long; one cut short is flagged.
frame $PC $BROADCAST "$(echo "$query" | cut -c1-34)" \
    "Device address query  _ws.expert.message=Address query ends after 17 of its 18 bytes"
truncated_query=$number

# The station and channel tables, read entry by entry. A station entry names
# a station when its two addresses (bytes 20-25, 26-31) are equal and not
# zero; a channel entry is in use while bit 7 of byte 21 is clear.
station_entry() { pad "$(repeat 00 20)$1$2" 44; }
# channel_entry PEER OWN STATUS PE PE_OFFSET SIZE
channel_entry() {
    _entry="$(repeat 00 8)$1$2$(repeat 00 1)$3"
    _entry="$(pad "$_entry" "$5")$4"
    pad "$_entry" "$6"
}
read_pair() {
    frame $PC $DEVICE "$(pad "$(hostif $((12 + $1)) 2 "$2")" $((18 + $1)))" "Read request $(printf '0x%08x' "$2") ($3), $1 bytes  hostif.response_in=$((number + 2))"
    frame $DEVICE $PC "$(hostif $((12 + $1)) 2 "$2" "$4")" \
        "Read reply $(printf '0x%08x' "$2") ($3)$5  hostif.request_in=$number${6:-}"
}
read_pair 4 0x80002070 "station count" 00000300 ": 0x00030000 [3 stations]" "  hostif.station.count=3"
read_pair 44 0x8000d000 "station table entry 0" "$(station_entry 02000000000b 02000000000b)" \
    ", 44 bytes [station 02:00:00:00:00:0b]" "  hostif.station=02:00:00:00:00:0b"
read_pair 44 0x8000d02c "station table entry 1" "$(station_entry 02000000000b 02000000000c)" \
    ", 44 bytes [no station: the addresses differ]"
read_pair 44 0x8000d058 "station table entry 2" "$(station_entry 000000000000 000000000000)" \
    ", 44 bytes [no station]"
read_pair 56 0x80007038 "transmit channel table entry 1" \
    "$(channel_entry 02000000000b 0a3f71000001 7f 0b 47 56)" \
    ", 56 bytes [SA 0a:3f:71:00:00:01 DA 02:00:00:00:00:0b PE 11]" \
    "  hostif.chan.sa=0a:3f:71:00:00:01  hostif.chan.da=02:00:00:00:00:0b  hostif.chan.pe=11"
read_pair 60 0x80008000 "receive channel table entry 0" \
    "$(channel_entry 02000000000b 0a3f71000001 80 0b 38 60)" ", 60 bytes [not in use]" \
    "  hostif.chan.sa=02:00:00:00:00:0b  hostif.chan.da=0a:3f:71:00:00:01  hostif.chan.pe=11"
read_pair 60 0x8000803c "receive channel table entry 1" \
    "$(channel_entry 02000000000c 0a3f71000001 00 2b 38 60)" \
    ", 60 bytes [SA 02:00:00:00:00:0c DA 0a:3f:71:00:00:01 PE 43]" \
    "  hostif.chan.sa=02:00:00:00:00:0c  hostif.chan.da=0a:3f:71:00:00:01  hostif.chan.pe=43"
# The other addresses the device is known by.
for named in "0x38ab4 hardware initialization" "0x3aab4 system table descriptors" \
    "0x3aad8 system table descriptor 3" "0x80ac parameter image +0xac" "0xe04f88 test transmitter PE" \
    "0xe04fb8 test packet length MSB" "0xe04fbc test packet length LSB" "0xe04020 test transmitter mask"; do
    address=${named%% *}
    frame $PC $DEVICE "$(hostif 16 2 "$address")" "Read request $(printf '0x%08x' "$address") (${named#* }), 4 bytes"
    frame $PC $DEVICE "$(hostif 12 1 0x30000)" "Run code request 0x00030000"
done

fields_text "$capture" "$work/decoded.txt" _ws.expert.message \
    hostif.request_in hostif.response_in hostif.written hostif.echo hostif.query.device hostif.station.count \
    hostif.station hostif.chan.sa hostif.chan.da hostif.chan.pe \
    zdp.request_in zdp.response_in zdp.transfer_id zdp.txpe \
    zdp.sa zdp.txpe_test zdp.error_code zdp.stats.recv_npkts zdp.stats.recv_seq_miss \
    zdp.pe.bits zdp.pe.baud zdp.pe.mask zdp.snr zdp.snr.samples ||
    fail "tshark decodes the crafted capture"
check "every crafted frame shows its expected line" diff -u "$expected" "$work/decoded.txt"

# Malformed are exactly the frames whose bytes contradict themselves; a frame
# of an unknown sub-protocol or opcode is not. No frame raises a Lua error.
decode "$work/malformed.txt" -r "$capture" -Y _ws.malformed -T fields -e frame.number || fail "tshark filters the crafted capture"
check "malformed are the frames with bad lengths or cut short" \
    [ "$(echo $(cat "$work/malformed.txt"))" = "29 30 31 32 33 34 37 $truncated_query" ]
decode "$work/errors.txt" -r "$capture" -Y '_ws.expert.severity >= "Error"' -T fields -e frame.number ||
    fail "tshark filters the crafted capture"
check "only malformed frames carry an error" cmp -s "$work/malformed.txt" "$work/errors.txt"
# What follows a write reply's header is never data.
decode "$work/write_data.txt" -r "$capture" -Y 'hostif.written && (hostif.data || hostif.word)' -T fields -e frame.number ||
    fail "tshark filters the crafted capture"
check "no write reply shows data besides the bytes it echoes" [ ! -s "$work/write_data.txt" ]
decode "$work/padding.txt" -r "$capture" -Y 'hostif.written && hostif.padding && !hostif.echo' -T fields -e frame.number ||
    fail "tshark filters the crafted capture"
check "the replies of the header alone (and the late one) end in padding" \
    [ "$(echo $(cat "$work/padding.txt"))" = "6 $bare_reply $bare_block_reply $overcount_reply $late_bare_reply" ]
decode "$work/lua_errors.txt" -r "$capture" -Y _ws.lua.error -T fields -e frame.number -e _ws.lua.error || fail "tshark filters the crafted capture"
check "no frame raises a Lua error" [ ! -s "$work/lua_errors.txt" ]
cat "$work/lua_errors.txt"

# Random frames of every sub-protocol (a fixed seed; bytes biased to zero and
# small values so that length fields and segments stay within reach) never
# raise a Lua error, and every one of them is decoded.
pcap_open "$work/random.pcap"
awk 'BEGIN {
    srand(18)
    split("8001 8002 0300 8005", types, " ")
    for (n = 0; n < 300; n++) {
        line = "0a3f7100000102000000000a886c" types[1 + int(rand() * 4)]
        for (size = int(rand() * 100); size > 0; size--) {
            r = rand()
            line = line sprintf("%02x", r < 0.4 ? 0 : (r < 0.7 ? int(rand() * 16) : int(rand() * 256)))
        }
        print line
    }
}' > "$work/random.hex"
pcap_frames "$work/random.pcap" < "$work/random.hex"
decode "$work/random.txt" -r "$work/random.pcap" -Y '_ws.lua.error || !hpnadev' -T fields -e frame.number -e _ws.lua.error ||
    fail "tshark filters the random capture"
check "300 random frames decode without a Lua error" [ ! -s "$work/random.txt" ]
head -5 "$work/random.txt"
verdict
