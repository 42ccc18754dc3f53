#pragma once
// Texts written into CSV and JSON files, whatever they hold.

#include <string>

namespace ndx {

// As is, or quoted with its quotes doubled when it holds a comma, a quote or
// a line break.
std::string csvField(const std::string& value);

// A JSON string literal, quotes included: quotes, backslashes and control
// characters escaped, and bytes that are not UTF-8 replaced by U+FFFD, so
// that the file stays valid JSON whatever a device printed.
std::string jsonString(const std::string& value);

}  // namespace ndx
