# The checks of hardware_test.sh and their helpers; sourced by it. Each
# check_NAME sets `result` (PASS, FAIL, SKIP or INFO for a figure) and
# `detail` (one line for the table). Everything a check runs is bounded by a
# time limit; every program's output goes to a log in $logs.

# ---- settings

is_mac() {
    case "$1" in
    [0-9A-Fa-f][0-9A-Fa-f]-[0-9A-Fa-f][0-9A-Fa-f]-[0-9A-Fa-f][0-9A-Fa-f]-[0-9A-Fa-f][0-9A-Fa-f]-[0-9A-Fa-f][0-9A-Fa-f]-[0-9A-Fa-f][0-9A-Fa-f]) return 0 ;;
    [0-9A-Fa-f][0-9A-Fa-f]:[0-9A-Fa-f][0-9A-Fa-f]:[0-9A-Fa-f][0-9A-Fa-f]:[0-9A-Fa-f][0-9A-Fa-f]:[0-9A-Fa-f][0-9A-Fa-f]:[0-9A-Fa-f][0-9A-Fa-f]) return 0 ;;
    esac
    return 1
}

# The loader prints MACs as 0a:3f:71:00:00:07; the kit scripts and the
# upgrade tool take 0A-3F-71-00-00-07.
mac_colons() { echo "$1" | tr 'A-F-' 'a-f:'; }
mac_dashes() { echo "$1" | tr 'a-f:' 'A-F-'; }

# Hexadecimal, at most eight digits, optional 0x, a multiple of 4.
is_hex_address() {
    _digits=${1#0[xX]}
    case "$_digits" in
    '' | *[!0-9A-Fa-f]*) return 1 ;;
    esac
    [ "${#_digits}" -le 8 ] && [ $((0x$_digits % 4)) -eq 0 ]
}

is_decimal() {
    case "$1" in
    '' | *[!0-9]*) return 1 ;;
    esac
    [ "${#1}" -le 7 ]
}

# One request carries the whole scratch area; the loader's blocks stop at 1400.
is_scratch_length() { is_decimal "$1" && [ "$1" -ge 4 ] && [ "$1" -le 1400 ] && [ $(($1 % 4)) -eq 0 ]; }
is_count() { is_decimal "$1" && [ "$1" -ge 1 ] && [ "$1" -le 1000000 ]; }

selected() {
    case " $only " in
    *" $1 "*) return 0 ;;
    esac
    return 1
}

now_ms() { date +%s%3N; }

# ---- programs

# hostlink_script NAME LINE...: writes the memory script work/NAME.txt.
hostlink_script() {
    _name="$1"
    shift
    printf '%s\n' "$@" > "$work/$_name.txt"
}

# run_hostlink NAME SECONDS: runs work/NAME.txt at debug level 3 from the run
# folder (file names in scripts are relative to it; a name cannot hold a
# comma, a folder path might); output in logs/NAME.log; sets `status`.
# --foreground keeps the loader in this script's process group, so that a
# Ctrl-C reaches it at once.
run_hostlink() {
    (cd "$OUT" && exec timeout --foreground -k 5 "$2" "$HOSTLINK" -d 3 -M "$MAC" -a "$address" \
        -s "work/$1.txt") > "$logs/$1.log" 2>&1 < /dev/null
    status=$?
}

# Sets `loader_problem` and fails when hostlink cannot capture on IFACE, with
# its own diagnosis (which names the remedy when the rights are missing).
loader_can_capture() {
    hostlink_script probe "PRINT,0,capture works"
    run_hostlink probe 30
    [ "$status" -eq 0 ] && return 0
    loader_problem=$(grep '^hostlink: cannot capture' "$logs/probe.log" | head -n 1)
    # The loader's statuses are negative numbers; the shell sees them modulo 256.
    _signed=$status
    [ "$status" -le 127 ] || _signed=$((status - 256))
    [ -n "$loader_problem" ] || loader_problem="hostlink ended with status $_signed: $(tail -n 3 "$logs/probe.log")"
    return 1
}

# The build's kit, installed into the run folder. Its loader is the build's
# own (a link), so that capture rights given to that binary hold here too.
build_kit=""
kit_problem=""
need_build_kit() {
    [ -n "$build_kit" ] && return 0
    if ! "${CMAKE:-cmake}" --install "$build" --prefix "$work/kit" > "$logs/kit-install.log" 2>&1; then
        kit_problem="the kit could not be installed from $build (logs/kit-install.log)"
        return 1
    fi
    ln -sf "$HOSTLINK" "$work/kit/Tool/hostlink" || return 1
    build_kit="$work/kit"
}

# run_in_kit DIR NAME SECONDS PROGRAM ARGS...: a kit program run from DIR,
# output in logs/NAME.log; sets `status`.
run_in_kit() {
    _dir="$1"
    _name="$2"
    _limit="$3"
    shift 3
    (cd "$_dir" && exec timeout --foreground -k 5 "$_limit" "$@") > "$logs/$_name.log" 2>&1 < /dev/null
    status=$?
}

# run_to_the_end DIR NAME SECONDS PROGRAM ARGS...: as run_in_kit, but a
# Ctrl-C does not reach the program: it runs in the background (which starts
# with SIGINT ignored) in a session of its own, and a Ctrl-C only interrupts
# the waiting for it, which then goes on.
run_to_the_end() {
    _dir="$1"
    _name="$2"
    _limit="$3"
    shift 3
    _session=""
    command -v setsid > /dev/null 2>&1 && _session=setsid
    (cd "$_dir" && exec $_session timeout -k 5 "$_limit" "$@") > "$logs/$_name.log" 2>&1 < /dev/null &
    _pid=$!
    while :; do
        wait "$_pid"
        status=$?
        kill -0 "$_pid" 2> /dev/null || break
    done
}

# ---- capture file

capture=""
capture_note=""
start_capture() {
    if ! command -v dumpcap > /dev/null 2>&1; then
        capture_note="none written: dumpcap is not installed (Debian package wireshark-common, which tshark brings)"
        return
    fi
    # A session of its own: a Ctrl-C must not end the capture before the
    # scratch area has been written back.
    _session=""
    command -v setsid > /dev/null 2>&1 && _session=setsid
    : > "$logs/dumpcap.log"
    $_session dumpcap -q -P -i "$IFACE" -f "ether proto 0x886c" -w "$OUT/capture.pcap" \
        > "$logs/dumpcap.log" 2>&1 < /dev/null &
    capture_pid=$!
    _n=0
    until grep -q '^Capturing on' "$logs/dumpcap.log"; do
        if ! kill -0 "$capture_pid" 2> /dev/null || [ "$_n" -ge 100 ]; then
            stop_capture
            capture_note="none written: dumpcap could not capture: $(grep -v '^Capturing on' "$logs/dumpcap.log" | tail -n 1)"
            rm -f "$OUT/capture.pcap"
            return
        fi
        sleep 0.05
        _n=$((_n + 1))
    done
    capture="$OUT/capture.pcap"
}

stop_capture() {
    [ -n "$capture_pid" ] || return 0
    # Frames the kernel already holds for dumpcap get written first.
    sleep 0.2
    stop_processes INT "$capture_pid"
    capture_pid=""
}

# ---- reachability: the address query, boot mode, link status, network mode

check_reachability() {
    hostlink_script reachability "QUERY_MAC,0" "R,00E00018" "QUERY_STATUS,0"
    run_hostlink reachability 60
    _log="$logs/reachability.log"
    _answer=$(grep -E '^([0-9a-f]{2}:){5}[0-9a-f]{2}$' "$_log" | head -n 1)
    _boot=$(sed -n 's/^R,0xe00018:0x\([0-9a-f]*\)$/\1/p' "$_log" | head -n 1)
    _link=$(sed -n 's/^link \(-\{0,1\}[0-9]*\)$/\1/p' "$_log" | head -n 1)
    _mode=$(sed -n 's/^network mode \(-\{0,1\}[0-9]*\)$/\1/p' "$_log" | head -n 1)
    result=FAIL
    if [ -z "$_answer" ]; then
        detail="no answer to the address query"
    elif [ "$_answer" != "$(mac_colons "$MAC")" ]; then
        detail="the address query was answered by $_answer, not by $(mac_colons "$MAC") (another device on $IFACE?)"
    elif [ -z "$_boot" ]; then
        detail="answered as $_answer, but the boot mode register 0x00E00018 could not be read"
    elif [ -z "$_link" ] || [ -z "$_mode" ]; then
        detail="answered as $_answer, but link status and network mode could not be read"
    else
        result=PASS
        detail="answered as $_answer; boot mode $((0x$_boot)), link $_link, network mode $_mode"
    fi
}

# ---- version: GET_VERSION through the kit's version.sh

check_version() {
    result=FAIL
    if ! need_build_kit; then
        detail="$kit_problem"
        return
    fi
    _kernel="$build_kit/Kernel"
    rm -f "$_kernel/verinfo.txt"
    run_in_kit "$_kernel" version 150 /bin/sh ./version.sh "$address" "$(mac_dashes "$MAC")"
    _version=""
    [ -f "$_kernel/verinfo.txt" ] && _version=$(awk '{ print $1; exit }' "$_kernel/verinfo.txt")
    if [ "$status" -ne 0 ] || [ -z "$_version" ] || echo "$_version" | grep -q ERROR; then
        detail="version.sh could not read the version (status $status${_version:+, verinfo.txt: $_version})"
    elif ! version_format_ok "$_version"; then
        detail="the version \"$_version\" is not three numbers of 6, 6 and 4 bits (A.B.C)"
    else
        result=PASS
        detail="$_version"
        [ "$_version" = 0.0.1 ] && detail="$_version (the upgrade tool shows \"1.2d or earlier\")"
    fi
}

# The device's version word holds fields of 6, 6 and 4 bits.
version_format_ok() {
    echo "$1" | grep -qE '^[0-9]+\.[0-9]+\.[0-9]+$' || return 1
    _rest="$1"
    _major=${_rest%%.*}
    _rest=${_rest#*.}
    _minor=${_rest%%.*}
    _patch=${_rest#*.}
    [ ${#_major} -le 2 ] && [ ${#_minor} -le 2 ] && [ ${#_patch} -le 2 ] || return 1
    [ "$_major" -le 63 ] && [ "$_minor" -le 63 ] && [ "$_patch" -le 15 ]
}

# ---- memory: write, read back and restore the scratch area

scratch_written=0

# The file's bytes, each with all bits flipped: a write that did not happen
# cannot read back as the pattern.
complement_file() {
    _format=$(od -An -v -tu1 "$1" | awk '{ for (i = 1; i <= NF; i++) printf "\\%03o", 255 - $i }')
    # shellcheck disable=SC2059 # the format is the data, as octal escapes
    printf "$_format" > "$2"
}

# First four bytes of a file as a little-endian word, eight hex digits.
first_word() { od -An -v -tx1 -N4 "$1" | awk '{ print $4 $3 $2 $1 }'; }

# The last value the loader printed for an R line.
last_read_value() { sed -n 's/^R,0x[0-9a-f]*:0x\([0-9a-f]*\)$/\1/p' "$1" | tail -n 1; }

check_memory() {
    _address=${SCRATCH#0[xX]}
    _length="$SCRATCH_LEN"
    _where="$_length bytes at 0x$_address"
    result=FAIL
    hostlink_script memory-save "READ_BLOCK_F,$_address,scratch-original.bin,$_length"
    rm -f "$OUT/scratch-original.bin"
    run_hostlink memory-save 60
    if [ "$status" -ne 0 ] || [ "$(wc -c < "$OUT/scratch-original.bin" 2> /dev/null)" != "$_length" ]; then
        detail="$_where could not be read; nothing was written"
        return
    fi
    # Written before the area is touched: it puts the original back by hand
    # if this run cannot (run it from the run folder).
    printf '; Writes the saved scratch area back: run from %s\nWRITE_BLOCK_F,%s,scratch-original.bin\n' \
        "$OUT" "$_address" > "$OUT/restore-scratch.txt"

    complement_file "$OUT/scratch-original.bin" "$work/pattern.bin"
    _word=$(printf '%08x' $((0x$(first_word "$OUT/scratch-original.bin") ^ 0x5AA5C33C)))
    hostlink_script memory-write "WRITE_BLOCK_F,$_address,work/pattern.bin" \
        "READ_BLOCK_F,$_address,work/readback.bin,$_length" "W,$_address,$_word" "R,$_address"
    scratch_written=1
    echo "   test pattern goes to $_where; the original is saved in $OUT/scratch-original.bin"
    run_hostlink memory-write 60
    _write_status=$status
    _block_ok=0
    _word_ok=0
    cmp -s "$work/pattern.bin" "$work/readback.bin" && _block_ok=1
    [ "$(last_read_value "$logs/memory-write.log")" = "$_word" ] && _word_ok=1

    if ! restore_scratch; then
        detail="$_where NOT RESTORED: $restore_problem"
        return
    fi
    if [ "$_write_status" -ne 0 ] && [ "$_block_ok" = 0 ]; then
        detail="the test pattern could not be written to $_where (the original is back)"
    elif [ "$_block_ok" = 0 ]; then
        detail="$_where read back other bytes than were written (the original is back)"
    elif [ "$_word_ok" = 0 ]; then
        detail="the word written at 0x$_address read back otherwise (the original is back)"
    else
        result=PASS
        detail="$_where: pattern and word written and read back, original restored and verified"
    fi
}

# Writes the saved original back and reads it again to prove it.
restore_problem=""
restore_scratch() {
    _address=${SCRATCH#0[xX]}
    hostlink_script memory-restore "WRITE_BLOCK_F,$_address,scratch-original.bin" \
        "READ_BLOCK_F,$_address,work/restored.bin,$SCRATCH_LEN"
    rm -f "$work/restored.bin"
    run_hostlink memory-restore 60
    if cmp -s "$OUT/scratch-original.bin" "$work/restored.bin"; then
        scratch_written=0
        rm -f "$OUT/restore-scratch.txt"
        return 0
    fi
    restore_problem="its original is in $OUT/scratch-original.bin; write it back with: cd $OUT && $HOSTLINK -M $MAC -a $address -s restore-scratch.txt"
    return 1
}

# After a failure or an interrupt, while the area holds the test pattern.
restore_scratch_if_written() {
    [ "$scratch_written" = 1 ] || return 0
    echo "hardware test: writing the scratch area ${SCRATCH} back" >&2
    if restore_scratch; then
        echo "hardware test: the scratch area is restored and verified" >&2
    else
        echo "WARNING: the scratch area ${SCRATCH} of $MAC is NOT restored; $restore_problem" >&2
    fi
}

# ---- afe: serial register reads only

check_afe() {
    hostlink_script afe "I,0" "I,1" "I,2" "I,3"
    run_hostlink afe 30
    if [ "$status" -eq 0 ] && ! grep -q 'ERROR: Failed to read AFE' "$logs/afe.log"; then
        result=PASS
        detail="AFE registers 0 to 3 read (nothing written; the loader does not print AFE values)"
    else
        result=FAIL
        detail="an AFE register read went unanswered (hostlink status $status)"
    fi
}

# ---- robustness: many reads; the loader prints every reply window that
# ended without its reply and every stale frame it dropped

check_robustness() {
    awk -v n="$READS" 'BEGIN { for (i = 0; i < n; i++) print "R,827E" }' > "$work/robustness.txt"
    run_hostlink robustness $((60 + READS / 10))
    # reads answered, values unlike the first, windows missed, reads never
    # answered, stale frames dropped
    set -- $(awk '
        index($0, "R,0x00827e:0x") == 1 {
            n++
            if (n == 1) first = $0
            else if ($0 != first) differ++
        }
        /^No reply within [0-9]+ ms to send [0-9]+ of [0-9]+$/ { missed++; if ($7 == $9) lost++ }
        /^Dropped [0-9]+ stale frame\(s\) before the request$/ { stale += $2 }
        END { printf "%d %d %d %d %d\n", n, differ, missed, lost, stale }' "$logs/robustness.log")
    _answered=$1
    _differ=$2
    _missed=$3
    _resends=$(($3 - $4))
    _stale=$5
    _figure="$_missed replies not within the 100 ms window, $_resends resends, $_stale stale frames dropped"
    if [ "$_differ" -ne 0 ]; then
        result=FAIL
        detail="$_differ of $_answered reads of one word gave another value; $_figure"
    elif [ "$status" -ne 0 ] || [ "$_answered" -ne "$READS" ]; then
        result=FAIL
        detail="$_answered of $READS reads answered (a read got no reply to five sends); $_figure"
    else
        result=INFO
        detail="$READS reads: $_figure"
    fi
}

# ---- zdp: a short certification transfer through the kit's per_test.sh

ZDP_PACKETS=1000
ZDP_LENGTH=1400

check_zdp() {
    if [ -z "$REMOTE" ]; then
        result=SKIP
        detail="no REMOTE station given"
        return
    fi
    result=FAIL
    if ! need_build_kit; then
        detail="$kit_problem"
        return
    fi
    _kernel="$build_kit/Kernel"
    rm -f "$_kernel/snr.tmp"
    # 255: the station chooses the payload encoding.
    run_in_kit "$_kernel" zdp 330 /bin/sh ./per_test.sh "$address" "$(mac_dashes "$MAC")" \
        "$(mac_dashes "$REMOTE")" 255 "$ZDP_LENGTH" "$ZDP_PACKETS"
    _failure=$(grep -o 'Failure - .*' "$logs/zdp.log" | head -n 1)
    _snr_line=""
    [ -f "$_kernel/snr.tmp" ] && _snr_line=$(cat "$_kernel/snr.tmp")
    if [ -n "$_failure" ]; then
        detail="$(mac_colons "$REMOTE"): $_failure"
    elif [ "$status" -ne 0 ]; then
        detail="per_test.sh ended with status $status"
    elif [ -z "$_snr_line" ]; then
        detail="no statistics from both stations (no snr.tmp)"
    else
        set -- $_snr_line
        result=PASS
        detail="SNR $1 dB, PER $2, PE $3 ($ZDP_PACKETS packets of $ZDP_LENGTH bytes to $(mac_colons "$REMOTE"))"
    fi
}

# ---- flash: a full headless upgrade, then the version read back

check_flash() {
    if [ "$FLASH" != 1 ]; then
        result=SKIP
        detail="destructive, only with FLASH=1"
        return
    fi
    result=FAIL
    if [ -n "$KIT" ]; then
        if [ ! -x "$KIT/ndxupgrade" ] || [ ! -d "$KIT/Tool" ] || [ ! -d "$KIT/Kernel" ]; then
            detail="KIT $KIT holds no ndxupgrade, Tool/ and Kernel/"
            return
        fi
        _kit=$(cd "$KIT" && pwd)
    elif need_build_kit; then
        _kit="$build_kit"
    else
        detail="$kit_problem"
        return
    fi
    _mac=$(mac_dashes "$MAC")
    # A half-programmed flash may not boot: a Ctrl-C waits for the upgrade.
    trap 'echo "hardware test: the upgrade was left to finish; stopping after it" >&2; interrupted=1' INT
    echo "   upgrading; Ctrl-C does not stop the upgrade (a half-programmed flash may not boot)"
    run_to_the_end "$_kit" flash-upgrade 1800 ./ndxupgrade --upgrade --mac "$_mac" --interface "$IFACE"
    trap 'exit 130' INT
    _upgraded=$(sed -n 's/^Upgrade complete\. Current Version is //p' "$logs/flash-upgrade.log" | tail -n 1)
    if [ "$status" -ne 0 ] || [ -z "$_upgraded" ]; then
        detail="the upgrade failed: $(grep '^Err: ' "$logs/flash-upgrade.log" | head -n 1)"
        return
    fi
    run_in_kit "$_kit" flash-version 180 ./ndxupgrade --query-version --mac "$_mac" --interface "$IFACE"
    _read=$(sed -n 's/^Current Version is //p' "$logs/flash-version.log" | tail -n 1)
    if [ "$status" -ne 0 ] || [ -z "$_read" ]; then
        detail="upgraded to $_upgraded, but the version could not be read back"
    elif [ "$_read" != "$_upgraded" ]; then
        detail="upgraded to $_upgraded, but the version read back is $_read"
    else
        result=PASS
        detail="flash programmed from the kit, device reset; version read back: $_read"
    fi
}

# ---- the table

seconds() { awk -v ms="$1" 'BEGIN { printf "%.1f s", ms / 1000 }'; }

print_table() {
    _tab=$(printf '\t')
    echo
    echo "Hardware test of $(mac_colons "$MAC") through $IFACE ($address)${REMOTE:+, remote station $(mac_colons "$REMOTE")}"
    printf '%-13s %-6s %8s  %s\n' check result time details
    _passed=0
    _failed=0
    _skipped=0
    _figures=0
    while IFS="$_tab" read -r _check _result _ms _detail; do
        _time="-"
        [ "$_ms" = "-" ] || _time=$(seconds "$_ms")
        printf '%-13s %-6s %8s  %s\n' "$_check" "$_result" "$_time" "$_detail"
        case "$_result" in
        PASS) _passed=$((_passed + 1)) ;;
        FAIL) _failed=$((_failed + 1)) ;;
        SKIP) _skipped=$((_skipped + 1)) ;;
        INFO) _figures=$((_figures + 1)) ;;
        esac
    done < "$rows"
    _verdict=PASS
    [ "$_failed" -eq 0 ] || _verdict=FAIL
    _figure_count="$_figures figures"
    [ "$_figures" -ne 1 ] || _figure_count="1 figure"
    echo "Result: $_verdict ($_passed passed, $_failed failed, $_skipped skipped, $_figure_count) in $(seconds "$1")"
    if [ -n "$capture" ]; then
        echo "Capture file: $capture"
        echo "  read it with: tshark -X lua_script:$dissector -2 -r $capture"
    else
        echo "Capture file: $capture_note"
    fi
    echo "Logs: $logs"
}
