#!/bin/sh
# The launcher, the AppStream data and the icon pass the ecosystem's own
# validators.
#   desktop_files_test.sh DESKTOP_FILE METAINFO_FILE ICON
set -u
failures=0
run() {
    if "$@"; then echo "PASS: $*"; else echo "FAIL: $*"; failures=$((failures + 1)); fi
}
# desktop-file-validate exits 0 on hints too; any output is a finding.
quiet() { [ -z "$("$@" 2>&1)" ]; }
run quiet desktop-file-validate "$1"
run appstreamcli validate --no-net --pedantic "$2"
# The icon is the one the launcher names, and an SVG document.
run grep -qx "Icon=$(basename "$3" .svg)" "$1"
run grep -q '<svg xmlns="http://www.w3.org/2000/svg"' "$3"
[ "$failures" -eq 0 ]
