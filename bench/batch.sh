#!/bin/bash
# Batch upgrade wall time against emulated devices with realistic busy times.
#
#   bench/batch.sh BUILD_DIR [REPEATS (3)] [RUNS_OF_8 (20)]
#
# For N = 1, 2, 4, 8, 16: N devices on one wire (one devsim each on dv0), all
# upgraded by one `ndxupgrade --upgrade --jobs N`, REPEATS times; then
# RUNS_OF_8 more runs of N = 8, counting every device that did not end "ok".
# Prints, per N, the wall time (median, min, max), its ratio to N = 1, the
# CPU time of the batch and everything it started (user + system; devsim's
# own not counted), and the mean time per device in each stage, read from the
# time stamps of the device logs.
#
# The device's busy times (devsim options, override with BUSY="…"):
#   --erase-ms 3000   erasing the flash before programming: a whole-chip erase
#                     of a 1 MiB NOR flash takes seconds (typical figures
#                     for such parts lie between 2 and 10 s)
#   --program-ms 50   programming one piece: the kit's image is about 700
#                     bytes, one piece, at some 10 us a byte plus set-up
#   --reset-ms 1500   restart from flash after the reset: boot loader,
#                     firmware start and the host interface answering again
#   --busy-ms 50      after run code and ACTIVATE (devsim's default)
# A benchmark, not a test: it needs a few minutes, and the numbers depend on
# what else the machine runs.
set -u

here=$(cd "$(dirname "$0")" && pwd)
BUSY=${BUSY:---erase-ms 3000 --program-ms 50 --reset-ms 1500 --busy-ms 50}

# The part inside the namespace:  batch.sh --in-namespace KIT WORK REPEATS RUNS_OF_8
if [ "${1:-}" = "--in-namespace" ]; then
    kit="$2" work="$3" repeats="$4" runs_of_8="$5"
    . "$here/../testbed/netns/stop_processes.sh"
    . "$here/../testbed/netns/devsim_fleet.sh"
    trap 'fleet_stop' EXIT

    # one_run N: upgrades N fresh devices; sets wall, cpu, not_ok, run_dir.
    one_run() {
        local n=$1 i mac
        rm -rf "$work/run" "$work/fleet"
        mkdir -p "$work/fleet"
        for ((i = 1; i <= n; i++)); do
            mac=$(printf '0A-3F-71-00-01-%02X' "$i")
            # shellcheck disable=SC2086
            fleet_start "$work/fleet" "$mac" $BUSY
            echo "$mac"
        done > "$work/macs.txt"
        fleet_ready || exit 1
        local TIMEFORMAT='%R %U %S' timing
        timing=$( { time (cd "$kit" && ./ndxupgrade --upgrade --interface hl0 --mac-list "$work/macs.txt" \
            --jobs "$n" --run-dir "$work/run" > "$work/out" 2> "$work/err" < /dev/null); } 2>&1)
        fleet_stop
        read -r wall user system <<< "$timing"
        cpu=$(awk -v u="$user" -v s="$system" 'BEGIN { print u + s }')
        not_ok=$(tail -n +2 "$work/run/report.csv" | grep -vc '^[^,]*,ok,')
        run_dir="$work/run"
    }

    # stage_means RUN_DIR: mean seconds per device in each stage, from the
    # log time stamps: start-up (to the interface check), connect (with the
    # file check), program_flash.sh, reset, version query.
    stage_means() {
        awk '
            function at(line) { return substr(line, 2, 9) + 0 }
            FNR == 1 { if (file) flush(); file = FILENAME; delete t }
            / ndxupgrade: stage interface$/ { t["interface"] = at($0) }
            / ndxupgrade: stage connect$/ { t["connect"] = at($0) }
            / ndxupgrade: stage program_flash.sh$/ { t["flash"] = at($0) }
            / ndxupgrade: stage reset$/ { t["reset"] = at($0) }
            / ndxupgrade: stage version query$/ { t["version"] = at($0) }
            / ndxupgrade: the device.s run ended/ { t["end"] = at($0) }
            function flush() {
                if (!("end" in t) || !("version" in t)) return
                devices++
                s["start"] += t["interface"]; s["connect"] += t["flash"] - t["interface"]
                s["flash"] += t["reset"] - t["flash"]; s["reset"] += t["version"] - t["reset"]
                s["version"] += t["end"] - t["version"]
            }
            END {
                flush()
                if (devices == 0) { print "-"; exit }
                printf "%5.2f %5.2f %5.2f %5.2f %5.2f", s["start"] / devices, s["connect"] / devices,
                    s["flash"] / devices, s["reset"] / devices, s["version"] / devices
            }' "$1"/*/log.txt
    }

    echo "busy times: $BUSY"
    echo "cores: $(nproc); load before: $(cut -d' ' -f1-3 /proc/loadavg)"
    echo
    printf '%3s %7s %7s %7s %6s %6s %7s | %5s %5s %5s %5s %5s\n' N median min max ratio cpu "not ok" \
        start conn flash reset vers
    base=""
    for n in 1 2 4 8 16; do
        walls=() cpus=() failures=0 means=""
        for ((r = 0; r < repeats; r++)); do
            one_run "$n"
            walls+=("$wall")
            cpus+=("$cpu")
            failures=$((failures + not_ok))
            [ -z "$means" ] && means=$(stage_means "$run_dir")
        done
        sorted=($(printf '%s\n' "${walls[@]}" | sort -n))
        median=${sorted[$((repeats / 2))]}
        [ -z "$base" ] && base=$median
        cpu_median=$(printf '%s\n' "${cpus[@]}" | sort -n | sed -n "$((repeats / 2 + 1))p")
        printf '%3d %7.2f %7.2f %7.2f %6.2f %6.2f %7d | %s\n' "$n" "$median" "${sorted[0]}" \
            "${sorted[$((repeats - 1))]}" "$(awk -v m="$median" -v b="$base" 'BEGIN { print m / b }')" "$cpu_median" "$failures" "$means"
    done
    echo
    echo "$runs_of_8 runs of N = 8:"
    failures=0 slowest=0
    for ((r = 0; r < runs_of_8; r++)); do
        one_run 8
        failures=$((failures + not_ok))
        if [ "$not_ok" -ne 0 ]; then
            echo "  run $((r + 1)): $not_ok device(s) not ok:"
            grep -v '  ok  ' "$work/out" | sed 's/^/    /'
        fi
        slowest=$(awk -v w="$wall" -v s="$slowest" 'BEGIN { print (w > s ? w : s) }')
    done
    echo "  devices not ok: $failures of $((runs_of_8 * 8)); slowest run $slowest s"
    exit 0
fi

if [ $# -lt 1 ]; then
    echo "usage: $0 BUILD_DIR [REPEATS] [RUNS_OF_8]" >&2
    exit 2
fi
build=$(cd "$1" && pwd) || exit 1
repeats=${2:-3}
runs_of_8=${3:-20}
work=$(mktemp -d "${TMPDIR:-/tmp}/bench-batch.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/kit" > "$work/install.log" 2>&1 || { cat "$work/install.log"; exit 1; }
DEVSIM_BIN="$build/bin/devsim" "$here/../testbed/netns/run_in_netns.sh" --timeout 7200 -- \
    bash "$here/batch.sh" --in-namespace "$work/kit" "$work" "$repeats" "$runs_of_8"
