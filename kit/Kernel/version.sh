#!/bin/sh
# version.sh IP MAC
# Asks the device for its firmware version and leaves it as the first word of
# verinfo.txt (the upgrade tool reads it). A device that cannot be asked
# leaves an ERROR word there; a loader failure is also the script's status.
set -u

if [ $# -lt 2 ]; then
    echo "ERROR_ARGUMENTS" > verinfo.txt
    exit 155
fi
ip="$1"
mac="$2"
tool="../Tool"

# The temporary files go whatever ends the script; a closed output does not
# end it half-way.
script=""
output=""
trap 'rm -f ${script:+"$script"} ${output:+"$output"}' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP
trap '' PIPE
script=$(mktemp "${TMPDIR:-/tmp}/version.XXXXXX") || exit 255
output=$(mktemp "${TMPDIR:-/tmp}/version-out.XXXXXX") || exit 255

printf 'GET_VERSION,0\n' > "$script"
# --foreground keeps the loader in this script's process group, so that
# stopping the upgrade tool's step stops the loader too.
timeout --foreground 120 "$tool/hostlink" -M "$mac" -a "$ip" -s "$script" > "$output" 2>&1
status=$?
cat "$output"

version=$(grep -E '^[0-9]+\.[0-9]+\.[0-9]+$' "$output" | tail -n 1)
if [ "$status" -ne 0 ]; then
    echo "ERROR_LOADER" > verinfo.txt
    # The upgrade tool reads the status as a signed byte: the loader's own
    # codes are already negative there; a loader that could not run or was
    # stopped by the time limit (1 to 127) must read as negative too.
    if [ "$status" -lt 128 ]; then
        exit 255
    fi
    exit "$status"
fi
if [ -z "$version" ]; then
    echo "ERROR_TIMEOUT" > verinfo.txt
    exit 0
fi
echo "$version" > verinfo.txt
exit 0
