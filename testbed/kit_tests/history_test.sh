#!/bin/sh
# The history of upgrades against devsim. An upgrade leaves one record and
# one backup whose bytes are those devsim holds at 0x8000 (its own dump), and
# --export-backup gives them back as binary and hex text. A device whose
# parameters cannot be read is stopped before anything is written: devsim
# sees no mailbox command. --no-backup upgrades it and says so in the record.
. "$(dirname "$0")/kit_test_lib.sh"

kit="$work/kit"
install_kit "$kit"

# Parameters no two devices would share: a backup cannot match them by chance.
i=0
while [ "$i" -lt 428 ]; do
    # shellcheck disable=SC2059 # the octal escape is the format
    printf "\\$(printf '%03o' $(((i * 37 + 11) % 256)))"
    i=$((i + 1))
done > "$work/parameters.bin"
device="-M $DEVICE_MAC --fw-version 1.3.1 --load 8000=$work/parameters.bin"

# mailbox_commands PCAP: the loader's writes to the programming mailbox's
# command word (0x8820) that the capture holds.
mailbox_commands() {
    tshark -r "$1" -Y "eth.dst == $(echo "$DEVICE_MAC" | tr '-' ':') && frame[14:2] == 80:01 && frame[23] == 3 && frame[28:4] == 20:88:00:00" \
        2> /dev/null | wc -l
}
# history ARGS...: the history of this test's station, as CSV.
history() { (cd "$kit" && ./ndxupgrade --history --format csv "$@"); }
# newest_field N: the Nth CSV field of the newest record (fields without commas).
newest_field() { history | sed -n 2p | cut -d, -f"$1"; }

# --- What the device holds before anything is written, as devsim dumps it.
# shellcheck disable=SC2086 # the options are words
devsim_start "$work/devsim-dump.log" $device --dump "8000:1AC=$work/device.bin"
devsim_stop
check "devsim dumped 428 bytes" [ "$(wc -c < "$work/device.bin")" -eq 428 ]

# --- An upgrade: the backup step between the connect step and the flash.
# shellcheck disable=SC2086
devsim_start "$work/devsim.log" $device --capture "$work/upgrade.pcap" --flash "$work/flash.bin"
run_ndxupgrade "$kit" "$work/upgrade.log" --upgrade --mac "$DEVICE_MAC" --interface hl0
devsim_stop
cat "$work/upgrade.log"
check "upgrade exits 0" [ "$status" -eq 0 ]
check "the backup step comes between connect and the flash" \
    [ "$(grep -v -e '^hostlink: ' -e '^[a-z_]*\.sh: ' "$work/upgrade.log" |
        grep -A4 "^Connect to target $DEVICE_MAC:\$" | tr '\n' '|')" = \
      "Connect to target $DEVICE_MAC:|Ok.|Back up target :|Ok.|start to upgrade :|" ]
check "the upgrade wrote the mailbox (the capture shows it)" [ "$(mailbox_commands "$work/upgrade.pcap")" -gt 0 ]
check "the backup is left in Kernel/" cmp -s "$kit/Kernel/backup.bin" "$work/device.bin"

history > "$work/history.csv"
cat "$work/history.csv"
check "one record" [ "$(grep -c "^20" "$work/history.csv")" -eq 1 ]
check "the record: an upgrade of the device, ok, the backup stored" \
    [ "$(newest_field 6),$(newest_field 8),$(newest_field 10),$(newest_field 12),$(newest_field 21)" = \
      "upgrade,$DEVICE_MAC,ok,1.3.1,stored" ]
check "the record: the kit and the parameter file's SHA-256" \
    [ "$(newest_field 19),$(newest_field 17)" = \
      "$kit,$(sha256sum < "$kit/Tool/prm_NDX470.dat" | cut -d' ' -f1)" ]
check "the record: the flashed image's SHA-256" \
    [ "$(newest_field 18)" = "$(sha256sum < "$kit/Kernel/image.dat" | cut -d' ' -f1)" ]
check "the record is in the test's own state folder" is_file "$XDG_STATE_HOME/hostlink-toolset/history.sqlite"

# --- The backup back out: binary and hex text, both the stored bytes.
(cd "$kit" && ./ndxupgrade --export-backup "$(echo "$DEVICE_MAC" | tr 'A-F-' 'a-f:')" --out "$work/exported.bin") \
    > "$work/export.log" 2>&1
status=$?
cat "$work/export.log"
check "export exits 0" [ "$status" -eq 0 ]
check "exported binary equals devsim's memory at 0x8000" cmp -s "$work/exported.bin" "$work/device.bin"
check "exported hex text equals it too" [ "$(cat "$work/exported.bin.hex")" = "$(hex_of "$work/device.bin")" ]
check "export names the bytes' SHA-256" \
    grep -q "(SHA-256 $(sha256sum < "$work/device.bin" | cut -d' ' -f1))" "$work/export.log"
(cd "$kit" && ./ndxupgrade --export-backup "$DEVICE_MAC" --at 2000-01-01 --out "$work/none.bin") \
    > "$work/none.log" 2>&1
status=$?
check "no backup that old: status 1" [ "$status" -eq 1 ]
check "no backup that old: no file" is_absent "$work/none.bin"

# --- A device whose parameters cannot be read: stopped before the erase.
# shellcheck disable=SC2086
devsim_start "$work/devsim-unreadable.log" $device --unreadable 8000:1AC --capture "$work/refused.pcap" \
    --flash "$work/flash-refused.bin"
run_ndxupgrade "$kit" "$work/refused.log" --upgrade --mac "$DEVICE_MAC" --interface hl0
devsim_stop
cat "$work/refused.log"
check "unreadable parameters: the upgrade fails" [ "$status" -eq 1 ]
check "connected before the backup" has_line "$work/refused.log" "Connect to target $DEVICE_MAC:"
check "says nothing was written" \
    has_line "$work/refused.log" "Err: Can't back up the device's parameters; nothing was written."
check "no flash step" lacks_line "$work/refused.log" "start to upgrade :"
check "devsim saw no mailbox command" [ "$(mailbox_commands "$work/refused.pcap")" -eq 0 ]
check "the flash is still erased" [ "$(tr -d '\377' < "$work/flash-refused.bin" | wc -c)" -eq 0 ]
check "the record: failed at the parameter backup" \
    [ "$(newest_field 10),$(newest_field 11),$(newest_field 21)" = "failed,parameter backup,failed" ]

# --- --no-backup goes on without it, and says so in the record.
# shellcheck disable=SC2086
devsim_start "$work/devsim-nobackup.log" $device --unreadable 8000:1AC --flash "$work/flash-nobackup.bin"
run_ndxupgrade "$kit" "$work/nobackup.log" --upgrade --no-backup --mac "$DEVICE_MAC" --interface hl0
devsim_stop
check "--no-backup: the upgrade succeeds" [ "$status" -eq 0 ]
check "--no-backup: no backup step" lacks_line "$work/nobackup.log" "Back up target :"
check "--no-backup: the record says so" [ "$(newest_field 21)" = "skipped (--no-backup)" ]
check "three records in all" [ "$(history | grep -c "^20")" -eq 3 ]
check "none of another device" [ "$(history --mac "$STATION_MAC" | grep -c "^20")" -eq 0 ]

verdict
