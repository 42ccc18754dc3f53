#pragma once
// Times in the history: UTC, in one text form that sorts as it reads
// ("2026-12-08T01:45:46.123Z"), the same in every database.

#include <chrono>
#include <string>

namespace ndx {

using WallClock = std::chrono::system_clock;

std::string utcTimestamp(WallClock::time_point when);

// A date as a command line gives it, read as UTC: "2026-12-08",
// "2026-12-08 14:30", "2026-12-08T14:30:05" (a trailing Z is allowed).
// Gives "2026-12-08T14:30:05", which compares with utcTimestamp's texts;
// false for anything else, a day that the month does not have included.
bool parseUtcDate(const std::string& text, std::string& normalized);

}  // namespace ndx
