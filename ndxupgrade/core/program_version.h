#pragma once

namespace ndx {

// The front end's own version, shown in the window caption.
inline constexpr const char* kProgramVersion = "1.3.2-2";

}  // namespace ndx
