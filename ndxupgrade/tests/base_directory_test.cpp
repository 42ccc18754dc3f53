#include <gtest/gtest.h>

#include <set>

#include "core/base_directory.h"
#include "fakes.h"

namespace ndx {
namespace {

const std::string installed = "/usr/share/hostlink-toolset/kit";
const std::string userCopy = "/home/tech/.local/share/hostlink-toolset/kit";

TEST(BaseDirectory, Decision)
{
    const std::set<std::string> kits = {"/opt/ndx470", "/home/tech/kit", installed, userCopy, "/srv/ro-kit"};
    const std::set<std::string> readOnly = {installed, "/srv/ro-kit"};
    const struct {
        std::optional<std::string> current;
        std::string executable, installedKit, userKit;
        BaseSource source;
        std::string directory, copyOf;
    } cases[] = {
        {"/home/tech/kit", "/opt/ndx470", installed, userCopy, BaseSource::CurrentDirectory, "/home/tech/kit", ""},
        {"/home/tech", "/opt/ndx470", installed, userCopy, BaseSource::ExecutableDirectory, "/opt/ndx470", ""},
        {"/home/tech", "/usr/bin", "", userCopy, BaseSource::CurrentWithoutKit, "/home/tech", ""},
        {"/home/tech", "", "", userCopy, BaseSource::CurrentWithoutKit, "/home/tech", ""},
        {std::nullopt, "/opt/ndx470", installed, userCopy, BaseSource::Unreadable, "", ""},
        {"", "/opt/ndx470", installed, userCopy, BaseSource::Unreadable, "", ""},
        // The package's kit: found beside the program, worked on in the user's copy.
        {"/home/tech", "/usr/bin", installed, userCopy, BaseSource::InstalledKit, userCopy, installed},
        // ... also when started in it, and even where it could be written (root).
        {installed, "/usr/bin", installed, userCopy, BaseSource::CurrentDirectory, userCopy, installed},
        {installed + "/", "/usr/bin", installed, userCopy, BaseSource::CurrentDirectory, userCopy, installed + "/"},
        {"/opt/ndx470", "/usr/bin", "/opt/ndx470", userCopy, BaseSource::CurrentDirectory, userCopy, "/opt/ndx470"},
        // Any other kit that cannot be written: through the copy as well.
        {"/srv/ro-kit", "/usr/bin", installed, userCopy, BaseSource::CurrentDirectory, userCopy, "/srv/ro-kit"},
        {"/home/tech", "/srv/ro-kit", installed, userCopy, BaseSource::ExecutableDirectory, userCopy, "/srv/ro-kit"},
        // Started in the copy itself: used in place.
        {userCopy, "/usr/bin", installed, userCopy, BaseSource::CurrentDirectory, userCopy, ""},
        // No data folder known: the copy has no place (the start-up refuses).
        {"/home/tech", "/usr/bin", installed, "", BaseSource::InstalledKit, "", installed},
    };
    for (const auto& c : cases) {
        BaseCandidates candidates;
        candidates.currentDirectory = c.current;
        candidates.currentDirectoryError = "gone";
        candidates.executableDirectory = c.executable;
        candidates.installedKitDirectory = c.installedKit;
        candidates.userKitDirectory = c.userKit;
        candidates.holdsKit = [&](std::string d) {
            if (d.size() > 1 && d.back() == '/') d.pop_back();
            return kits.count(d) > 0;
        };
        candidates.writable = [&](const std::string& d) { return readOnly.count(d) == 0; };
        const BaseDecision d = decideBaseDirectory(candidates);
        SCOPED_TRACE(c.current.value_or("(unreadable)") + " " + c.executable);
        EXPECT_EQ(d.source, c.source);
        EXPECT_EQ(d.directory, c.directory);
        EXPECT_EQ(d.copyOf, c.copyOf);
    }
}

// The start-up carried out on real folders: a read-only kit (read-only for
// the test through the seam, since the tests may run as root) and a data
// folder in a scratch tree.
TEST(BaseDirectory, SettledThroughTheWorkingCopy)
{
    test::TempBase kit, scratch;
    const std::string copy = scratch.path() + "/data/hostlink-toolset/kit";
    BaseCandidates candidates;
    candidates.currentDirectory = kit.path();
    candidates.executableDirectory = "/usr/bin";
    candidates.userKitDirectory = copy;
    candidates.holdsKit = [](const std::string&) { return true; };
    candidates.writable = [&](const std::string& d) { return d != kit.path(); };
    const std::string line = "ndxupgrade: base directory " + copy + " (your working copy of " + kit.path() +
                             ", which is not writable; ";

    StartBase start = settleBaseDirectory(candidates);
    EXPECT_EQ(start.directory, copy);
    EXPECT_EQ(start.note, line + "made now)");
    EXPECT_FALSE(start.copyRefreshed);
    EXPECT_EQ(test::readFile(copy + "/Tool/connect.txt"), "W 8000 1\n");

    start = settleBaseDirectory(candidates);
    EXPECT_EQ(start.note, line + "up to date)");
    EXPECT_FALSE(start.copyRefreshed);

    test::writeFile(copy + "/Tool/connect.txt", "W 8000 7\n");
    test::writeFile(kit.root / "Tool/connect.txt", "W 8000 3\n");
    start = settleBaseDirectory(candidates);
    EXPECT_EQ(start.note, line + "refreshed from it now)\nndxupgrade: kept your own Tool/connect.txt; the installed "
                                 "kit's new one is Tool/connect.txt.new");
    EXPECT_TRUE(start.copyRefreshed);
    EXPECT_EQ(start.directory, copy);

    // The package's kit is named as such.
    candidates.installedKitDirectory = kit.path();
    EXPECT_EQ(settleBaseDirectory(candidates).note, "ndxupgrade: base directory " + copy +
                                                        " (your working copy of the installed kit " + kit.path() +
                                                        "; up to date)");
}

TEST(BaseDirectory, NoWorkingCopyStartsNothing)
{
    test::TempBase kit, scratch;
    test::writeFile(scratch.root / "data", "a file, not a folder");
    BaseCandidates candidates;
    candidates.currentDirectory = "/home/tech";
    candidates.executableDirectory = "/usr/bin";
    candidates.installedKitDirectory = kit.path();
    candidates.holdsKit = [&](const std::string& d) { return d == kit.path(); };
    candidates.writable = [](const std::string&) { return true; };
    const std::string advice =
        "); set XDG_DATA_HOME to a folder you can write, or start ndxupgrade in a writable copy of the kit.";

    candidates.userKitDirectory = scratch.path() + "/data/hostlink-toolset/kit";
    StartBase start = settleBaseDirectory(candidates);
    EXPECT_EQ(start.directory, "");
    EXPECT_EQ(start.note, "Can't set up your working copy of the kit " + kit.path() + " in " +
                              candidates.userKitDirectory + " (" + scratch.path() + "/data: Not a directory" + advice);

    candidates.userKitDirectory = "";
    candidates.userKitDirectoryError = "neither XDG_DATA_HOME nor HOME names a folder";
    start = settleBaseDirectory(candidates);
    EXPECT_EQ(start.directory, "");
    EXPECT_EQ(start.note, "Can't set up your working copy of the kit " + kit.path() +
                              " (neither XDG_DATA_HOME nor HOME names a folder" + advice);
}

}  // namespace
}  // namespace ndx
