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

}  // namespace
}  // namespace ndx
