#!/bin/sh
# The installed kit has the layout the upgrade tool expects, its scripts and
# programs can run, and its scrambled parameter file is the kit's plain one
# under the upgrade tool's own transform. No device needed.
. "$(dirname "$0")/kit_test_lib.sh"

kit="$work/kit"
install_kit "$kit"

for program in ndxupgrade Tool/hostlink Tool/tabgen Tool/imgbuild \
    Kernel/program_flash.sh Kernel/version.sh Kernel/per_test.sh; do
    check "$program is installed and executable" is_program "$kit/$program"
done
for file in README.md Tool/connect.txt Tool/backup.txt Tool/reset.txt Tool/find.txt Tool/prm_NDX470.dat; do
    check "$file is installed" is_file "$kit/$file"
done
check "only the scrambled parameter file ships" is_absent "$kit/Tool/prm_NDX470.inf"

"$PRM_SCRAMBLE" -u "$kit/Tool/prm_NDX470.dat" "$work/prm.inf" || fail "unscramble"
check "the scrambled file unscrambles to the kit's parameter file" \
    cmp -s "$work/prm.inf" "$KIT_SOURCE_DIR/Tool/prm_NDX470.inf"
check "the scrambled file does not read as the plain one" \
    sh -c '! grep -q MAC_ADDR "$1"' sh "$kit/Tool/prm_NDX470.dat"
compiles() { "$kit/Tool/tabgen" -f "$1" -o -v1 > /dev/null; }
check "the kit's parameter file compiles" compiles "$work/prm.inf"

verdict
