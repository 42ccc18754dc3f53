#!/bin/sh
# Builds the Debian packages with CPack into a scratch folder, unpacks them
# with dpkg-deb (nothing is installed on this machine) and checks what a user
# would get: the file list, the control fields, the maintainer scripts (run
# against stand-ins of the system commands they call) and the programs.
#
# Environment: BUILD_DIR, CPACK, KIT_TEST_LIB (check helpers), PACKAGE_OUT
# (scratch folder, kept for the lintian test), PACKAGE_NAME, PACKAGE_VERSION,
# PACKAGE_GROUP, KIT_DIR (the kit's folder below /usr), SOURCE_DIR.
. "$KIT_TEST_LIB"
: "${CPACK:?}" "${SOURCE_DIR:?}" "${PACKAGE_OUT:?}" "${PACKAGE_NAME:?}" "${PACKAGE_VERSION:?}" "${PACKAGE_GROUP:?}" "${KIT_DIR:?}"

testbed_name="$PACKAGE_NAME-testbed"
architecture=$(dpkg --print-architecture)
main_deb="$PACKAGE_OUT/${PACKAGE_NAME}_${PACKAGE_VERSION}_$architecture.deb"
testbed_deb="$PACKAGE_OUT/${testbed_name}_${PACKAGE_VERSION}_$architecture.deb"
kit="usr/$KIT_DIR"
# Debian's Wireshark reads Lua plugins from this folder (and the user's own).
lua_plugins=$(tshark -G folders 2> /dev/null | sed -n 's/^Global Lua Plugins:[[:space:]]*\///p')
[ -n "$lua_plugins" ] || { echo "FAIL: tshark names no global Lua plugin folder"; exit 1; }

rm -rf "$PACKAGE_OUT"
mkdir -p "$PACKAGE_OUT" || exit 1
if ! (cd "$PACKAGE_OUT" && "$CPACK" -G DEB --config "$BUILD_DIR/CPackConfig.cmake" -B "$PACKAGE_OUT") \
    > "$work/cpack.log" 2>&1; then
    cat "$work/cpack.log"
    echo "FAIL: cpack could not build the packages"
    exit 1
fi
for deb in "$main_deb" "$testbed_deb"; do
    if [ ! -f "$deb" ]; then
        echo "FAIL: $(basename "$deb") was not built; the folder holds:"
        ls "$PACKAGE_OUT"
        exit 1
    fi
done

# --- Files --------------------------------------------------------------------

# file_list DEB: the package's files and links (not its folders), one per line.
file_list() {
    dpkg-deb -c "$1" | awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); print $6 }' | sort
}
cat > "$work/main.expected" <<EOF
usr/bin/hostlink
usr/bin/imgbuild
usr/bin/ndxupgrade
usr/bin/tabgen
$lua_plugins/hpnadev.lua
usr/share/applications/com.talvenrick.ndxupgrade.desktop
usr/share/bash-completion/completions/hostlink
usr/share/bash-completion/completions/imgbuild
usr/share/bash-completion/completions/ndxupgrade
usr/share/bash-completion/completions/tabgen
usr/share/doc/$PACKAGE_NAME/changelog.gz
usr/share/doc/$PACKAGE_NAME/copyright
usr/share/icons/hicolor/scalable/apps/com.talvenrick.ndxupgrade.svg
usr/share/lintian/overrides/$PACKAGE_NAME
usr/share/man/man1/hostlink.1.gz
usr/share/man/man1/imgbuild.1.gz
usr/share/man/man1/ndxupgrade.1.gz
usr/share/man/man1/tabgen.1.gz
usr/share/man/man5/hostlink-script.5.gz
usr/share/man/man5/prm.inf.5.gz
usr/share/metainfo/com.talvenrick.ndxupgrade.metainfo.xml
$kit/Kernel/per_test.sh
$kit/Kernel/program_flash.sh
$kit/Kernel/version.sh
$kit/Tool/backup.txt
$kit/Tool/connect.txt
$kit/Tool/find.txt
$kit/Tool/hostlink
$kit/Tool/imgbuild
$kit/Tool/prm_NDX470.dat
$kit/Tool/reset.txt
$kit/Tool/tabgen
EOF
cat > "$work/testbed.expected" <<EOF
usr/bin/devsim
usr/share/bash-completion/completions/devsim
usr/share/doc/$testbed_name/changelog.gz
usr/share/doc/$testbed_name/copyright
usr/share/man/man1/devsim.1.gz
EOF
sort -o "$work/main.expected" "$work/main.expected"
file_list "$main_deb" > "$work/main.files"
file_list "$testbed_deb" > "$work/testbed.files"
for package in main testbed; do
    if cmp -s "$work/$package.expected" "$work/$package.files"; then
        pass "the $package package holds exactly the expected files"
    else
        fail "the $package package's files differ from the expected list (< expected, > packaged):"
        diff "$work/$package.expected" "$work/$package.files"
    fi
done
owned_by_root() { ! dpkg-deb -c "$1" | awk '{ print $2 }' | grep -qv '^root/root$'; }
check "every file of the main package belongs to root" owned_by_root "$main_deb"

root="$work/root"
mkdir -p "$root"
dpkg-deb -x "$main_deb" "$root" && dpkg-deb -x "$testbed_deb" "$root" || fail "dpkg-deb -x"

# Relative within /usr, as Debian wants: resolved inside the unpacked tree.
links_to() { [ -L "$1" ] && [ "$(readlink -f "$1")" = "$(readlink -f "$2")" ] && [ -f "$2" ]; }
relative_link() { case "$(readlink "$1")" in /*) return 1 ;; esac; }
for program in hostlink tabgen imgbuild; do
    check "the kit's Tool/$program is a link to /usr/bin/$program" links_to "$root/$kit/Tool/$program" "$root/usr/bin/$program"
    check "that link is relative" relative_link "$root/$kit/Tool/$program"
    check "the completion for $program is found under its name" \
        sh -c '[ "$1" = hostlink ] || [ "$(readlink "$2")" = hostlink ]' sh "$program" \
        "$root/usr/share/bash-completion/completions/$program"
done
check "the kit's parameter file is the build's scrambled one" cmp -s "$root/$kit/Tool/prm_NDX470.dat" "$BUILD_DIR/kit/prm_NDX470.dat"
check "the kit's shell scripts are executable" is_program "$root/$kit/Kernel/program_flash.sh"
# --- Hardening ----------------------------------------------------------------

# Read from the ELF files themselves: full RELRO (a GNU_RELRO segment and
# BIND_NOW), a position-independent executable, fortified libc calls
# (__*_chk), the stack protector, and stripped (no symbol table, no .comment
# section). Control-flow protection leaves no mark to check: Debian's C
# library start files carry no IBT/SHSTK note, so the linked program has none.
readelf_of() { LC_ALL=C readelf -W "$@" 2> /dev/null; }
full_relro() {
    readelf_of -l "$1" | grep -q 'GNU_RELRO' && readelf_of -d "$1" | grep -qE '\(FLAGS\).*BIND_NOW|\(FLAGS_1\).* NOW'
}
is_pie() { readelf_of -h "$1" | grep -q 'Type: *DYN' && readelf_of -d "$1" | grep -q '(FLAGS_1).* PIE'; }
fortified() { readelf_of --dyn-syms "$1" | grep -qE ' __[a-z_]+_chk(@|$)'; }
stack_protected() { readelf_of --dyn-syms "$1" | grep -q ' __stack_chk_fail'; }
stripped() { ! readelf_of -S "$1" | grep -qE ' \.(symtab|comment) '; }
for program in usr/bin/hostlink usr/bin/tabgen usr/bin/imgbuild usr/bin/ndxupgrade usr/bin/devsim; do
    file="$root/$program"
    check "$program: full RELRO" full_relro "$file"
    check "$program: position-independent" is_pie "$file"
    # A sanitizer build is not fortified, and its runtime's own __*_chk
    # interceptors would make the check pass for the wrong reason.
    [ "${FORTIFIED:-1}" = 0 ] || check "$program: fortified libc calls" fortified "$file"
    check "$program: stack protector" stack_protected "$file"
    check "$program: stripped (no symbols, no .comment)" stripped "$file"
done
desktop="$root/usr/share/applications/com.talvenrick.ndxupgrade.desktop"
no_path() { ! grep -q '^Path=' "$1"; }
check "the launcher needs no working directory" no_path "$desktop"
check "the dissector is the source tree's" cmp -s "$root/$lua_plugins/hpnadev.lua" "$SOURCE_DIR/wireshark/hpnadev.lua"
check "the launcher's program is in the package" has_line "$desktop" "Exec=ndxupgrade"
is_gzip() { gzip -t "$1" 2> /dev/null; }
check "the manual pages are gzipped" is_gzip "$root/usr/share/man/man5/prm.inf.5.gz"

# --- Control fields ----------------------------------------------------------

field() { dpkg-deb -f "$1" "$2"; }
field_is() { [ "$(field "$1" "$2")" = "$3" ]; }
field_has() { field "$1" "$2" | grep -qE "$3"; }
check "Package" field_is "$main_deb" Package "$PACKAGE_NAME"
check "Version" field_is "$main_deb" Version "$PACKAGE_VERSION"
check "Architecture" field_is "$main_deb" Architecture "$architecture"
check "Section" field_is "$main_deb" Section net
check "Maintainer is set" field_has "$main_deb" Maintainer '<[^>]+@[^>]+>'
check "Description has a synopsis and a long text" field_has "$main_deb" Description '^ .*hostlink'
for dependency in adduser libcap2-bin qt6-qpa-plugins libqt6sql6-sqlite 'libpcap0\.8' 'libqt6widgets6' 'libc6 \(>= '; do
    check "Depends names $dependency" field_has "$main_deb" Depends "(^|, )$dependency"
done
check "Suggests the testbed package, Wireshark and the PostgreSQL driver" field_is "$main_deb" Suggests \
    "$testbed_name, wireshark | tshark, libqt6sql6-psql"
check "the testbed package is $testbed_name" field_is "$testbed_deb" Package "$testbed_name"
check "the testbed package depends on the C library (dpkg-shlibdeps ran)" field_has "$testbed_deb" Depends '(^|, )libc6 \('
no_qt() { ! field "$testbed_deb" Depends | grep -q qt; }
check "the testbed package does not pull in Qt" no_qt

# --- Maintainer scripts ------------------------------------------------------

control="$work/control"
dpkg-deb -e "$main_deb" "$control" || fail "dpkg-deb -e"
for script in postinst postrm; do
    check "$script is an executable shell script" is_program "$control/$script"
    check "$script parses" sh -n "$control/$script"
done

# Stand-ins for the commands the scripts call: each records its call. The
# group exists when STUB_GROUP is set; STUB_OVERRIDE is what
# dpkg-statoverride --list prints (none when empty); setcap fails when
# STUB_SETCAP_FAILS is set.
stubs="$work/stubs"
mkdir -p "$stubs"
for command in addgroup delgroup setcap dpkg-statoverride getent; do
    cat > "$stubs/$command" <<'EOF'
#!/bin/sh
echo "$(basename "$0") $*" >> "$STUB_LOG"
case "$(basename "$0") $1" in
"getent group") [ -n "${STUB_GROUP:-}" ] ;;
"dpkg-statoverride --list") [ -n "${STUB_OVERRIDE:-}" ] && echo "$STUB_OVERRIDE" ;;
"setcap "*) [ -z "${STUB_SETCAP_FAILS:-}" ] ;;
*) true ;;
esac
EOF
    chmod +x "$stubs/$command"
done

# run_script SCRIPT ARGUMENT VARIABLE=VALUE...: runs a maintainer script with
# the stand-ins; its calls are in $work/calls, its output in $work/output.
run_script() {
    _script="$1"
    _argument="$2"
    shift 2
    : > "$work/calls"
    env PATH="$stubs:/usr/bin:/bin" STUB_LOG="$work/calls" "$@" \
        sh "$control/$_script" "$_argument" > "$work/output" 2>&1
}
called() { has_line "$work/calls" "$1"; }
not_called() { ! grep -q "^$1" "$work/calls"; }
says() { grep -qF -- "$1" "$work/output"; }
# The capability is set after the owner and mode, which would clear it.
setcap_last() {
    [ "$(grep -n '^dpkg-statoverride --update' "$work/calls" | cut -d: -f1)" -lt \
      "$(grep -n '^setcap' "$work/calls" | cut -d: -f1)" ]
}
program=/usr/bin/hostlink
# As dpkg-statoverride --list prints it: the mode without its leading zero.
override="root $PACKAGE_GROUP 754 $program"

check "postinst configure succeeds on a new system" run_script postinst configure
check "postinst creates the system group" called "addgroup --quiet --system $PACKAGE_GROUP"
check "postinst makes hostlink root:$PACKAGE_GROUP 0754" called "dpkg-statoverride --update --add root $PACKAGE_GROUP 0754 $program"
check "postinst grants cap_net_raw only" called "setcap cap_net_raw+ep $program"
check "postinst sets the capability after the owner and mode" setcap_last
check "postinst says how to add a user to the group" says "usermod -aG $PACKAGE_GROUP"

check "postinst succeeds where setcap fails" run_script postinst configure STUB_SETCAP_FAILS=1
check "postinst then says how to run hostlink instead" says "Run hostlink as root"

check "postinst configure succeeds again" run_script postinst configure STUB_GROUP=1 STUB_OVERRIDE="$override"
check "postinst keeps the existing group" not_called addgroup
check "postinst keeps the existing override" not_called "dpkg-statoverride --update"
check "postinst grants the capability again after an upgrade" called "setcap cap_net_raw+ep $program"

check "postrm purge succeeds" run_script postrm purge STUB_GROUP=1 STUB_OVERRIDE="$override"
check "postrm purge removes the override" called "dpkg-statoverride --remove $program"
check "postrm purge leaves the system group in place" not_called delgroup
check "postrm purge prints nothing" [ ! -s "$work/output" ]
check "postrm purge succeeds with an administrator's override" \
    run_script postrm purge STUB_GROUP=1 STUB_OVERRIDE="root staff 750 $program"
check "postrm purge keeps an administrator's override" not_called "dpkg-statoverride --remove"
check "postrm remove succeeds" run_script postrm remove STUB_GROUP=1 STUB_OVERRIDE="$override"
check "postrm remove leaves group and override alone" sh -c '! grep -qE "^(delgroup|dpkg-statoverride --remove)" "$1"' sh "$work/calls"
check "postrm remove prints nothing" [ ! -s "$work/output" ]

# --- The unpacked programs run ----------------------------------------------

runs() {
    _expected_status="$1"
    _text="$2"
    shift 2
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 20 "$@" > "$work/run.out" 2>&1 < /dev/null
    _status=$?
    [ "$_status" -eq "$_expected_status" ] && grep -qF -- "$_text" "$work/run.out" && return 0
    echo "  $* gave status $_status:"
    sed 's/^/    /' "$work/run.out"
    return 1
}
# One version everywhere: the package's, the changelog's newest entry, hostlink's
# version line and ndxupgrade --version.
check "hostlink -v" runs 0 "hostlink version $PACKAGE_VERSION" "$root/usr/bin/hostlink" -v
changelog_version() { [ "$(dpkg-parsechangelog -l "$SOURCE_DIR/packaging/debian/changelog" -S Version)" = "$PACKAGE_VERSION" ]; }
check "the changelog's newest entry is version $PACKAGE_VERSION" changelog_version
same_changelog() { gzip -dc "$root/usr/share/doc/$PACKAGE_NAME/changelog.gz" | cmp -s - "$SOURCE_DIR/packaging/debian/changelog"; }
check "the package carries the changelog of the source tree" same_changelog
check "tabgen -h" runs 0 "-o Section o" "$root/usr/bin/tabgen" -h
check "imgbuild -h" runs 1 "Usage:" "$root/usr/bin/imgbuild" -h
check "ndxupgrade without a display prints its usage" runs 2 "usage: ndxupgrade" "$root/usr/bin/ndxupgrade" --upgrade
check "ndxupgrade --help without a display" runs 0 "usage: ndxupgrade" "$root/usr/bin/ndxupgrade" --help
check "ndxupgrade --version without a display" runs 0 "ndxupgrade ($PACKAGE_NAME) $PACKAGE_VERSION" "$root/usr/bin/ndxupgrade" --version

# Started outside any kit, ndxupgrade finds the unpacked kit from its own place
# and works in the user's copy of it; outside a test network the interface is
# not found, so the query ends there, having started nothing.
data="$work/data"
copy="$data/$PACKAGE_NAME/kit"
query() {
    (cd "$work" && runs 1 "$1" env XDG_DATA_HOME="$data" "$root/usr/bin/ndxupgrade" \
        --query-version --mac 0A-3F-71-00-00-07 --interface no-such-if)
}
check "ndxupgrade makes the working copy of the installed kit" \
    query "base directory $copy (your working copy of the installed kit $root/$kit; made now)"
check "ndxupgrade reuses it at the next start" query "(your working copy of the installed kit $root/$kit; up to date)"
check "the copy's parameter file is the installed one" cmp -s "$copy/Tool/prm_NDX470.dat" "$root/$kit/Tool/prm_NDX470.dat"
for program in hostlink tabgen imgbuild; do
    check "the copy's Tool/$program is a link to the installed program" links_to "$copy/Tool/$program" "$root/usr/bin/$program"
done
check "hostlink -v through the copy's link" runs 0 "hostlink version $PACKAGE_VERSION" "$copy/Tool/hostlink" -v
check "devsim --help" runs 0 "usage: devsim" "$root/usr/bin/devsim" --help

verdict
