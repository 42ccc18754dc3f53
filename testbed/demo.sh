#!/bin/sh
# testbed/demo.sh BUILD_DIR — a real upgrade, end to end, without root.
#
# Installs the kit from an already built tree into a temporary directory,
# starts devsim in a private network namespace (a device with firmware 1.3.2,
# a flash file and a second station on its phone line), runs the headless
# upgrade and a link diagnosis from the installed tree exactly as a technician
# would, and shows the log, the start of the flash image the device received
# and the final result. With GUI=1 and a display, the upgrade window opens on
# the same setup instead.
#
# Builds nothing: `make demo` builds first. Every wait is bounded.
set -u

device_mac="0A-3F-71-00-00-07"
station_mac="0A-3F-71-00-00-08"
here=$(cd "$(dirname "$0")" && pwd)

# The part that runs inside the namespace, with devsim already listening:
#   demo.sh --in-namespace KIT OUT
if [ "${1:-}" = "--in-namespace" ]; then
    kit="$2"
    out="$3"
    cd "$kit" || exit 1
    if [ "${GUI:-}" = 1 ]; then
        echo "== The upgrade window: pick hl0, type $device_mac, click the download button."
        echo "   (diagnostics: local $device_mac, remote $station_mac). Close the window to end."
        ./ndxupgrade
        exit $?
    fi
    echo "== Upgrade: ndxupgrade --upgrade --mac $device_mac --interface hl0"
    timeout -k 5 120 ./ndxupgrade --upgrade --mac "$device_mac" --interface hl0 < /dev/null > "$out/upgrade.log" 2>&1
    upgrade_status=$?
    cat "$out/upgrade.log"
    echo "   (exit status $upgrade_status)"
    echo
    echo "== Diagnosis: ndxupgrade --diagnose --local $device_mac --remote $station_mac --interface hl0"
    timeout -k 5 120 ./ndxupgrade --diagnose --local "$device_mac" --remote "$station_mac" --interface hl0 \
        < /dev/null > "$out/diagnose.log" 2>&1
    diagnose_status=$?
    cat "$out/diagnose.log"
    if [ -f Kernel/snr.tmp ]; then
        echo "   Kernel/snr.tmp (SNR PER PE): $(cat Kernel/snr.tmp)"
    fi
    echo "   (exit status $diagnose_status)"
    [ "$upgrade_status" -eq 0 ] && [ "$diagnose_status" -eq 0 ]
    exit $?
fi

. "$here/demo_setup.sh"
demo_build_dir demo "$@"

gui=0
if [ "${GUI:-}" = 1 ]; then
    if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
        gui=1
    else
        echo "demo: GUI=1 needs a display (DISPLAY is not set); running the headless demo instead."
    fi
fi

demo_install_kit demo
(cd "$kit" && find . -type f | sort | sed 's|^\./|   |')
echo
echo "== devsim on dv0: device $device_mac, firmware 1.3.2, station $station_mac, flash file flash.bin"
echo

devsim_options="-M $device_mac --fw-version 1.3.2 --node $station_mac --snr 27.5 --pe 52 --flash $tmp/flash.bin"
limit=300
[ "$gui" = 1 ] && limit=3600
GUI="$gui" DEVSIM="$build/bin/devsim" DEVSIM_LOG="$tmp/devsim.log" \
    "$here/netns/run_in_netns.sh" --devsim "$devsim_options" --timeout "$limit" -- \
    sh "$here/demo.sh" --in-namespace "$kit" "$tmp"
status=$?
if [ "$status" -eq 77 ]; then
    echo "demo: this system does not allow user namespaces, so the private test network cannot be made."
    exit 1
fi

echo
if [ -s "$tmp/flash.bin" ]; then
    echo "== Flash image written (devsim's flash file, first 256 bytes):"
    od -A x -t x1 -N 256 -v "$tmp/flash.bin"
    image="$kit/Kernel/image.dat"
    if [ -f "$image" ] && cmp -s -n "$(wc -c < "$image")" "$tmp/flash.bin" "$image"; then
        echo "   The flash holds Kernel/image.dat ($(wc -c < "$image") bytes) as program_flash.sh built it."
    fi
else
    echo "== The flash was not written."
fi

if [ "$gui" = 1 ]; then
    exit "$status"
fi
echo
result=$(tail -n 1 "$tmp/upgrade.log" 2>/dev/null)
echo "== Result:"
echo "$result"
exit "$status"
