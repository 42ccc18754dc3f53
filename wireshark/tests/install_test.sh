#!/bin/sh
# `cmake --install` puts the dissector where Wireshark really loads Lua
# plugins from: the personal folder for --prefix ~/.local, the global folder
# that tshark reports for --prefix /usr. Wireshark then decodes 0x886C frames
# with it without being told about the file, and a copy given with -X on top
# of the installed one steps aside with one line instead of a Lua error.
. "$(dirname "$0")/tshark_lib.sh"

: "${CMAKE:=cmake}"

run_tshark "$work/folders.txt" -G folders || fail "tshark lists its folders"
# folder NAME: the folder tshark names NAME in `tshark -G folders`.
folder() { sed -n "s/^$1:[[:space:]]*//p" "$work/folders.txt"; }

# install_dissector PREFIX [DESTDIR]: the dissector's part of the install only.
install_dissector() {
    DESTDIR="${2:-}" "$CMAKE" --install "$BUILD_DIR" --prefix "$1" --component wireshark > "$work/install.log" 2>&1 ||
        { cat "$work/install.log"; return 1; }
}

personal=$(folder "Personal Lua Plugins")
check "tshark names a personal Lua plugin folder in the test's home" [ "$personal" = "$work/home/.local/lib/wireshark/plugins" ]
check "installs with --prefix ~/.local" install_dissector "$work/home/.local"
check "the dissector lies in the personal Lua plugin folder" is_file "$personal/hpnadev.lua"

loads_plugin() {
    run_tshark "$work/plugins.txt" -G plugins || return 1
    grep -q "hpnadev\.lua" "$work/plugins.txt"
}
check "tshark loads it from there" loads_plugin

pcap_open "$work/one.pcap"
pcap_frame "$work/one.pcap" "02000000000b02000000000a886c8002000a00170000000000010000000000000000000000000000000000000000000000"
decodes_without_being_told() {
    run_tshark "$work/one.txt" -n -r "$work/one.pcap" -T fields -e _ws.col.Info || return 1
    [ "$(cat "$work/one.txt")" = "ZDP_OPCODE_REPORTSTATS seq=1" ] || { cat "$work/one.txt"; return 1; }
}
check "tshark decodes with the installed dissector alone" decodes_without_being_told

# The source tree's copy as well: Wireshark would refuse a second protocol of
# the same name.
steps_aside() {
    HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" "$TSHARK" -X "lua_script:$DISSECTOR" -n \
        -r "$work/one.pcap" -T fields -e _ws.col.Info > "$work/both.txt" 2> "$work/both.err" || return 1
    grep -v '^Running as user .*This could be dangerous' "$work/both.err" > "$work/both.lines"
    cat "$work/both.lines"
    [ "$(cat "$work/both.txt")" = "ZDP_OPCODE_REPORTSTATS seq=1" ] &&
        [ "$(cat "$work/both.lines")" = "hpnadev.lua: the dissector is already loaded from $personal/hpnadev.lua; $DISSECTOR is not used" ]
}
check "a copy given with -X says in one line that the installed one is used" steps_aside

global=$(folder "Global Lua Plugins")
check "installs with --prefix /usr (into a staging root)" install_dissector /usr "$work/root"
check "the dissector lies in the global Lua plugin folder ($global)" is_file "$work/root$global/hpnadev.lua"
check "and in no other folder" [ "$(find "$work/root" -type f | wc -l)" -eq 1 ]
verdict
