#!/bin/sh
# program_options.sh PROGRAM: every option PROGRAM takes, one per line: the
# options its usage text names, run from the built program, and those of its
# option table in the source (letters the usage text leaves out, such as
# hostlink's -q, and long options added since the usage text was written).
# Environment: BIN_DIR (the built programs), SOURCE_DIR (the source tree).
set -u
program="$1"

usage_text() {
    case "$program" in
    hostlink | tabgen) "$BIN_DIR/$program" -h ;;
    imgbuild) "$BIN_DIR/imgbuild" -h 2>&1 ;;
    devsim) "$BIN_DIR/devsim" --help ;;
    # Without its required options the headless mode prints its usage; it
    # never opens a window.
    ndxupgrade) QT_QPA_PLATFORM=offscreen timeout 20 "$BIN_DIR/ndxupgrade" --upgrade 2>&1 < /dev/null ;;
    *) echo "program_options.sh: unknown program $program" >&2; exit 2 ;;
    esac
}

# The words of a usage text that are options: "-x" or "--long-name".
options_in_text() {
    tr '[]|(),<>' '        ' | tr -s ' \t' '\n\n' | grep -E '^(-[A-Za-z0-9]|--[a-z][a-z0-9-]*)$'
}

# getopt-style option string ("l:i:m:...") to "-l", "-i", ...
letters_of() {
    printf '%s' "$1" | tr -d ':' | sed 's/./-&\n/g'
}

option_string() {
    sed -n "s/.*$2 = \"\\([^\"]*\\)\".*/\\1/p" "$SOURCE_DIR/$1"
}

source_options() {
    case "$program" in
    hostlink) letters_of "$(option_string hostlink/startup/command_line.cpp OPTION_STRING)" ;;
    tabgen) letters_of "$(option_string tabgen/run_tabgen.cpp option_string)" ;;
    imgbuild) letters_of "$(option_string imgbuild/image_builder.cpp option_string)" ;;
    devsim)
        sed -n 's/.*getopt_long(argc, argv, "\([^"]*\)".*/\1/p' "$SOURCE_DIR/testbed/devsim/options.cpp" |
            while read -r short; do letters_of "$short"; done
        sed -n 's/^ *{"\([a-z][a-z0-9-]*\)", *[a-z_]*argument.*/--\1/p' "$SOURCE_DIR/testbed/devsim/options.cpp"
        ;;
    ndxupgrade)
        grep -rhoE --include='*.cpp' --exclude-dir=tests '"--[a-z][a-z0-9-]*"' "$SOURCE_DIR/ndxupgrade" | tr -d '"'
        ;;
    esac
}

{
    usage_text | options_in_text
    source_options
} | sort -u
