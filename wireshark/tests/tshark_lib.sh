# Shared by the dissector's tests: tshark with the dissector from the source
# tree, the checks every decoded capture must pass, golden field files and a
# small pcap writer. Builds on testbed/kit_tests/kit_test_lib.sh for check,
# verdict, the work directory and devsim_start/devsim_stop.
#
# Environment: BUILD_DIR (the build tree), DISSECTOR (the Lua file),
# TESTBED_DIR (testbed/ of the source tree), TSHARK (default: tshark).
# UPDATE_GOLDEN=1 makes compare_golden rewrite the golden file instead.
. "${TESTBED_DIR:?TESTBED_DIR must name testbed/}/kit_tests/kit_test_lib.sh"

: "${DISSECTOR:?DISSECTOR must name the Lua dissector}"
TSHARK="${TSHARK:-tshark}"

if ! command -v "$TSHARK" > /dev/null 2>&1; then
    echo "FAIL: $TSHARK not found (make deps installs Debian's tshark)"
    exit 1
fi

# tshark reads plugins and preferences from the home directory; a private one
# keeps the user's own (a dissector installed there, say) out of the tests.
mkdir -p "$work/home"

# run_tshark OUT ARGS...: tshark with ARGS (no dissector added), standard
# output into OUT. Fails when tshark fails or writes anything to standard error
# besides the warning it gives whenever it runs as root (as in CI): a Lua error
# while loading the dissector appears there and nowhere else.
run_tshark() {
    _out="$1"
    shift
    HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" "$TSHARK" "$@" > "$_out" 2> "$work/tshark.err"
    _status=$?
    grep -v -e '^Running as user .*This could be dangerous' -e '^[[:space:]]*$' "$work/tshark.err" > "$work/tshark.problems"
    if [ "$_status" -ne 0 ] || [ -s "$work/tshark.problems" ]; then
        echo "tshark $* (status $_status):"
        cat "$work/tshark.problems"
        return 1
    fi
}

# decode OUT ARGS...: tshark with the dissector in place, two passes (so a
# request shows the frame of its reply), no name resolution.
decode() {
    _out="$1"
    shift
    run_tshark "$_out" -n -2 -X "lua_script:$DISSECTOR" "$@"
}

# fields_text CAPTURE OUT FIELD...: one line per frame: the Ethernet source and
# destination, the Info column, then every other FIELD that the frame has, as
# name=value (several occurrences joined by commas).
fields_text() {
    _capture="$1"
    _text="$2"
    shift 2
    _capture_fields="$work/fields.tsv"
    set -- -e eth.src -e eth.dst -e _ws.col.Info $(printf -- '-e %s ' "$@")
    decode "$_capture_fields" -r "$_capture" -T fields -E header=y -E separator=/t "$@" || return 1
    awk -F '\t' '
        NR == 1 { for (i = 1; i <= NF; i++) name[i] = $i; next }
        {
            line = $1 " > " $2 "  " $3
            for (i = 4; i <= NF; i++) if ($i != "") line = line "  " name[i] "=" $i
            print line
        }' "$_capture_fields" > "$_text"
}

# Fields of the golden files: what identifies each message and the values it
# carries, but nothing that depends on timing (no times, no frame numbers, no
# elapsed-time counters).
GOLDEN_FIELDS="hostif.carried1 hostif.carried2 hostif.query.device
zdp.transfer_id zdp.txpe zdp.txpri zdp.sa zdp.da zdp.dgen_type zdp.dgen_data zdp.payload_length
zdp.npkts zdp.burst_int zdp.burst_npkts zdp.numacks zdp.txpe_test zdp.txpri_test zdp.error_code
zdp.stats.xmt_npkts zdp.stats.xmt_nbytes zdp.stats.xmt_nerrs
zdp.stats.recv_npkts zdp.stats.recv_nbytes zdp.stats.recv_seq_miss zdp.stats.recv_seq_err
zdp.stats.recv_data_err zdp.stats.recv_err zdp.stats.recv_fcs_err zdp.stats.recv_hdr_err
zdp.sample.pe zdp.snr zdp.snr.samples"

# compare_golden CAPTURE GOLDEN: the decoded golden fields, each distinct line
# once, in the order of its first frame, equal the committed file. Keeping
# first occurrences only makes the result independent of how often a request
# was resent or a status polled.
compare_golden() {
    # shellcheck disable=SC2086 # the field list is split on purpose
    fields_text "$1" "$work/decoded.txt" $GOLDEN_FIELDS || return 1
    awk '!seen[$0]++' "$work/decoded.txt" > "$work/golden.txt"
    if [ "${UPDATE_GOLDEN:-}" = 1 ]; then
        cp "$work/golden.txt" "$2" && echo "golden file rewritten: $2"
        return
    fi
    diff -u "$2" "$work/golden.txt"
}

# Frames that no well-formed capture of the system may hold: malformed ones,
# Lua errors, expert infos of any kind, frames the dissector left alone, ZDP
# requests and acknowledgements left unpaired, and host-interface replies
# paired with a request for another operation or address.
SUSPECT_FRAMES='_ws.malformed || _ws.lua.error || _ws.expert || !hpnadev
 || (zdp.opcode > 1 && !zdp.response_in) || (zdp.opcode <= 1 && !zdp.request_in)
 || (hostif.request_in && (hostif.request_opcode != hostif.opcode || hostif.request_address != hostif.address))'

# decodes_cleanly CAPTURE: the capture holds frames and none of them is suspect.
decodes_cleanly() {
    decode "$work/frames.txt" -r "$1" -T fields -e frame.number || return 1
    if [ ! -s "$work/frames.txt" ]; then
        echo "no frames in $1"
        return 1
    fi
    decode "$work/suspect.txt" -r "$1" -Y "$SUSPECT_FRAMES" -T fields \
        -e frame.number -e _ws.col.Info -e _ws.expert.message -e _ws.lua.error || return 1
    if [ -s "$work/suspect.txt" ]; then
        cat "$work/suspect.txt"
        return 1
    fi
}

# filter_counts CAPTURE FILTER SUBSET EXPECTED: FILTER matches frames and
# SUBSET matches EXPECTED of them (a number, or "same": all of them).
filter_counts() {
    decode "$work/filter.txt" -r "$1" -T fields -e frame.number -Y "$2" || return 1
    decode "$work/subset.txt" -r "$1" -T fields -e frame.number -Y "$3" || return 1
    _all=$(wc -l < "$work/filter.txt")
    _subset=$(wc -l < "$work/subset.txt")
    echo "  $2: $_all frames; $3: $_subset"
    [ "$_all" -gt 0 ] && [ "$_subset" -eq "$([ "$4" = same ] && echo "$_all" || echo "$4")" ]
}

# is_classic_ethernet_pcap FILE: a pcap file (not pcapng), version 2.4, of
# link type Ethernet, as hostlink's dump files and devsim's captures are.
is_classic_ethernet_pcap() {
    _header=$(od -An -v -tx1 -N24 "$1" | tr -d ' \n')
    [ "${_header%"${_header#????????????????}"}" = d4c3b2a102000400 ] && [ "${_header#????????????????????????????????????????}" = 01000000 ]
}

# Tiny pcap writer: pcap_open FILE, then pcap_frame FILE HEX for one frame or
# pcap_frames FILE for one frame per line of standard input (each the whole
# Ethernet frame as hex digits; blanks allowed).
pcap_frames() {
    awk '
        function le32(n) { return sprintf("%02x%02x%02x%02x", n % 256, int(n / 256) % 256, int(n / 65536) % 256, int(n / 16777216) % 256) }
        {
            frame = tolower($0); gsub(/[^0-9a-f]/, "", frame)
            record = le32(1700000000) le32(NR) le32(length(frame) / 2) le32(length(frame) / 2) frame
            for (i = 1; i < length(record); i += 2)
                printf "\\%03o", (index("0123456789abcdef", substr(record, i, 1)) - 1) * 16 \
                    + index("0123456789abcdef", substr(record, i + 1, 1)) - 1
        }' > "$work/pcap.fmt"
    # shellcheck disable=SC2059 # the format is the octal escapes of the bytes
    printf "$(cat "$work/pcap.fmt")" >> "$1"
}
pcap_frame() { echo "$2" | pcap_frames "$1"; }
pcap_open() {
    printf '\324\303\262\241\002\000\004\000\000\000\000\000\000\000\000\000\377\377\000\000\001\000\000\000' > "$1"
}
