#pragma once
// The children's temporary files go to a folder of this run's own,
// $TMPDIR/ndxupgrade.XXXXXX, handed on to them as TMPDIR and removed when the
// run ends: what a script killed before its own clean-up left there goes
// with it, and a batch's devices each make theirs inside the batch's.

#include <string>

namespace ndx {

class PrivateTempDirectory {
public:
    // Where no folder can be made, TMPDIR stays as it is.
    PrivateTempDirectory();
    // Removes the folder with everything in it, and puts TMPDIR back.
    ~PrivateTempDirectory();
    PrivateTempDirectory(const PrivateTempDirectory&) = delete;
    PrivateTempDirectory& operator=(const PrivateTempDirectory&) = delete;

private:
    std::string path_;
    std::string previous_;
    bool hadPrevious_ = false;
};

}  // namespace ndx
