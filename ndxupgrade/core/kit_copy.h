#pragma once
// A user's working copy of a kit that the user may not write into (the
// package's kit under /usr/share, or a kit a root installed under /opt).
//
// The copy holds the kit's Tool/ and Kernel/. Tool/ programs become links to
// the installed ones, so that the loader keeps the group and capability it
// was installed with; every other file is copied. A stamp file in the copy
// records what the installed kit held when the copy was made or last
// refreshed (each file's size and content hash, each link's target). When the
// installed kit holds something else at a later start (a package upgrade, a
// new kit), the copy is refreshed from it:
//  - a file the user has not touched since then is replaced;
//  - a file the user changed, removed or put in place of a missing one is
//    kept, and the installed one is put beside it as <name>.new;
//  - files the installed kit never had (the parameter file the user creates,
//    image.dat, verinfo.txt, snr.tmp) are never touched;
//  - the parameters: a kit that ships only the plain Tool/prm_NDX470.inf has
//    it used up by the first upgrade, which scrambles it into the copy's
//    Tool/prm_NDX470.dat and deletes it. That is no removal of the user's:
//    a .dat made from the installed .inf is derived and is made again from
//    the installed kit's new .inf; a .dat that holds other parameters is the
//    user's, kept, with the new parameters beside it as prm_NDX470.dat.new.

#include <string>
#include <vector>

namespace ndx {

enum class KitCopyOutcome { Made, Refreshed, UpToDate, Failed };

struct KitCopyResult {
    KitCopyOutcome outcome = KitCopyOutcome::Failed;
    // Relative paths of the user's files kept in place of the installed ones.
    std::vector<std::string> keptChanged, keptRemoved;
    std::string error;  // Failed: what could not be done, with the path and the system's reason
};

// Makes or refreshes `copy` (created with its parents as needed) from the
// kit in `installed`. Waits at most a few seconds for another start doing the
// same.
KitCopyResult prepareKitCopy(const std::string& installed, const std::string& copy);

// The name of the stamp file inside the copy.
extern const char* const kitCopyStampName;

}  // namespace ndx
