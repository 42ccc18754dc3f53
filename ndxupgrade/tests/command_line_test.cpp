#include <gtest/gtest.h>

#include "command_line.h"

namespace ndx {
namespace {

using Args = std::vector<std::string>;

TEST(CommandLine, Modes)
{
    const struct {
        Args args;
        Action action;
    } cases[] = {
        {{}, Action::Window},
        {{"--gui"}, Action::Window},
        {{"-platform", "offscreen", "-reverse"}, Action::Window},
        {{"-platform"}, Action::UsageError},
        {{"--help"}, Action::Help},
        {{"--upgarde", "--help"}, Action::Help},
        {{"--version"}, Action::Version},
        {{"--upgrade", "--mac", "0A-3F-71-00-00-07", "--interface", "eth1"}, Action::Upgrade},
        {{"--interface", "eth1", "--query-version", "--mac", "0A3F71000007"}, Action::QueryVersion},
        {{"--diagnose", "--local", "A", "--remote", "B"}, Action::Diagnose},
        {{"--upgarde"}, Action::UsageError},
        {{"--upgrade", "--mac", "X"}, Action::UsageError},
        {{"--diagnose", "--local", "A"}, Action::UsageError},
        {{"--gui", "--upgrade", "--mac", "X", "--interface", "Y"}, Action::UsageError},
        {{"--upgrade", "--mac"}, Action::UsageError},
        {{"--diagnostic-page"}, Action::Window},
        {{"--gui", "--diagnostic-page", "-platform", "offscreen"}, Action::Window},
        {{"--query-version", "--mac", "X", "--interface", "Y", "--diagnostic-page"}, Action::UsageError},
    };
    for (const auto& c : cases) {
        std::string joined;
        for (const std::string& a : c.args) joined += a + " ";
        EXPECT_EQ(parseCommandLine(c.args).action, c.action) << joined;
    }
    const CommandLine d = parseCommandLine({"--diagnose", "--local", "A", "--remote", "B", "--pe", "52"});
    EXPECT_EQ(d.local + d.remote + d.pe, "AB52");
    EXPECT_EQ(parseCommandLine({"--diagnose", "--local", "A", "--remote", "B"}).pe, "255");
    EXPECT_TRUE(parseCommandLine({"--diagnostic-page"}).diagnosticPage);
    EXPECT_FALSE(parseCommandLine({"--gui"}).diagnosticPage);
}

TEST(CommandLine, FindAndAllFound)
{
    const CommandLine find = parseCommandLine({"--find", "--interface", "hl0"});
    EXPECT_EQ(find.action, Action::Find);
    EXPECT_EQ(find.findWindowMs, 0);
    EXPECT_FALSE(find.batch);
    EXPECT_EQ(parseCommandLine({"--find", "--interface", "hl0", "--window", "10000"}).findWindowMs, 10000);

    const CommandLine all = parseCommandLine(
        {"--upgrade", "--interface", "hl0", "--all-found", "--expect", "16", "--window", "800", "--jobs", "8"});
    EXPECT_EQ(all.action, Action::Upgrade);
    EXPECT_TRUE(all.allFound);
    EXPECT_TRUE(all.batch);
    EXPECT_EQ(all.expect, 16);
    EXPECT_EQ(all.findWindowMs, 800);
    EXPECT_EQ(all.jobs, 8);
    const CommandLine versions = parseCommandLine({"--query-version", "--all-found", "--interface", "hl0"});
    EXPECT_EQ(versions.action, Action::QueryVersion);
    EXPECT_EQ(versions.expect, 0);

    const struct {
        Args args;
        const char* error;
    } refused[] = {
        {{"--find"}, "--find needs --interface"},
        {{"--find", "--interface", "hl0", "--mac", "0A-3F-71-00-00-07"}, "--find takes only --interface and --window"},
        {{"--find", "--interface", "hl0", "--all-found"}, "--find takes only --interface and --window"},
        {{"--find", "--interface", "hl0", "--jobs", "2"}, "--find takes only --interface and --window"},
        {{"--find", "--upgrade", "--interface", "hl0"}, "--upgrade cannot be combined with another mode"},
        {{"--find", "--interface", "hl0", "--window", "0"}, "--window needs a number of milliseconds from 1 to 10000"},
        {{"--find", "--interface", "hl0", "--window", "10001"},
         "--window needs a number of milliseconds from 1 to 10000"},
        {{"--find", "--interface", "hl0", "--window", "1e3"}, "--window needs a number of milliseconds from 1 to 10000"},
        {{"--find", "--interface", "hl0", "--window", ""}, "--window needs a number of milliseconds from 1 to 10000"},
        {{"--upgrade", "--all-found"}, "--all-found needs --interface"},
        {{"--upgrade", "--all-found", "--interface", "hl0", "--mac", "0A-3F-71-00-00-07"},
         "--all-found takes no --mac or --mac-list"},
        {{"--upgrade", "--all-found", "--interface", "hl0", "--mac-list", "macs.txt"},
         "--all-found takes no --mac or --mac-list"},
        {{"--diagnose", "--local", "A", "--remote", "B", "--all-found"},
         "--all-found is for --upgrade and --query-version"},
        {{"--all-found"}, "--all-found is for --upgrade and --query-version"},
        {{"--upgrade", "--all-found", "--interface", "hl0", "--expect", "0"},
         "--expect needs a number of devices from 1 to 1024"},
        {{"--upgrade", "--all-found", "--interface", "hl0", "--expect", "-3"},
         "--expect needs a number of devices from 1 to 1024"},
        {{"--upgrade", "--interface", "hl0", "--mac", "0A-3F-71-00-00-07", "--expect", "1"}, "--expect needs --all-found"},
        {{"--upgrade", "--interface", "hl0", "--mac", "0A-3F-71-00-00-07", "--window", "900"},
         "--window is for --find and --all-found"},
        {{"--upgrade", "--interface", "hl0", "--all-found", "--batch-worker"},
         "--batch-worker runs one device of a batch; it takes no --all-found"},
    };
    for (const auto& r : refused) {
        std::string joined;
        for (const std::string& a : r.args) joined += a + " ";
        const CommandLine c = parseCommandLine(r.args);
        EXPECT_EQ(c.action, Action::UsageError) << joined;
        EXPECT_EQ(c.error, std::string("ndxupgrade: ") + r.error) << joined;
    }
}

// The PE goes into the loader's script: checked before any device is asked.
TEST(CommandLine, PeFromZeroTo255)
{
    const struct {
        const char* pe;
        bool ok;
    } cases[] = {{"0", true}, {"255", true}, {"063", true}, {"256", false}, {"-1", false},
                 {"", false}, {"1e2", false}, {"7,RESET", false}, {"1000", false}};
    for (const auto& c : cases) {
        const CommandLine l = parseCommandLine({"--diagnose", "--local", "A", "--remote", "B", "--pe", c.pe});
        EXPECT_EQ(l.action == Action::Diagnose, c.ok) << c.pe;
        if (!c.ok) {
            EXPECT_EQ(l.error, "ndxupgrade: --pe needs a number from 0 to 255") << c.pe;
        }
    }
}

// The history's lookups and options: what each mode takes, the device in
// the program's own form, dates as stored.
TEST(CommandLine, HistoryOptions)
{
    const struct {
        Args args;
        const char* error;  // nullptr: accepted
    } cases[] = {
        {{"--history"}, nullptr},
        {{"--history", "--mac", "0a:3f:71:00:00:07", "--since", "2026-12-01", "--format", "json"}, nullptr},
        {{"--export-backup", "0A3F71000007", "--at", "2026-12-01T14:30", "--out", "b.bin"}, nullptr},
        {{"--upgrade", "--mac", "0A-3F-71-00-00-07", "--interface", "eth1", "--no-backup", "--history-db",
          "postgresql://line@db:5432/h"},
         nullptr},
        {{"--history", "--mac", "0A-3F-71-00-00"}, "ndxupgrade: not a MAC address: 0A-3F-71-00-00"},
        {{"--history", "--since", "2026-02-30"},
         "ndxupgrade: not a date: 2026-02-30 (2026-12-08, 2026-12-08T14:30 or 2026-12-08T14:30:05, UTC)"},
        {{"--history", "--format", "xml"}, "ndxupgrade: --format takes table, csv or json"},
        {{"--history", "--mac", "0A-3F-71-00-00-07", "--mac", "0A-3F-71-00-00-08"},
         "ndxupgrade: --history and --export-backup take one --mac at most and no device options"},
        {{"--history", "--interface", "eth1"},
         "ndxupgrade: --history and --export-backup take one --mac at most and no device options"},
        {{"--history", "--out", "x"}, "ndxupgrade: --at and --out are for --export-backup"},
        {{"--export-backup", "0A-3F-71-00-00-07"}, "ndxupgrade: --export-backup needs --out FILE"},
        {{"--export-backup"}, "ndxupgrade: --export-backup needs a value"},
        {{"--export-backup", "0A-3F-71-00-00-07", "--out", "b", "--since", "2026-01-01"},
         "ndxupgrade: --since and --format are for --history"},
        {{"--history", "--upgrade"}, "ndxupgrade: --upgrade cannot be combined with another mode"},
        {{"--query-version", "--mac", "0A-3F-71-00-00-07", "--interface", "eth1", "--no-backup"},
         "ndxupgrade: --no-backup is for --upgrade"},
        {{"--upgrade", "--mac", "0A-3F-71-00-00-07", "--interface", "eth1", "--since", "2026-01-01"},
         "ndxupgrade: --since, --format, --at and --out are for --history and --export-backup"},
        {{"--history", "--history-db", ""}, "ndxupgrade: --history-db needs a value"},
    };
    for (const auto& c : cases) {
        std::string joined;
        for (const std::string& a : c.args) joined += a + " ";
        const CommandLine l = parseCommandLine(c.args);
        EXPECT_EQ(l.action == Action::UsageError, c.error != nullptr) << joined;
        if (c.error) {
            EXPECT_EQ(l.error, c.error) << joined;
        }
    }
    const CommandLine h = parseCommandLine({"--history", "--mac", "0a:3f:71:00:00:07", "--since", "2026-12-01 08:30"});
    EXPECT_EQ(h.action, Action::History);
    EXPECT_EQ(h.mac, "0A-3F-71-00-00-07");
    EXPECT_EQ(h.since, "2026-12-01T08:30:00");
    const CommandLine e = parseCommandLine({"--export-backup", "0A3F71000007", "--out", "b.bin"});
    EXPECT_EQ(e.action, Action::ExportBackup);
    EXPECT_EQ(e.mac + " " + e.out, "0A-3F-71-00-00-07 b.bin");
    const CommandLine u =
        parseCommandLine({"--upgrade", "--mac", "X", "--interface", "eth1", "--no-backup", "--history-db", "h.sqlite"});
    EXPECT_TRUE(u.noBackup);
    EXPECT_EQ(u.historyDb, "h.sqlite");
}

}  // namespace
}  // namespace ndx
