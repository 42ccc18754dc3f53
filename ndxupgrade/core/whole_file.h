#pragma once
// Writing a file in one go, for the outputs that are made whole at the end
// (a batch's report, an exported backup), with the reason when it fails.

#include <string>

namespace ndx {

// Writes the whole text; false with `error` ("PATH: reason").
bool writeWholeFile(const std::string& path, const std::string& text, std::string& error);

}  // namespace ndx
