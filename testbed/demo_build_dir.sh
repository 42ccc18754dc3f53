# demo_build_dir NAME BUILD_DIR: sets `build` to BUILD_DIR as an absolute
# path once it holds every program the demos run; otherwise says what is
# missing (as NAME, the make target that builds and runs the demo) and exits.
# Sourced by demo.sh and demo_batch.sh.
demo_build_dir() {
    if [ $# -ne 2 ]; then
        echo "usage: $0 BUILD_DIR" >&2
        exit 2
    fi
    build=$(cd "$2" 2>/dev/null && pwd) || { echo "$1: no build directory $2" >&2; exit 1; }
    for _program in ndxupgrade hostlink tabgen imgbuild devsim; do
        if [ ! -x "$build/bin/$_program" ]; then
            echo "$1: $build/bin/$_program is missing; build first (make $1 does)" >&2
            exit 1
        fi
    done
}
