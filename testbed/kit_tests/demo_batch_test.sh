#!/bin/sh
# `make demo-batch` keeps working: eight devices, seven upgraded, the staged
# one failed in flash programming, and the report shown. BUILD_DIR names the
# build tree.
set -u
: "${BUILD_DIR:?BUILD_DIR must name the build tree}"
if ! unshare -Urn true 2>/dev/null; then
    echo "SKIP: user and network namespaces are not available here"
    exit 77
fi
output=$(mktemp "${TMPDIR:-/tmp}/demo_batch_test.XXXXXX") || exit 1
trap 'rm -f "$output"' EXIT
sh "$(dirname "$0")/../demo_batch.sh" "$BUILD_DIR" > "$output" 2>&1
status=$?
cat "$output"
failures=0
expect() {
    if [ "$2" -eq 0 ]; then echo "PASS: $1"; else echo "FAIL: $1"; failures=$((failures + 1)); fi
}
[ "$status" -eq 0 ]
expect "the demo ends with status 0" $?
[ "$(tail -n 1 "$output")" = "8 devices: 7 ok, 1 failed" ]
expect "the demo ends with the summary" $?
[ "$(grep -c '^0A-3F-71-00-00-0[1-8],ok,,1\.3\.2,' "$output")" -eq 7 ]
expect "the report shows seven upgraded devices" $?
grep -q '^0A-3F-71-00-00-05,failed,flash programming,,' "$output"
expect "the report names the failing stage" $?
grep -q '\] Err: flash programming failed\.$' "$output"
expect "the failing device's log is shown" $?
[ "$failures" -eq 0 ]
