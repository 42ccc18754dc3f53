#!/bin/sh
# testbed/demo_batch.sh BUILD_DIR — a factory line's batch, end to end, without root.
#
# Installs the kit from an already built tree into a temporary directory,
# starts eight emulated devices on one wire in a private network namespace
# (one devsim per device on dv0, each with its own flash file; the fifth
# cannot program its flash), upgrades all eight in one batch with
# `ndxupgrade --upgrade --mac-list … --jobs 8 --report …`, and shows the
# lines, the report and the failing device's log.
#
# Status 0 when the batch came out as staged: seven upgraded, one failed in
# flash programming. Builds nothing: `make demo-batch` builds first. Every
# wait is bounded.
set -u

here=$(cd "$(dirname "$0")" && pwd)
failing="0A-3F-71-00-00-05"

# The part that runs inside the namespace:  demo_batch.sh --in-namespace KIT OUT
if [ "${1:-}" = "--in-namespace" ]; then
    kit="$2"
    out="$3"
    . "$here/netns/stop_processes.sh"
    . "$here/netns/devsim_fleet.sh"
    trap 'fleet_stop' EXIT
    trap 'exit 143' INT TERM
    : > "$out/macs.txt"
    for n in 1 2 3 4 5 6 7 8; do
        mac="0A-3F-71-00-00-0$n"
        echo "$mac" >> "$out/macs.txt"
        if [ "$mac" = "$failing" ]; then
            fleet_start "$out" "$mac" --flash "$out/flash-$mac.bin" --prog-fail 0
        else
            fleet_start "$out" "$mac" --flash "$out/flash-$mac.bin"
        fi
    done
    fleet_ready || exit 1
    cd "$kit" || exit 1
    echo "== ndxupgrade --upgrade --interface hl0 --mac-list macs.txt --jobs 8 --report report.csv"
    # The lines show as the devices end.
    {
        timeout -k 5 120 ./ndxupgrade --upgrade --interface hl0 --mac-list "$out/macs.txt" --jobs 8 \
            --report "$out/report.csv" < /dev/null 2> "$out/batch.err"
        echo $? > "$out/status"
    } | tee "$out/batch.out"
    echo "   (exit status $(cat "$out/status" 2>/dev/null || echo "?"))"
    exit 0
fi

. "$here/demo_setup.sh"
demo_build_dir demo-batch "$@"

demo_install_kit demo-batch
echo "== Eight devices on one wire (one devsim each on dv0): 0A-3F-71-00-00-01 … 0A-3F-71-00-00-08;"
echo "   $failing cannot program its flash (devsim --prog-fail 0)"
echo

DEVSIM_BIN="$build/bin/devsim" DEVSIM="$build/bin/devsim" \
    "$here/netns/run_in_netns.sh" --timeout 200 -- sh "$here/demo_batch.sh" --in-namespace "$kit" "$tmp"
status=$?
if [ "$status" -eq 77 ]; then
    echo "demo-batch: this system does not allow user namespaces, so the private test network cannot be made."
    exit 1
fi
[ "$status" -eq 0 ] || exit "$status"

echo
echo "== Where it worked (standard error):"
sed 's/^/   /' "$tmp/batch.err"
echo
echo "== The report (--report; also report.csv in the run folder):"
cat "$tmp/report.csv"
log=$(sed -n "s/^$failing,failed,[^,]*,,[^,]*,//p" "$tmp/report.csv")
if [ -f "$log" ]; then
    echo
    echo "== The failing device's log, from its flash programming on ($log):"
    sed -n '/stage program_flash.sh/,$p' "$log"
fi
echo
echo "== Result:"
tail -n 1 "$tmp/batch.out"
[ "$(tail -n 1 "$tmp/batch.out")" = "8 devices: 7 ok, 1 failed" ]
