#!/bin/sh
# Every manual page renders without a warning, both through groff with all
# warnings on and as man(1) shows it, on an 80-column and on a 60-column
# terminal (no line that cannot be adjusted, no table wider than the page).
# Environment: MAN_PAGES_DIR (the built pages).
set -u
failures=0
count=0
for page in "$MAN_PAGES_DIR"/*.[15]; do
    count=$((count + 1))
    warnings=""
    for width in 80 60; do
        warnings="$warnings$(groff -Tutf8 -ww -z -t -man -rLL=${width}n "$page" 2>&1)"
        warnings="$warnings$(MANWIDTH=$width man --warnings -l "$page" 2>&1 > /dev/null)"
    done
    if [ -n "$warnings" ]; then
        echo "FAIL: $(basename "$page"):"
        echo "$warnings"
        failures=$((failures + 1))
    else
        echo "PASS: $(basename "$page")"
    fi
done
if [ "$count" -ne 7 ]; then
    echo "FAIL: expected 7 pages in $MAN_PAGES_DIR, found $count"
    failures=$((failures + 1))
fi
[ "$failures" -eq 0 ]
