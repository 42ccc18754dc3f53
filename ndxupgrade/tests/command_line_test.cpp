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

}  // namespace
}  // namespace ndx
