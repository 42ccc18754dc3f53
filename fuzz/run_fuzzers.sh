#!/bin/sh
# Runs every libFuzzer program of a build configured with -DFUZZING=ON for a
# fixed time each, starting from its seed corpus in fuzz/corpus/<name>/.
#
#   run_fuzzers.sh BUILD_DIR [SECONDS] [NAME...]
#
# SECONDS defaults to 60; NAMEs pick targets (default: every corpus folder).
# New inputs go to a scratch folder, never into the repository. A crash, a
# leak, a sanitizer report or an input that hangs fails the run: the input is
# kept under BUILD_DIR/fuzz/artifacts/<name>/ and its path is printed, with
# the end of the fuzzer's log (the whole log is BUILD_DIR/fuzz/<name>.log).
set -u

if [ $# -lt 1 ]; then
    echo "usage: run_fuzzers.sh BUILD_DIR [SECONDS] [NAME...]" >&2
    exit 2
fi
build=$(cd "$1" && pwd) || exit 2
seconds=${2:-60}
[ $# -ge 2 ] && shift 2 || shift $#
here=$(cd "$(dirname "$0")" && pwd)

if [ $# -eq 0 ]; then
    for corpus in "$here"/corpus/*/; do
        set -- "$@" "$(basename "$corpus")"
    done
fi

status=0
for name in "$@"; do
    program="$build/fuzz/$name"
    if [ ! -x "$program" ]; then
        echo "fuzz: $program is missing (configure the build with -DFUZZING=ON)"
        status=1
        continue
    fi
    artifacts="$build/fuzz/artifacts/$name"
    log="$build/fuzz/$name.log"
    scratch=$(mktemp -d "${TMPDIR:-/tmp}/fuzz_$name.XXXXXX") || exit 1
    mkdir -p "$artifacts"
    # Standard output is closed for the target: the loader's commands print
    # a great deal; every report of the fuzzer and the sanitizers is on stderr.
    "$program" -max_total_time="$seconds" -timeout=10 -close_fd_mask=1 -print_final_stats=1 \
        -artifact_prefix="$artifacts/" "$scratch" "$here/corpus/$name" >"$log" 2>&1
    result=$?
    rm -rf "$scratch"
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    if [ "$result" -ne 0 ]; then
        tail -n 40 "$log"
        kept=$(sed -n 's/.*Test unit written to //p' "$log")
        echo "fuzz: $name FAILED (status $result); input kept at: ${kept:-none written, see $log}"
        status=1
    else
        echo "fuzz: $name: ${runs:-?} inputs in $seconds s, nothing found"
    fi
done
exit $status
