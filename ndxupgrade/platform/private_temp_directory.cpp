#include "private_temp_directory.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

namespace ndx {

PrivateTempDirectory::PrivateTempDirectory()
{
    const char* previous = std::getenv("TMPDIR");
    hadPrevious_ = previous != nullptr;
    if (previous) previous_ = previous;
    const std::string parent = previous && previous[0] == '/' ? previous : "/tmp";
    std::string pattern = parent + "/ndxupgrade.XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!::mkdtemp(name.data())) return;
    path_ = name.data();
    ::setenv("TMPDIR", path_.c_str(), 1);
}

PrivateTempDirectory::~PrivateTempDirectory()
{
    if (path_.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
    if (hadPrevious_)
        ::setenv("TMPDIR", previous_.c_str(), 1);
    else
        ::unsetenv("TMPDIR");
}

}  // namespace ndx
