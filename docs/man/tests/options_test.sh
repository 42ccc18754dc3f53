#!/bin/sh
# Every option a program takes (its usage text and its option table, see
# program_options.sh) is an item of the OPTIONS section of its manual page,
# and every item there is an option the program takes.
# Environment: MAN_PAGES_DIR (the built pages), BIN_DIR, SOURCE_DIR.
set -u
here=$(cd "$(dirname "$0")" && pwd)
failures=0
work=$(mktemp -d "${TMPDIR:-/tmp}/man_options.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT

for program in hostlink tabgen imgbuild ndxupgrade devsim; do
    page="$MAN_PAGES_DIR/$program.1"
    if ! sh "$here/program_options.sh" "$program" > "$work/$program.options" || [ ! -s "$work/$program.options" ]; then
        echo "FAIL: no options could be read for $program"
        failures=$((failures + 1))
        continue
    fi
    # The OPTIONS section as a reader sees it; items begin at the section's
    # indentation with the option itself.
    MANWIDTH=200 man -l "$page" 2>/dev/null | col -bx |
        sed -n '/^OPTIONS$/,/^[A-Z][A-Z ]*$/p' > "$work/$program.section"
    grep -E '^       --?[A-Za-z0-9]' "$work/$program.section" |
        sed -E 's/^ +(--?[A-Za-z0-9][A-Za-z0-9-]*).*/\1/' | sort -u > "$work/$program.documented"

    missing=$(comm -23 "$work/$program.options" "$work/$program.documented" | tr '\n' ' ')
    unknown=$(comm -13 "$work/$program.options" "$work/$program.documented" | tr '\n' ' ')
    if [ -n "$missing" ]; then
        echo "FAIL: $program(1) does not document: $missing"
        failures=$((failures + 1))
    fi
    if [ -n "$unknown" ]; then
        echo "FAIL: $program(1) documents options $program does not take: $unknown"
        failures=$((failures + 1))
    fi
    [ -z "$missing" ] && [ -z "$unknown" ] &&
        echo "PASS: $program(1) documents its $(wc -l < "$work/$program.options") options"
done
[ "$failures" -eq 0 ]
