#!/bin/sh
# lintian finds no error in the packages that the package test built; its
# warnings and notes are shown for the record.
# Environment: PACKAGE_OUT (the package test's scratch folder).
set -u
: "${PACKAGE_OUT:?}"
set -- "$PACKAGE_OUT"/*.deb
if [ ! -f "$1" ]; then
    echo "FAIL: no package in $PACKAGE_OUT (the package test builds them)"
    exit 1
fi
report="$PACKAGE_OUT/lintian.txt"
lintian --fail-on error --display-info "$@" > "$report" 2>&1
status=$?
# lintian also warns that it runs as root, which CI does.
grep -v 'running with root privileges' "$report"
if [ "$status" -ne 0 ] || grep -q '^E: ' "$report"; then
    echo "FAIL: lintian reports errors (status $status)"
    exit 1
fi
echo "PASS: lintian reports no error"
