#!/bin/bash
# Runs the bash completion functions on partial command lines, as bash does
# when Tab is pressed, and checks what they offer.
#   completion_test.sh COMPLETION_FILE...
# Environment: BIN_DIR and SOURCE_DIR (for the programs' own option lists).
set -u
options_of="$SOURCE_DIR/docs/man/tests/program_options.sh"
# devsim's completion runs devsim --help.
PATH="$BIN_DIR:$PATH"

# shellcheck source=/dev/null
. /usr/share/bash-completion/bash_completion || { echo "FAIL: bash-completion is not installed"; exit 1; }
for completion_file in "$@"; do
    # shellcheck source=/dev/null
    . "$completion_file"
done

# The interfaces of a PC with loopback, a card with two IPv4 addresses, a
# wireless card and both ends of a veth pair; only eth0 and hl0 have IPv4.
ip() {
    case "$*" in
    "-o link show")
        printf '%s\n' '1: lo: <LOOPBACK,UP,LOWER_UP> mtu 65536 qdisc noqueue state UNKNOWN' \
            '2: eth0: <BROADCAST,MULTICAST,UP,LOWER_UP> mtu 1500 qdisc fq_codel state UP' \
            '3: wlan0: <BROADCAST,MULTICAST,UP,LOWER_UP> mtu 1500 qdisc fq_codel state UP' \
            '4: hl0@dv0: <BROADCAST,MULTICAST,UP,LOWER_UP> mtu 1500 qdisc noqueue state UP' \
            '5: dv0@hl0: <BROADCAST,MULTICAST,UP,LOWER_UP> mtu 1500 qdisc noqueue state UP'
        ;;
    "-o -4 addr show")
        printf '%s\n' '1: lo    inet 127.0.0.1/8 scope host lo\       valid_lft forever preferred_lft forever' \
            '2: eth0    inet 10.1.2.3/24 brd 10.1.2.255 scope global eth0\       valid_lft forever' \
            '2: eth0    inet 10.1.9.3/24 brd 10.1.9.255 scope global secondary eth0\       valid_lft forever' \
            '4: hl0    inet 192.0.2.2/24 scope global hl0\       valid_lft forever preferred_lft forever'
        ;;
    esac
}

work=$(mktemp -d "${TMPDIR:-/tmp}/completion_test.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/files/sub"
touch "$work/files/connect.txt" "$work/files/reset.txt" "$work/files/prm.inf" \
    "$work/files/o.hex" "$work/files/m.hex" "$work/files/image.dat"
cd "$work/files" || exit 1

# offered LINE: what Tab offers at the end of LINE, sorted, on one line.
offered() {
    COMP_LINE="$1"
    COMP_POINT=${#COMP_LINE}
    read -ra COMP_WORDS <<< "$COMP_LINE"
    [[ $COMP_LINE == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    local registration function
    registration=$(complete -p "${COMP_WORDS[0]}" 2> /dev/null) || return
    function=$(sed -E 's/.* -F ([^ ]+) .*/\1/' <<< "$registration")
    "$function" "${COMP_WORDS[0]}" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ' | sed 's/ $//'
}

failures=0
expect() {
    local got
    got=$(offered "$1")
    if [[ $got == "$2" ]]; then
        echo "PASS: '$1' offers: $2"
    else
        echo "FAIL: '$1' offers: $got; expected: $2"
        failures=$((failures + 1))
    fi
}

# Every option each program takes is offered after a lone dash, but for the
# internal ones: a batch gives --batch-worker to the runs it starts.
internal_options="--batch-worker"
for program in hostlink tabgen imgbuild ndxupgrade devsim; do
    all=$(sh "$options_of" "$program" | grep -vxF -e "$internal_options" | sort | tr '\n' ' ' | sed 's/ $//')
    if [[ -z $all ]]; then
        echo "FAIL: no options could be read for $program"
        failures=$((failures + 1))
        continue
    fi
    expect "$program -" "$all"
done
for option in $internal_options; do
    if "$BIN_DIR/ndxupgrade" --help | grep -q -- "$option"; then
        echo "FAIL: ndxupgrade --help names the internal option $option"
        failures=$((failures + 1))
    else
        echo "PASS: ndxupgrade --help leaves out the internal option $option"
    fi
done

expect "hostlink -M 0A:3F:71:00:00:07 -d " "0 1 2 3"
expect "hostlink -m 7 -a " "10.1.2.3 10.1.9.3 192.0.2.2"
expect "hostlink -m 7 -a 19" "192.0.2.2"
expect "hostlink -m 7 -a 192.0.2.2 -s con" "connect.txt"
expect "hostlink -m 7 -l ima" "image.dat"
expect "hostlink -M " ""
expect "tabgen -o -f " "prm.inf sub"
expect "tabgen -v " "0 1 2 3"
expect "imgbuild -F -o " "m.hex o.hex sub"
expect "imgbuild -F -Y -f im" "image.dat"
expect "ndxupgrade --upgrade --int" "--interface"
expect "ndxupgrade --upgrade --batch" ""
expect "ndxupgrade --upgrade --mac 0A-3F-71-00-00-07 --interface " "eth0 hl0"
expect "ndxupgrade --upgrade --mac " ""
expect "ndxupgrade --upgrade --interface hl0 --jobs " "1 16 2 4 8"
expect "ndxupgrade --upgrade --interface hl0 --mac-list con" "connect.txt"
expect "ndxupgrade --upgrade --interface hl0 --run-dir " "sub"
expect "ndxupgrade --find --interface hl0 --window " "1000 2000 500"
expect "ndxupgrade --upgrade --interface hl0 --all-found --expect " ""
expect "devsim -i " "dv0 eth0 hl0 wlan0"
expect "devsim --interface dv0 --fl" "--flash --flash-size"
expect "devsim -i dv0 --capture con" "connect.txt"
expect "devsim -i dv0 --eeprom-size " "large small"
expect "devsim -i dv0 --node " ""

[[ $failures -eq 0 ]]
