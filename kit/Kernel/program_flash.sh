#!/bin/sh
# program_flash.sh IP MAC phone1 PRMFILE MAC
# Compiles the parameter file into its sections and tables, builds a flash
# image from them and programs it into the device. Runs in the Kernel
# directory; the tools are in ../Tool. The image is left in image.dat.
#
# Exit status, read by the upgrade tool as a signed byte:
#   155 (-101) the arguments are not IP MAC phone1 PRMFILE MAC
#   154 (-102) the parameter compiler failed
#   153 (-103) the parameter file is missing
#   152 (-104) the image could not be built
#   151 (-105) programming the flash failed
#   0          the flash holds the new image
set -u

bad_input=155
compiler_failed=154
parameter_file_missing=153
image_failed=152
programming_failed=151

tool="../Tool"
image="image.dat"

is_ip() {
    rest="$1."
    count=0
    while [ -n "$rest" ]; do
        field="${rest%%.*}"
        rest="${rest#*.}"
        case "$field" in
            '' | *[!0-9]*) return 1 ;;
        esac
        [ "${#field}" -le 3 ] && [ "$field" -le 255 ] || return 1
        count=$((count + 1))
    done
    [ "$count" -eq 4 ]
}

is_mac() {
    case "$1" in
        [0-9A-Fa-f][0-9A-Fa-f]-[0-9A-Fa-f][0-9A-Fa-f]-[0-9A-Fa-f][0-9A-Fa-f]-[0-9A-Fa-f][0-9A-Fa-f]-[0-9A-Fa-f][0-9A-Fa-f]-[0-9A-Fa-f][0-9A-Fa-f]) return 0 ;;
        [0-9A-Fa-f][0-9A-Fa-f]:[0-9A-Fa-f][0-9A-Fa-f]:[0-9A-Fa-f][0-9A-Fa-f]:[0-9A-Fa-f][0-9A-Fa-f]:[0-9A-Fa-f][0-9A-Fa-f]:[0-9A-Fa-f][0-9A-Fa-f]) return 0 ;;
    esac
    return 1
}

if [ "$#" -ne 5 ]; then
    echo "usage: program_flash.sh IP MAC phone1 PRMFILE MAC" >&2
    exit "$bad_input"
fi
ip="$1"
mac="$2"
parameter_file="$4"
parameter_mac="$5"
if ! is_ip "$ip" || ! is_mac "$mac" || ! is_mac "$parameter_mac" || [ -z "$parameter_file" ]; then
    echo "ERROR: invalid arguments: $*" >&2
    exit "$bad_input"
fi

# The parameter compiler treats a missing file as "use the defaults"; an
# upgrade must not program defaults by accident, so it is checked here.
if [ ! -f "$parameter_file" ] || [ ! -r "$parameter_file" ]; then
    echo "ERROR: parameter file $parameter_file not found" >&2
    exit "$parameter_file_missing"
fi

# The temporary folder goes whatever ends the script. A closed output (the
# upgrade tool gone) neither ends the script half-way nor keeps it from
# cleaning up: writes to it just fail, here and in the tools it runs.
work=""
trap '[ -z "$work" ] || rm -rf "$work"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP
trap '' PIPE
work=$(mktemp -d "${TMPDIR:-/tmp}/program_flash.XXXXXX") || exit "$image_failed"

# Section 1 carries the MAC address, so every region is compiled with it.
for region in o m 0 1 2 3; do
    if ! "$tool/tabgen" -f "$parameter_file" -M "$parameter_mac" "-$region" > "$work/$region.hex"; then
        echo "ERROR: tabgen -$region failed" >&2
        exit "$compiler_failed"
    fi
done
if [ ! -s "$work/o.hex" ] || [ ! -s "$work/m.hex" ]; then
    echo "ERROR: tabgen wrote no parameter sections" >&2
    exit "$compiler_failed"
fi

# A table without entries gets no section: the image builder refuses empty
# input, and the device keeps an absent table empty.
set -- -F -Y -f "$image" -o "$work/o.hex" -m "$work/m.hex"
for table in 0 1 2 3; do
    if [ -s "$work/$table.hex" ]; then
        set -- "$@" "-$table" "$work/$table.hex"
    fi
done
rm -f "$image"
if ! "$tool/imgbuild" "$@" || [ ! -s "$image" ]; then
    echo "ERROR: image generation failed" >&2
    exit "$image_failed"
fi

# The script names the image relative to this directory: a script file name
# ends at a comma, which a temporary directory's path might hold.
printf 'PROG_F,0,%s\n' "$image" > "$work/program.txt"
if ! "$tool/hostlink" -M "$mac" -a "$ip" -s "$work/program.txt"; then
    echo "ERROR: flash programming failed" >&2
    exit "$programming_failed"
fi
exit 0
