#pragma once

#include <string>

namespace ndx {

// Payload-encoding number as PEEdit shows it, e.g. "52 (40Mpbs)".
std::string peDisplayText(int pe);

}  // namespace ndx
