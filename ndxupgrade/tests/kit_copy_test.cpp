// The working copy of a kit the user may not write into, on real folders: an
// "installed" kit laid out as the package lays it out (its folders and files
// made read-only; the tests may run as root, who writes anyway, so what the
// user may write is checked as an unprivileged user) and a data folder in a
// scratch tree.

#include <gtest/gtest.h>
#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>

#include "core/kit_copy.h"
#include "fakes.h"

namespace ndx {
namespace {

using namespace test;
namespace fs = std::filesystem;

// <prefix>/bin/hostlink and <prefix>/share/hostlink-toolset/kit, whose
// Tool/hostlink is a relative link to it (as in the package) and whose
// Tool/tabgen is a program file of its own (as in a kit installed in /opt).
class InstalledKit {
public:
    InstalledKit() : kit(prefix.root / "share/hostlink-toolset/kit"), copy((data.root / "hostlink-toolset/kit").string())
    {
        fs::create_directories(prefix.root / "bin");
        writeFile(prefix.root / "bin/hostlink", "#!/bin/sh\n");
        fs::create_directories(kit.parent_path());
        fs::rename(base.root, kit);
        fs::remove(kit / "Tool/hostlink");
        fs::create_symlink("../../../../bin/hostlink", kit / "Tool/hostlink");
        writeFile(kit / "Tool/tabgen", "#!/bin/sh\n");
        fs::permissions(kit / "Tool/tabgen", fs::perms::owner_exec, fs::perm_options::add);
        setReadOnly(true);
    }
    ~InstalledKit()
    {
        setReadOnly(false);
        fs::remove_all(kit);
    }
    // Changes the installed kit as a package upgrade would.
    void upgrade(const std::function<void(const fs::path& kit)>& change)
    {
        setReadOnly(false);
        change(kit);
        setReadOnly(true);
    }
    KitCopyResult prepare() const { return prepareKitCopy(kit.string(), copy); }
    fs::path in(const std::string& relative) const { return fs::path(copy) / relative; }

    TempBase prefix, base, data;
    fs::path kit;
    std::string copy;

private:
    // As the package installs it: nothing in the kit is the user's to write.
    void setReadOnly(bool on)
    {
        std::vector<fs::path> entries = {kit};
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(kit))
            if (!entry.is_symlink()) entries.push_back(entry.path());
        for (const fs::path& entry : entries)
            fs::permissions(entry, fs::perms::owner_write, on ? fs::perm_options::remove : fs::perm_options::add);
    }
};

std::optional<std::string> content(const fs::path& path)
{
    if (!fs::exists(fs::symlink_status(path))) return std::nullopt;
    return readFile(path);
}

bool writable(const fs::path& path) { return ::access(path.c_str(), W_OK) == 0; }

// Runs `check` as an unprivileged user, for whom file modes count: at once
// when the tests run as one, else in a child that has become nobody, with a
// scratch folder of its own. Where the child cannot become nobody (status
// 77), the test is skipped.
void asUnprivilegedUser(const std::function<void()>& check)
{
    if (::geteuid() != 0) {
        check();
        return;
    }
    const passwd* nobody = ::getpwnam("nobody");
    const uid_t uid = nobody ? nobody->pw_uid : 65534;
    const gid_t gid = nobody ? nobody->pw_gid : 65534;
    std::string scratch = (fs::temp_directory_path() / "kit-copy-user-XXXXXX").string();
    ASSERT_NE(::mkdtemp(scratch.data()), nullptr);
    std::fflush(stdout);
    const pid_t child = ::chown(scratch.c_str(), uid, gid) == 0 ? ::fork() : -1;
    if (child < 0) fs::remove_all(scratch);
    ASSERT_GE(child, 0) << std::strerror(errno);
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0 ||
            ::access(scratch.c_str(), W_OK | X_OK) != 0 || ::setenv("TMPDIR", scratch.c_str(), 1) != 0)
            ::_exit(77);
        check();
        std::fflush(stdout);
        ::_exit(testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    fs::remove_all(scratch);
    ASSERT_TRUE(WIFEXITED(status)) << "the check ended by signal " << WTERMSIG(status);
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "cannot become user " << uid << " with " << scratch;
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the check failed as user " << uid;
}

TEST(KitCopy, FirstStartMakesItSecondReusesIt)
{
    InstalledKit installed;
    KitCopyResult result = installed.prepare();
    ASSERT_EQ(result.outcome, KitCopyOutcome::Made) << result.error;
    for (const char* file : {"Tool/connect.txt", "Tool/reset.txt", "Tool/prm_NDX470.dat", "Kernel/program_flash.sh",
                             "Kernel/version.sh", "Kernel/per_test.sh"}) {
        SCOPED_TRACE(file);
        EXPECT_EQ(content(installed.in(file)), readFile(installed.kit / file));
        EXPECT_FALSE(fs::is_symlink(installed.in(file)));
        EXPECT_NE(fs::status(installed.in(file)).permissions() & fs::perms::owner_write, fs::perms::none);
    }
    // The programs are the installed ones, reached by absolute links, so the
    // loader keeps its group and capability.
    const fs::path hostlink = fs::canonical(installed.prefix.root / "bin/hostlink");
    EXPECT_EQ(fs::read_symlink(installed.in("Tool/hostlink")), hostlink);
    EXPECT_EQ(fs::read_symlink(installed.in("Tool/tabgen")), fs::canonical(installed.kit / "Tool/tabgen"));
    EXPECT_FALSE(fs::exists(installed.copy + ".new"));

    result = installed.prepare();
    EXPECT_EQ(result.outcome, KitCopyOutcome::UpToDate) << result.error;
    EXPECT_TRUE(result.keptChanged.empty() && result.keptRemoved.empty());
}

// Installed files are read-only; the copy is the user's to edit: its files,
// the files a refresh replaces and the installed files put beside the user's
// own as <file>.new.
TEST(KitCopy, CopiedFilesAreTheUsersToWrite)
{
    asUnprivilegedUser([] {
        InstalledKit installed;
        ASSERT_FALSE(writable(installed.kit / "Tool/connect.txt")) << "the fixture's kit is read-only";
        ASSERT_EQ(installed.prepare().outcome, KitCopyOutcome::Made);
        for (const char* file : {"Tool/connect.txt", "Tool/reset.txt", "Tool/prm_NDX470.dat", "Kernel/version.sh"})
            EXPECT_TRUE(writable(installed.in(file))) << file;
        writeFile(installed.in("Tool/connect.txt"), "W 8000 9\n");
        installed.upgrade([](const fs::path& kit) {
            writeFile(kit / "Tool/connect.txt", "W 8000 3\n");
            writeFile(kit / "Tool/reset.txt", "W 8000 4\n");
        });
        const KitCopyResult result = installed.prepare();
        ASSERT_EQ(result.outcome, KitCopyOutcome::Refreshed) << result.error;
        EXPECT_EQ(content(installed.in("Tool/reset.txt")), "W 8000 4\n");
        EXPECT_TRUE(writable(installed.in("Tool/reset.txt"))) << "refreshed";
        EXPECT_EQ(content(installed.in("Tool/connect.txt.new")), "W 8000 3\n");
        EXPECT_TRUE(writable(installed.in("Tool/connect.txt.new"))) << "beside the user's own";
    });
}

// A newer installed kit refreshes the copy; the user's own files survive it.
TEST(KitCopy, RefreshKeepsTheUsersFiles)
{
    using Change = std::function<void(const fs::path&)>;
    const Change nothing = [](const fs::path&) {};
    const auto put = [](const char* file, const char* text) {
        return Change([=](const fs::path& root) { writeFile(root / file, text); });
    };
    const auto drop = [](const char* file) { return Change([=](const fs::path& root) { fs::remove(root / file); }); };
    const auto both = [](Change a, Change b) {
        return Change([=](const fs::path& root) {
            a(root);
            b(root);
        });
    };
    const std::optional<std::string> none;
    const std::vector<std::string> empty;
    const struct {
        const char* name;
        Change user, upgrade;
        const char* file;
        std::optional<std::string> inCopy, beside;  // the file in the copy, and <file>.new
        std::vector<std::string> keptChanged, keptRemoved;
        const char* otherFile;  // a further file of the user's, unchanged
    } cases[] = {
        {"untouched file replaced", nothing, put("Tool/connect.txt", "W 8000 3\n"), "Tool/connect.txt",
         "W 8000 3\n", none, empty, empty, nullptr},
        {"changed file kept", put("Tool/connect.txt", "W 8000 9\n"), put("Tool/connect.txt", "W 8000 3\n"),
         "Tool/connect.txt", "W 8000 9\n", "W 8000 3\n", {"Tool/connect.txt"}, empty, nullptr},
        {"removed file stays removed", drop("Kernel/per_test.sh"), put("Kernel/per_test.sh", "exit 1\n"),
         "Kernel/per_test.sh", none, "exit 1\n", empty, {"Kernel/per_test.sh"}, nullptr},
        {"changed file whose installed one did not change", put("Tool/connect.txt", "W 8000 9\n"),
         put("Tool/reset.txt", "W 8000 4\n"), "Tool/connect.txt", "W 8000 9\n", none, empty, empty, nullptr},
        {"parameter file made anew kept", put("Tool/prm_NDX470.dat", "mine"), put("Tool/prm_NDX470.dat", "newer"),
         "Tool/prm_NDX470.dat", "mine", "newer", {"Tool/prm_NDX470.dat"}, empty, nullptr},
        {"plain parameter file waiting for the next upgrade",
         both(drop("Tool/prm_NDX470.dat"), put("Tool/prm_NDX470.inf", "MAC_ADDR=0A:3F:71:00:00:07\n")),
         put("Tool/prm_NDX470.dat", "newer"), "Tool/prm_NDX470.dat", none, "newer", empty, {"Tool/prm_NDX470.dat"},
         "Tool/prm_NDX470.inf"},
        {"results of earlier runs untouched", put("Kernel/image.dat", "image"), put("Kernel/version.sh", "exit 2\n"),
         "Kernel/version.sh", "exit 2\n", none, empty, empty, "Kernel/image.dat"},
        {"new installed file added", nothing, put("Kernel/extra.sh", "exit 0\n"), "Kernel/extra.sh", "exit 0\n", none,
         empty, empty, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        InstalledKit installed;
        ASSERT_EQ(installed.prepare().outcome, KitCopyOutcome::Made);
        c.user(installed.copy);
        const std::optional<std::string> other = c.otherFile ? content(installed.in(c.otherFile)) : none;
        installed.upgrade(c.upgrade);

        const KitCopyResult result = installed.prepare();
        ASSERT_EQ(result.outcome, KitCopyOutcome::Refreshed) << result.error;
        EXPECT_EQ(content(installed.in(c.file)), c.inCopy);
        EXPECT_EQ(content(installed.in(std::string(c.file) + ".new")), c.beside);
        EXPECT_EQ(result.keptChanged, c.keptChanged);
        EXPECT_EQ(result.keptRemoved, c.keptRemoved);
        if (c.otherFile) {
            EXPECT_TRUE(other);
            EXPECT_EQ(content(installed.in(c.otherFile)), other);
        }
        EXPECT_EQ(installed.prepare().outcome, KitCopyOutcome::UpToDate);
    }
}

// A kit that ships only the plain parameter file: the first upgrade from the
// copy scrambles it into Tool/prm_NDX470.dat and deletes it (as here by hand).
// That was the program, not the user: when the installed file changes, the
// copy's parameters follow it, unless they are the user's own.
TEST(KitCopy, ParametersMadeFromTheInstalledPlainFileFollowIt)
{
    const auto scrambledText = [](const std::string& plain) {
        const std::vector<std::uint8_t> bytes = scramble(std::vector<std::uint8_t>(plain.begin(), plain.end()));
        return std::string(bytes.begin(), bytes.end());
    };
    const std::string shipped = "USB_Serial = \"NDX470-0001\"\n", changed = "USB_Serial = \"NDX470-0002\"\n";
    const std::optional<std::string> none;
    const struct {
        const char* name;
        std::optional<std::string> plainInCopy;      // before the refresh; none: used up by an upgrade
        std::optional<std::string> scrambledInCopy;  // its plain text
        std::string installedAfter;
        std::optional<std::string> scrambledAfter, scrambledBeside, plainAfter;
        std::vector<std::string> keptChanged, keptRemoved;
    } cases[] = {
        {"used up and derived: made again from the new file", none, shipped, changed, scrambledText(changed), none,
         none, {}, {}},
        {"used up, the user's own parameters: kept", none, "MINE=1\n", changed, scrambledText("MINE=1\n"),
         scrambledText(changed), none, {"Tool/prm_NDX470.dat"}, {}},
        {"not used yet: replaced", shipped, none, changed, none, none, changed, {}, {}},
        {"removed by the user, nothing made from it", none, none, changed, none, none, none, {},
         {"Tool/prm_NDX470.inf"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        InstalledKit installed;
        installed.upgrade([&](const fs::path& kit) {
            fs::remove(kit / "Tool/prm_NDX470.dat");
            writeFile(kit / "Tool/prm_NDX470.inf", shipped);
        });
        ASSERT_EQ(installed.prepare().outcome, KitCopyOutcome::Made);
        if (!c.plainInCopy) fs::remove(installed.in("Tool/prm_NDX470.inf"));
        if (c.scrambledInCopy) writeFile(installed.in("Tool/prm_NDX470.dat"), scrambledText(*c.scrambledInCopy));
        installed.upgrade([&](const fs::path& kit) { writeFile(kit / "Tool/prm_NDX470.inf", c.installedAfter); });

        const KitCopyResult result = installed.prepare();
        ASSERT_EQ(result.outcome, KitCopyOutcome::Refreshed) << result.error;
        EXPECT_EQ(content(installed.in("Tool/prm_NDX470.dat")), c.scrambledAfter);
        EXPECT_EQ(content(installed.in("Tool/prm_NDX470.dat.new")), c.scrambledBeside);
        EXPECT_EQ(content(installed.in("Tool/prm_NDX470.inf")), c.plainAfter);
        EXPECT_EQ(result.keptChanged, c.keptChanged);
        EXPECT_EQ(result.keptRemoved, c.keptRemoved);
        EXPECT_EQ(installed.prepare().outcome, KitCopyOutcome::UpToDate);
    }
}

// Once the user takes the installed file over (renames the .new into place),
// the next refresh replaces it again.
TEST(KitCopy, TakenOverFileFollowsTheInstalledKitAgain)
{
    InstalledKit installed;
    ASSERT_EQ(installed.prepare().outcome, KitCopyOutcome::Made);
    writeFile(installed.in("Tool/connect.txt"), "W 8000 9\n");
    installed.upgrade([](const fs::path& kit) { writeFile(kit / "Tool/connect.txt", "W 8000 3\n"); });
    ASSERT_EQ(installed.prepare().keptChanged, std::vector<std::string>{"Tool/connect.txt"});
    fs::rename(installed.in("Tool/connect.txt.new"), installed.in("Tool/connect.txt"));
    installed.upgrade([](const fs::path& kit) { writeFile(kit / "Tool/connect.txt", "W 8000 5\n"); });
    const KitCopyResult result = installed.prepare();
    EXPECT_EQ(result.outcome, KitCopyOutcome::Refreshed);
    EXPECT_TRUE(result.keptChanged.empty());
    EXPECT_EQ(content(installed.in("Tool/connect.txt")), "W 8000 5\n");
    EXPECT_FALSE(fs::exists(installed.in("Tool/connect.txt.new")));
}

// A copy that someone made by hand (no stamp): what matches the installed kit
// is adopted, what differs counts as the user's, what is missing is added.
TEST(KitCopy, CopyWithoutStampIsAdopted)
{
    InstalledKit installed;
    fs::create_directories(installed.in("Tool"));
    writeFile(installed.in("Tool/connect.txt"), "W 8000 9\n");
    writeFile(installed.in("Tool/reset.txt"), readFile(installed.kit / "Tool/reset.txt"));
    const KitCopyResult result = installed.prepare();
    EXPECT_EQ(result.outcome, KitCopyOutcome::Refreshed) << result.error;
    EXPECT_EQ(result.keptChanged, std::vector<std::string>{"Tool/connect.txt"});
    EXPECT_FALSE(fs::exists(installed.in("Tool/reset.txt.new")));
    EXPECT_TRUE(fs::is_symlink(installed.in("Tool/hostlink")));
    EXPECT_TRUE(fs::exists(installed.in("Kernel/program_flash.sh")));
    EXPECT_EQ(installed.prepare().outcome, KitCopyOutcome::UpToDate);
}

TEST(KitCopy, FailureNamesThePlaceAndMakesNothing)
{
    InstalledKit installed;
    writeFile(installed.data.root / "hostlink-toolset", "a file where the folder should be");
    KitCopyResult result = installed.prepare();
    EXPECT_EQ(result.outcome, KitCopyOutcome::Failed);
    EXPECT_EQ(result.error, installed.data.path() + "/hostlink-toolset: Not a directory");

    fs::remove(installed.data.root / "hostlink-toolset");
    fs::create_directories(installed.data.root / "hostlink-toolset");
    writeFile(installed.copy, "a file where the copy should be");
    result = installed.prepare();
    EXPECT_EQ(result.outcome, KitCopyOutcome::Failed);
    EXPECT_EQ(result.error, installed.copy + ": Not a directory");

    fs::remove(installed.copy);
    result = prepareKitCopy((installed.prefix.root / "no-kit").string(), installed.copy);
    EXPECT_EQ(result.outcome, KitCopyOutcome::Failed);
    EXPECT_NE(result.error.find("no-kit/Tool: No such file or directory"), std::string::npos) << result.error;
    EXPECT_FALSE(fs::exists(installed.copy));
}

}  // namespace
}  // namespace ndx
