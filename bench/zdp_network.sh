#!/bin/sh
# Time of TEST_NETWORK over 2, 3, 4 and 5 emulated stations (the device plus
# N-1 devsim --node stations, no device delays): total seconds and seconds per
# pair, so the growth with N (N*(N-1) pairs, three fixed 500 ms pauses each)
# is on record.
#
#   bench/zdp_network.sh [build directory, default build]
set -u

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
hostlink=$build/bin/hostlink
export DEVSIM="$build/bin/devsim"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat > "$work/network.txt" <<'SCRIPT'
TEST_NETWORK,0a:3f:71:00:00:01
dgen_type=1
length=64
npkts=100
numacks=1
TEST_NETWORK_END
SCRIPT

printf '%-9s %-6s %-10s %-10s\n' stations pairs total_s per_pair_s
for n in 2 3 4 5; do
    nodes=""
    i=1
    while [ "$i" -lt "$n" ]; do
        nodes="$nodes --node 02:00:00:00:00:$(printf '%02x' $((i + 16)))"
        i=$((i + 1))
    done
    start=$(date +%s.%N)
    "$root/testbed/netns/run_in_netns.sh" --timeout 600 --devsim "$nodes --ack-gap-ms 0" -- \
        "$hostlink" -m 1 -a 192.0.2.2 -s "$work/network.txt" > "$work/out.$n" 2>&1
    status=$?
    end=$(date +%s.%N)
    pairs=$((n * (n - 1)))
    if [ "$status" -ne 0 ]; then
        echo "$n stations: hostlink ended with status $status (see below)"
        tail -5 "$work/out.$n"
        continue
    fi
    awk -v n="$n" -v p="$pairs" -v s="$start" -v e="$end" \
        'BEGIN { t = e - s; printf "%-9d %-6d %-10.2f %-10.2f\n", n, p, t, t / p }'
done
