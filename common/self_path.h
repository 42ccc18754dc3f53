#pragma once

#include <string>

// The real path of the running program, read from /proc/self/exe (symbolic
// links resolved); empty when it cannot be read.
std::string self_path();

// The directory part of a path ("" for a bare name, "/" for the root).
std::string directory_of(const std::string& path);
