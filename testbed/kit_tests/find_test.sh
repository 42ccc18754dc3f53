#!/bin/sh
# Finding the devices on the wire through the installed kit: eight emulated
# devices on one wire (one devsim each on dv0) answer one broadcast query at
# times spread by --query-delay-ms. The loader lists all eight and a short
# window only the early ones, ndxupgrade --find prints them, --expect refuses
# a count that does not match with nothing sent but the query, and
# --all-found upgrades every device found with an image of its own MAC.
. "$(dirname "$0")/kit_test_lib.sh"
. "$(dirname "$0")/../netns/devsim_fleet.sh"
trap 'fleet_stop; finish' EXIT

kit="$work/kit"
install_kit "$kit"
"$PRM_SCRAMBLE" -u "$kit/Tool/prm_NDX470.dat" "$work/prm.inf" || fail "unscramble the kit's parameter file"

# sorted_lines FILE: the file's lines in sorted order, joined by blanks.
sorted_lines() { sort "$1" | tr '\n' ' '; }
# received LOG: how many frames the devsim of that log was sent in all.
received() { sed -n 's/^devsim: received \([0-9]*\),.*/\1/p' "$1"; }

# Device i answers (8 - i) * 100 ms after the query: the last one started
# answers first, the first one 700 ms later.
macs=""
for i in 1 2 3 4 5 6 7 8; do
    macs="$macs 0A-3F-71-00-01-0$i"
done
start_fleet() {
    for mac in $macs; do
        i=${mac#0A-3F-71-00-01-0}
        fleet_start "$work" "$mac" --query-delay-ms $(((8 - i) * 100)) --flash "$work/flash-$mac.bin"
    done
    fleet_ready || exit 1
}
start_fleet
all_eight=$(echo $macs | tr ' ' '\n' | sort | tr '\n' ' ')

# --- The loader's FIND_DEVICES, as a script of the kit would run it.
queries=0
hostlink_find() {
    printf 'FIND_DEVICES,%s\n' "$1" > "$work/find.txt"
    (cd "$kit" && timeout -k 5 30 Tool/hostlink -M 0A-3F-71-00-00-01 -a "$PC_ADDRESS" -s "$work/find.txt") \
        > "$2" 2>&1 < /dev/null
    status=$?
    queries=$((queries + 1))
}
hostlink_find 1000 "$work/loader.out"
echo "--- FIND_DEVICES,1000"
cat "$work/loader.out"
check "FIND_DEVICES: the run succeeds" [ "$status" -eq 0 ]
grep '^device ' "$work/loader.out" | sed 's/^device //' | tr 'a-f:' 'A-F-' > "$work/loader.macs"
check "FIND_DEVICES: all eight" [ "$(sorted_lines "$work/loader.macs")" = "$all_eight" ]
check "FIND_DEVICES: each once" [ "$(wc -l < "$work/loader.macs")" -eq 8 ]
check "FIND_DEVICES: the count" last_line_is "$work/loader.out" "found 8 device(s)"

# A window shorter than the spread hears only the devices that answer early:
# the delays are on the wire, not only in devsim's bookkeeping.
hostlink_find 300 "$work/short.out"
echo "--- FIND_DEVICES,300"
cat "$work/short.out"
check "a short window hears the first device" has_line "$work/short.out" "device 0a:3f:71:00:01:08"
for late in 3 2 1; do
    check "a short window misses device $late, which answers $(((8 - late) * 100)) ms late" \
        lacks_line "$work/short.out" "device 0a:3f:71:00:01:0$late"
done

# --- ndxupgrade --find: the addresses alone on standard output.
started=$(date +%s%N)
(cd "$kit" && timeout -k 5 30 ./ndxupgrade --find --interface hl0 --window 1000) \
    > "$work/find.out" 2> "$work/find.err" < /dev/null
status=$?
elapsed_ms=$((($(date +%s%N) - started) / 1000000))
queries=$((queries + 1))
echo "--- ndxupgrade --find --window 1000 ($elapsed_ms ms)"
cat "$work/find.out" "$work/find.err"
check "--find: status 0" [ "$status" -eq 0 ]
check "--find: one MAC a line, nothing else" [ "$(sorted_lines "$work/find.out")" = "$all_eight" ]
check "--find: each once" [ "$(wc -l < "$work/find.out")" -eq 8 ]
check "--find: the count on standard error" has_line "$work/find.err" "Found 8 devices."

# The kit's own find.txt: the default window hears those that answer within it.
(cd "$kit" && timeout -k 5 30 ./ndxupgrade --find --interface hl0) > "$work/default.out" 2> "$work/default.err" < /dev/null
status=$?
queries=$((queries + 1))
echo "--- ndxupgrade --find"
cat "$work/default.out"
check "--find with the kit's window: status 0" [ "$status" -eq 0 ]
check "--find with the kit's window: the first to answer" has_line "$work/default.out" "0A-3F-71-00-01-08"
check "--find with the kit's window: not the one 700 ms late" lacks_line "$work/default.out" "0A-3F-71-00-01-01"

# --- --expect 9 against eight devices: refused before anything but the query.
run_ndxupgrade "$kit" "$work/expect9.out" --upgrade --interface hl0 --all-found --expect 9 --window 1000
queries=$((queries + 1))
echo "--- --upgrade --all-found --expect 9"
cat "$work/expect9.out"
check "--expect 9: status 1" [ "$status" -eq 1 ]
check "--expect 9: says why" has_line "$work/expect9.out" "ndxupgrade: 8 answered on hl0, 9 expected; nothing is started"
check "--expect 9: no run folder" is_absent "$kit/runs"
fleet_stop
for mac in $macs; do
    check "$mac was sent the $queries queries and nothing else" [ "$(received "$work/devsim-$mac.log")" = "$queries" ]
done

# --- --all-found --expect 8: every device found is upgraded.
start_fleet
run_ndxupgrade "$kit" "$work/all.out" --upgrade --interface hl0 --all-found --expect 8 --window 1000 --jobs 8
fleet_stop
echo "--- --upgrade --all-found --expect 8"
cat "$work/all.out"
check "--all-found: status 0" [ "$status" -eq 0 ]
check "--all-found: the summary" has_line "$work/all.out" "8 devices: 8 ok, 0 failed"
check "--all-found: the count" has_line "$work/all.out" "Found 8 devices."
for mac in $macs; do
    check "$mac: upgraded" grep -Eqx -- "$mac  ok  1\.3\.2  [0-9]+\.[0-9] s" "$work/all.out"
    build_expected_image "$kit" "$work/prm.inf" "$mac" "$work/expected-$mac.dat" || fail "$mac: expected image"
    check "$mac: its flash holds the image of its own MAC" flash_holds_image "$work/flash-$mac.bin" "$work/expected-$mac.dat"
done

verdict
