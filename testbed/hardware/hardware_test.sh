#!/bin/sh
# Checks one device through one PC interface with the real programs and
# prints a pass/fail table: the bench test for labs and factories with real
# ZR8010/ZR8011 devices. `make test-hardware` and `ctest -L hardware` run it;
# CI runs the same checks against devsim.
#
#   hardware_test.sh [--build DIR] [--only CHECK[,CHECK...]]
#
# Checks, in this order: reachability version memory afe robustness zdp flash.
# Settings come from the environment:
#   IFACE, MAC    the PC interface cabled to the device, and the device's MAC
#   REMOTE        a second station on the device's phone line: adds the ZDP run
#   FLASH=1       adds an upgrade, which reprograms the flash; asks first
#   YES=1         answers that question with yes (needed without a terminal)
#   SCRATCH       device address of the memory check's scratch area (0x28000)
#   SCRATCH_LEN   its length in bytes, a multiple of 4 up to 1400 (256)
#   READS         read requests of the robustness figure (10000)
#   KIT           an installed kit to upgrade from (default: one installed
#                 from the build into the run folder)
#   OUT           the run folder: capture file, logs, table
#                 (default BUILD/hardware-test/YYYYmmdd-HHMMSS)
#
# Exit status: 0 no check failed; 1 a check failed; 2 the run could not start
# (a bad setting, no capture rights, the upgrade not confirmed); 77 nothing was
# tested (IFACE or MAC unset, or every selected check skipped); 130 or 143
# interrupted. Whatever ends the run, a scratch area that was written is
# written back first.
set -u

here=$(cd "$(dirname "$0")" && pwd)
build="$here/../../build"
only=""
while [ $# -gt 0 ]; do
    case "$1" in
    --build) build="$2"; shift 2 ;;
    --only) only=$(echo "$2" | tr ',' ' '); shift 2 ;;
    *) echo "usage: hardware_test.sh [--build DIR] [--only CHECK[,CHECK...]]" >&2; exit 2 ;;
    esac
done

ALL_CHECKS="reachability version memory afe robustness zdp flash"
. "$here/../netns/stop_processes.sh"
. "$here/hardware_checks.sh"

IFACE="${IFACE:-}"
MAC="${MAC:-}"
REMOTE="${REMOTE:-}"
FLASH="${FLASH:-}"
YES="${YES:-}"
SCRATCH="${SCRATCH:-0x28000}"
SCRATCH_LEN="${SCRATCH_LEN:-256}"
READS="${READS:-10000}"
KIT="${KIT:-}"

setup_error() {
    echo "hardware test: $*" >&2
    exit 2
}

if [ -z "$IFACE" ] || [ -z "$MAC" ]; then
    echo "SKIP: no device to test. Set IFACE (the PC interface cabled to the device) and MAC (the device's address):"
    echo "  make test-hardware IFACE=eth1 MAC=0A:3F:71:00:00:07 [REMOTE=0A:3F:71:00:00:08] [FLASH=1]"
    exit 77
fi

for check in $only; do
    case " $ALL_CHECKS " in
    *" $check "*) ;;
    *) setup_error "unknown check \"$check\"; the checks are: $ALL_CHECKS" ;;
    esac
done
[ -n "$only" ] || only="$ALL_CHECKS"

is_mac "$MAC" || setup_error "MAC \"$MAC\" is no MAC address (XX:XX:XX:XX:XX:XX or XX-XX-XX-XX-XX-XX)"
if [ -n "$REMOTE" ]; then
    is_mac "$REMOTE" || setup_error "REMOTE \"$REMOTE\" is no MAC address"
    [ "$(mac_colons "$REMOTE")" != "$(mac_colons "$MAC")" ] || setup_error "REMOTE must be another station than MAC"
fi
is_hex_address "$SCRATCH" || setup_error "SCRATCH \"$SCRATCH\" is no 4-byte aligned hexadecimal device address"
is_scratch_length "$SCRATCH_LEN" || setup_error "SCRATCH_LEN \"$SCRATCH_LEN\" is no multiple of 4 from 4 to 1400"
is_count "$READS" || setup_error "READS \"$READS\" is no number from 1 to 1000000"

[ -d "$build" ] || setup_error "no build folder $build: build first (make build)"
build=$(cd "$build" && pwd)
HOSTLINK="$build/bin/hostlink"
[ -x "$HOSTLINK" ] || setup_error "no $HOSTLINK: build first (make build)"
dissector="$(cd "$here/../.." && pwd)/wireshark/hpnadev.lua"
ip link show dev "$IFACE" > /dev/null 2>&1 || setup_error "no interface $IFACE here"
address=$(ip -4 -o addr show dev "$IFACE" 2>/dev/null | awk '{ split($4, a, "/"); print a[1]; exit }')
[ -n "$address" ] || setup_error "$IFACE has no IPv4 address; hostlink finds the interface by it. Give it one that is not used elsewhere, e.g.: sudo ip addr add 192.0.2.2/24 dev $IFACE"

# The upgrade cannot be undone, so it is confirmed before anything is sent.
if [ "$FLASH" = 1 ] && selected flash && [ "$YES" != 1 ]; then
    if [ ! -t 0 ]; then
        setup_error "FLASH=1 reprograms the device's flash and needs a yes: there is no terminal to ask on, so set YES=1. Nothing was done."
    fi
    printf 'FLASH=1 reprograms the flash of %s with an image built from the kit'"'"'s parameter file.\n' "$MAC"
    printf 'Its present flash contents are neither saved nor restored. Type yes to go on: '
    read -r answer || answer=""
    [ "$answer" = yes ] || setup_error "the upgrade was not confirmed. Nothing was done."
fi

# One folder per run; runs of single checks (ctest -L hardware) follow each
# other within a second.
run_name=$(date +%Y%m%d-%H%M%S)
[ "$only" = "$ALL_CHECKS" ] || run_name="$run_name-$(echo $only | tr ' ' '-')"
OUT="${OUT:-$build/hardware-test/$run_name}"
mkdir -p "$OUT/logs" || setup_error "cannot make the run folder $OUT"
OUT=$(cd "$OUT" && pwd)
logs="$OUT/logs"
work="$OUT/work"
rm -rf "$work"
mkdir -p "$work" || setup_error "cannot make $work"
rows="$work/rows"
: > "$rows"

capture_pid=""
finished=0
interrupted=0
finish() {
    trap '' INT TERM HUP
    restore_scratch_if_written
    stop_capture
    rm -rf "$work"
    [ "$finished" = 1 ] || echo "hardware test: interrupted; the run folder is $OUT" >&2
}
trap finish EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

# A loader that cannot capture fails every check alike: say why once, in its
# own words, and stop.
if ! loader_can_capture; then
    echo "hardware test: hostlink cannot use $IFACE ($address), so nothing was tested:" >&2
    echo "$loader_problem" >&2
    finished=1
    exit 2
fi

start_capture

echo "Testing $(mac_colons "$MAC") through $IFACE ($address); run folder $OUT"
run_start=$(now_ms)
for check in $ALL_CHECKS; do
    selected "$check" || continue
    echo "-- $check"
    started=$(now_ms)
    result=""
    detail=""
    "check_$check"
    elapsed=$(($(now_ms) - started))
    [ "$result" = SKIP ] && elapsed="-"
    printf '%s\t%s\t%s\t%s\n' "$check" "$result" "$elapsed" "$detail" >> "$rows"
    echo "   $result: $detail"
    [ "$interrupted" = 0 ] || break
done
run_ms=$(($(now_ms) - run_start))

stop_capture
print_table "$run_ms" | tee "$OUT/table.txt"
finished=1
[ "$interrupted" = 0 ] || exit 130
if grep -q "$(printf '\tFAIL\t')" "$rows"; then exit 1; fi
if ! grep -q -e "$(printf '\tPASS\t')" -e "$(printf '\tINFO\t')" "$rows"; then exit 77; fi
exit 0
