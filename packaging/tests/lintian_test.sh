#!/bin/sh
# lintian, pedantic and with its informational tags, on the packages that the
# package test built: it reports exactly the expected tags, each of them
# overridden in the package with the reason. Any other tag fails the test
# (an unused override as well: lintian reports it as a tag of its own).
# Environment: PACKAGE_OUT (the package test's scratch folder), PACKAGE_NAME,
# KIT_DIR (the kit's folder below /usr), FORTIFIED (0 in a sanitizer build,
# whose programs are built without _FORTIFY_SOURCE).
set -u
: "${PACKAGE_OUT:?}" "${PACKAGE_NAME:?}" "${KIT_DIR:?}"
set -- "$PACKAGE_OUT"/*.deb
if [ ! -f "$1" ]; then
    echo "FAIL: no package in $PACKAGE_OUT (the package test builds them)"
    exit 1
fi
report="$PACKAGE_OUT/lintian.txt"
lintian --pedantic --display-info --show-overrides --tag-display-limit 0 "$@" > "$report" 2>&1
status=$?
# The tags, without lintian's warning that it runs as root (CI does) and the
# N: lines that repeat the overrides' comments.
grep -v -e 'running with root privileges' -e '^N: ' "$report" | sort > "$PACKAGE_OUT/lintian.tags"

{
    cat <<EXPECTED
O: $PACKAGE_NAME: package-contains-documentation-outside-usr-share-doc [usr/$KIT_DIR/Tool/backup.txt]
O: $PACKAGE_NAME: package-contains-documentation-outside-usr-share-doc [usr/$KIT_DIR/Tool/connect.txt]
O: $PACKAGE_NAME: package-contains-documentation-outside-usr-share-doc [usr/$KIT_DIR/Tool/find.txt]
O: $PACKAGE_NAME: package-contains-documentation-outside-usr-share-doc [usr/$KIT_DIR/Tool/reset.txt]
O: $PACKAGE_NAME: spelling-error-in-binary UNKOWN UNKNOWN [usr/bin/hostlink]
O: $PACKAGE_NAME: spelling-error-in-binary boundry boundary [usr/bin/imgbuild]
O: $PACKAGE_NAME: spelling-error-in-binary occured occurred [usr/bin/tabgen]
EXPECTED
    if [ "${FORTIFIED:-1}" = 0 ]; then
        for program in hostlink imgbuild ndxupgrade tabgen; do
            echo "I: $PACKAGE_NAME: hardening-no-fortify-functions [usr/bin/$program]"
        done
        echo "I: $PACKAGE_NAME-testbed: hardening-no-fortify-functions [usr/bin/devsim]"
    fi
} | sort > "$PACKAGE_OUT/lintian.expected"

cat "$PACKAGE_OUT/lintian.tags"
if [ "$status" -ne 0 ]; then
    echo "FAIL: lintian ended with status $status"
    exit 1
fi
if ! diff -u "$PACKAGE_OUT/lintian.expected" "$PACKAGE_OUT/lintian.tags"; then
    echo "FAIL: lintian's tags differ from the expected ones (- expected, + reported)"
    exit 1
fi
echo "PASS: lintian reports the $(wc -l < "$PACKAGE_OUT/lintian.expected") expected tags, all overridden, and no other"
