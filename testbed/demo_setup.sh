# Set-up shared by demo.sh and demo_batch.sh; NAME is the make target that
# builds and runs the demo.
#
# demo_build_dir NAME BUILD_DIR: sets `build` to BUILD_DIR as an absolute
# path once it holds every program the demos run; otherwise says what is
# missing and exits.
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

# demo_install_kit NAME: installs the kit from $build into a scratch folder
# removed at exit; sets `tmp` (the folder) and `kit` (the kit in it).
demo_install_kit() {
    tmp=$(mktemp -d "${TMPDIR:-/tmp}/hostlink-$1.XXXXXX") || exit 1
    trap 'rm -rf "$tmp"' EXIT
    trap 'exit 143' INT TERM
    kit="$tmp/kit"
    # The emulated devices' records stay in the scratch folder, out of the
    # user's own history.
    XDG_STATE_HOME="$tmp/state"
    export XDG_STATE_HOME

    echo "== Installing the kit: cmake --install $build --prefix $kit"
    if ! cmake --install "$build" --prefix "$kit" > "$tmp/install.log" 2>&1; then
        cat "$tmp/install.log"
        exit 1
    fi
}
