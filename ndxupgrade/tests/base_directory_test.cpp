#include <gtest/gtest.h>

#include <set>

#include "core/base_directory.h"

namespace ndx {
namespace {

TEST(BaseDirectory, Decision)
{
    const std::set<std::string> kits = {"/opt/ndx470", "/home/tech/kit"};
    const struct {
        std::optional<std::string> current;
        std::string executable;
        BaseSource source;
        std::string directory;
    } cases[] = {
        {"/home/tech/kit", "/opt/ndx470", BaseSource::CurrentDirectory, "/home/tech/kit"},
        {"/home/tech", "/opt/ndx470", BaseSource::ExecutableDirectory, "/opt/ndx470"},
        {"/home/tech", "/usr/bin", BaseSource::CurrentWithoutKit, "/home/tech"},
        {"/home/tech", "", BaseSource::CurrentWithoutKit, "/home/tech"},
        {std::nullopt, "/opt/ndx470", BaseSource::Unreadable, ""},
        {"", "/opt/ndx470", BaseSource::Unreadable, ""},
    };
    for (const auto& c : cases) {
        BaseCandidates candidates{c.current, "gone", c.executable,
                                  [&](const std::string& d) { return kits.count(d) > 0; }};
        const BaseDecision d = decideBaseDirectory(candidates);
        EXPECT_EQ(d.source, c.source) << c.current.value_or("(unreadable)");
        EXPECT_EQ(d.directory, c.directory);
    }
}

}  // namespace
}  // namespace ndx
