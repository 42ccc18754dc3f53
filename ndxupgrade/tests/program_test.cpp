// The real ndxupgrade binary: its command line without a display, and the
// base directory it chooses (reported first on standard error).

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "fakes.h"

namespace ndx {
namespace {

using namespace test;
namespace fs = std::filesystem;

struct ProgramRun {
    int status = -1;
    std::string output, errors;
};

// Runs a shell command line in which $NDX names the program, with no display
// and no Qt platform; bounded in time.
ProgramRun runShell(const TempBase& scratch, const std::string& command, const std::string& program = NDXUPGRADE_BINARY)
{
    const fs::path errors = scratch.root / "errors.txt";
    // A run's record goes to the scratch tree's history, not the user's.
    const std::string line = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u NDX_HISTORY_DB XDG_STATE_HOME='" +
                             (scratch.root / "state").string() + "' NDX='" + program +
                             "' timeout -k 2 20 sh -c '" + command + "' 2>'" + errors.string() + "'";
    ProgramRun run;
    FILE* pipe = ::popen(line.c_str(), "r");
    if (!pipe) return run;
    char buffer[512];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, got);
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.errors = readFile(errors);
    return run;
}

TEST(Program, CommandLineNeedsNoDisplay)
{
    TempBase scratch;
    const struct {
        const char* arguments;
        int status;
        const char* output;  // what standard output starts with
        const char* errors;  // what standard error starts with
    } cases[] = {
        {"--help", 0, "usage: ndxupgrade [--gui] [--diagnostic-page]\n", ""},
        {"-h", 0, "usage: ndxupgrade [--gui] [--diagnostic-page]\n", ""},
        {"--version", 0, "ndxupgrade (hostlink-toolset) ", ""},
        {"--upgarde", 2, "", "ndxupgrade: unknown option --upgarde\nusage: ndxupgrade [--gui] [--diagnostic-page]\n"},
        {"--upgrade --mac 0A-3F-71-00-00-07", 2, "", "ndxupgrade: this mode needs --mac and --interface\nusage:"},
        {"--upgrade --query-version", 2, "", "ndxupgrade: --query-version cannot be combined with another mode\n"},
        {"--mac", 2, "", "ndxupgrade: --mac needs a value\n"},
        {"--gui --mac 0A-3F-71-00-00-07", 2, "", "ndxupgrade: the window takes no device options"},
        {"--diagnose --local 0A-3F-71-00-00-07 --remote 0A-3F-71-00-00-08 --diagnostic-page", 2, "",
         "ndxupgrade: --diagnostic-page is for the window; it takes no other mode\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        const ProgramRun run = runShell(scratch, std::string("exec \"$NDX\" ") + c.arguments);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.output.substr(0, std::string(c.output).size()), c.output);
        if (*c.output == 0) {
            EXPECT_EQ(run.output, "");
        }
        EXPECT_EQ(run.errors.substr(0, std::string(c.errors).size()), c.errors) << run.errors;
    }
}

// Outside the test network the interface is never found, so each run ends
// right after the base directory line, having started nothing.
TEST(Program, BaseDirectory)
{
    TempBase kit, elsewhere;
    fs::remove_all(elsewhere.root / "Tool");
    fs::remove_all(elsewhere.root / "Kernel");
    fs::copy_file(NDXUPGRADE_BINARY, kit.root / "ndxupgrade");
    fs::permissions(kit.root / "ndxupgrade", fs::perms::owner_all);
    const std::string installed = (kit.root / "ndxupgrade").string();
    const std::string bin = fs::path(NDXUPGRADE_BINARY).parent_path().string();
    const std::string query = " --query-version --mac 0A-3F-71-00-00-07 --interface no-such-if";
    const struct {
        std::string directory, program, firstLine;
    } cases[] = {
        {kit.path(), installed, "ndxupgrade: base directory " + kit.path()},
        {elsewhere.path(), installed,
         "ndxupgrade: base directory " + kit.path() + " (the program's directory; " + elsewhere.path() +
             " holds no Tool/ and Kernel/)"},
        {elsewhere.path(), NDXUPGRADE_BINARY,
         "ndxupgrade: base directory " + elsewhere.path() + " (no Tool/ and Kernel/ here nor in " + bin + ")"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.firstLine);
        const ProgramRun run = runShell(elsewhere, "cd \"" + c.directory + "\" && exec \"$NDX\"" + query, c.program);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.errors.substr(0, run.errors.find('\n')), c.firstLine);
        EXPECT_EQ(run.output, "Err: interface no-such-if is not listed.\n");
    }
}

// A search keeps standard output for the addresses alone, even when it
// cannot be made: the reason goes to standard error.
TEST(Program, FindKeepsStandardOutputForTheAddresses)
{
    TempBase kit;
    for (const char* arguments : {" --find --interface no-such-if", " --find --interface no-such-if --window 50",
                                  " --upgrade --all-found --expect 2 --interface no-such-if"}) {
        SCOPED_TRACE(arguments);
        const ProgramRun run = runShell(kit, "cd \"" + kit.path() + "\" && exec \"$NDX\"" + arguments);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.output, "");
        EXPECT_NE(run.errors.find("\nErr: interface no-such-if is not listed.\n"), std::string::npos) << run.errors;
    }
}

// A wrong device list, and a report or run folder that cannot be written,
// are found before anything starts: no run folder, no parameter file, exit
// status 2, as for a single run's malformed MAC address.
TEST(Program, BatchMistakesStartNothing)
{
    TempBase kit;
    writeFile(kit.root / "macs.txt", "0A-3F-71-00-00-07\n0A-3F-71-00-00\n0a:3f:71:00:00:07\n0A-3F-71-00-00-0G\n");
    writeFile(kit.root / "good.txt", "0A-3F-71-00-00-07\n");
    writeFile(kit.root / "old.csv", "kept");
    fs::create_directories(kit.root / "full");
    writeFile(kit.root / "full/log.txt", "earlier");
    const std::string k = kit.path();
    const struct {
        std::string arguments, errors;
    } cases[] = {
        {"--mac-list macs.txt",
         "ndxupgrade: macs.txt:2: not a MAC address: 0A-3F-71-00-00\n"
         "ndxupgrade: macs.txt:4: not a MAC address: 0A-3F-71-00-00-0G\n"
         "ndxupgrade: macs.txt:3: 0A-3F-71-00-00-07 is listed twice (also on line 1)\n"},
        {"--mac-list missing.txt", "ndxupgrade: cannot read the MAC list missing.txt\n"},
        {"--mac 0A-3F-71-00-00-07 --mac 0A-3F-71-00-00-0", "ndxupgrade: not a MAC address: 0A-3F-71-00-00-0\n"},
        {"--mac-list good.txt --report good.txt",
         "ndxupgrade: cannot write the report good.txt: it is the --mac-list file\n"},
        {"--mac-list good.txt --report ./x/../good.txt",
         "ndxupgrade: cannot write the report ./x/../good.txt: it is the --mac-list file\n"},
        {"--mac-list good.txt --report no-folder/r.csv",
         "ndxupgrade: cannot write the report no-folder/r.csv: No such file or directory\n"},
        {"--mac-list good.txt --report Tool", "ndxupgrade: cannot write the report Tool: Is a directory\n"},
        {"--mac-list good.txt --report good.txt/r.csv",
         "ndxupgrade: cannot write the report good.txt/r.csv: Not a directory\n"},
        {"--mac-list good.txt --report old.csv --run-dir good.txt/run",
         "ndxupgrade: cannot make the run folder " + k + "/good.txt/run: Not a directory\n"},
        {"--mac-list good.txt --run-dir full",
         "ndxupgrade: cannot make the run folder " + k + "/full: the run folder must be empty\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        const ProgramRun run =
            runShell(kit, "cd \"" + kit.path() + "\" && exec \"$NDX\" --upgrade --interface no-such-if " + c.arguments);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.output, "");
        EXPECT_EQ(run.errors, "ndxupgrade: base directory " + kit.path() + "\n" + c.errors);
    }
    EXPECT_FALSE(fs::exists(kit.root / "runs"));
    EXPECT_FALSE(fs::exists(kit.root / "no-folder"));
    EXPECT_FALSE(fs::exists(kit.root / "Tool/prm_NDX470.inf"));
    EXPECT_EQ(readFile(kit.root / "old.csv"), "kept");

    // The checks themselves leave nothing behind: a batch that gets as far as
    // the interface has made no report yet.
    const ProgramRun run = runShell(
        kit, "cd \"" + kit.path() + "\" && exec \"$NDX\" --upgrade --interface no-such-if --mac-list good.txt "
             "--report new.csv --run-dir fresh/run");
    EXPECT_EQ(run.status, 1);
    EXPECT_FALSE(fs::exists(kit.root / "new.csv"));
    EXPECT_FALSE(fs::exists(kit.root / "fresh"));
}

// A malformed MAC address is a command-line mistake, alone or in a batch.
TEST(Program, MalformedMacIsACommandLineMistake)
{
    TempBase kit;
    const std::string error = "ndxupgrade: not a MAC address: 0A-3F-71-00-00-7\n";
    for (const char* mode : {"--upgrade", "--query-version", "--upgrade --jobs 2"}) {
        SCOPED_TRACE(mode);
        const ProgramRun run = runShell(kit, "cd \"" + kit.path() + "\" && exec \"$NDX\" " + mode +
                                                 " --interface no-such-if --mac 0A-3F-71-00-00-7");
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.output, "");
        EXPECT_EQ(run.errors, "ndxupgrade: base directory " + kit.path() + "\n" + error);
    }
    const ProgramRun run = runShell(kit, "cd \"" + kit.path() + "\" && exec \"$NDX\" --diagnose --local "
                                         "0A-3F-71-00-00-07 --remote 0A-3F-71-00-00-7 --interface no-such-if");
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.errors, "ndxupgrade: base directory " + kit.path() + "\n" + error);
}

// The package's layout: <prefix>/bin/ndxupgrade and the kit in
// <prefix>/share/hostlink-toolset/kit. Started anywhere else, the program
// works in the user's copy of that kit under XDG_DATA_HOME.
TEST(Program, InstalledKitThroughTheWorkingCopy)
{
    TempBase prefix, base, elsewhere;
    fs::remove_all(elsewhere.root / "Tool");
    fs::remove_all(elsewhere.root / "Kernel");
    fs::create_directories(prefix.root / "bin");
    fs::copy_file(NDXUPGRADE_BINARY, prefix.root / "bin/ndxupgrade");
    fs::permissions(prefix.root / "bin/ndxupgrade", fs::perms::owner_all);
    const fs::path kit = prefix.root / "share/hostlink-toolset/kit";
    fs::create_directories(kit.parent_path());
    fs::rename(base.root, kit);
    const std::string data = elsewhere.path() + "/data";
    const std::string copy = data + "/hostlink-toolset/kit";
    const std::string line = "ndxupgrade: base directory " + copy + " (your working copy of the installed kit " +
                             kit.string() + "; ";
    const std::string notListed = "Err: interface no-such-if is not listed.\n";
    const struct {
        std::function<void()> before;
        std::string dataHome;
        int status;
        std::string firstLine, output;
    } cases[] = {
        {[] {}, data, 1, line + "made now)", notListed},
        {[] {}, data, 1, line + "up to date)", notListed},
        {[&] { writeFile(kit / "Tool/connect.txt", "W 8000 3\n"); }, data, 1, line + "refreshed from it now)",
         notListed},
        // No place for the copy: nothing starts.
        {[&] { writeFile(elsewhere.root / "file", ""); }, elsewhere.path() + "/file", 1,
         "Can't set up your working copy of the kit " + kit.string() + " in " + elsewhere.path() +
             "/file/hostlink-toolset/kit (" + elsewhere.path() + "/file: Not a directory); set XDG_DATA_HOME to a "
             "folder you can write, or start ndxupgrade in a writable copy of the kit.",
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.firstLine);
        c.before();
        const ProgramRun run = runShell(elsewhere,
                                        "cd \"" + elsewhere.path() + "\" && XDG_DATA_HOME=\"" + c.dataHome +
                                            "\" exec \"$NDX\" --query-version --mac 0A-3F-71-00-00-07 --interface no-such-if",
                                        (prefix.root / "bin/ndxupgrade").string());
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.errors.substr(0, run.errors.find('\n')), c.firstLine);
        EXPECT_EQ(run.output, c.output);
    }
    EXPECT_EQ(readFile(copy + "/Tool/connect.txt"), "W 8000 3\n");
}

// A current directory that cannot be read (removed, or too deep for any path
// below it to open) starts nothing: no paths at the file system root.
TEST(Program, UnreadableCurrentDirectoryStartsNothing)
{
    TempBase scratch;
    const std::string query = "exec \"$NDX\" --query-version --mac 0A-3F-71-00-00-07 --interface lo";
    const std::string refusal = "); start ndxupgrade from the directory that holds Tool and Kernel.\n";

    ProgramRun run = runShell(scratch, "cd \"" + scratch.path() + "\" && mkdir gone && cd gone && rmdir ../gone && " + query);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(run.errors, "Can't read the current directory (No such file or directory" + refusal);

    // Deeper than a page (the getcwd system call refuses it): entered one
    // step at a time, as no shell can.
    const int home = ::open(".", O_RDONLY | O_DIRECTORY);
    ASSERT_GE(home, 0);
    ASSERT_EQ(::chdir(scratch.path().c_str()), 0);
    const std::string step(250, 'd');
    for (int i = 0; i < 24; ++i) ASSERT_TRUE(::mkdir(step.c_str(), 0700) == 0 && ::chdir(step.c_str()) == 0);
    run = runShell(scratch, query);
    ASSERT_EQ(::fchdir(home), 0);
    ::close(home);
    // The standard library cannot remove what it cannot name; rm can.
    ASSERT_EQ(std::system(("rm -rf '" + scratch.path() + "/" + step + "'").c_str()), 0);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(run.errors, "Can't read the current directory (File name too long" + refusal);
}

}  // namespace
}  // namespace ndx
