#include "utc_time.h"

#include <cstdio>
#include <ctime>

namespace ndx {

std::string utcTimestamp(WallClock::time_point when)
{
    const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(millis / 1000);
    std::tm utc{};
    ::gmtime_r(&seconds, &utc);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>(millis % 1000));
    return text;
}

namespace {

// `count` digits at `at`, as a number; -1 when they are not all digits.
int digits(const std::string& text, std::size_t at, std::size_t count)
{
    if (at + count > text.size()) return -1;
    int value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

int daysIn(int year, int month)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

}  // namespace

bool parseUtcDate(const std::string& given, std::string& normalized)
{
    std::string text = given;
    if (!text.empty() && (text.back() == 'Z' || text.back() == 'z')) text.pop_back();
    const int year = digits(text, 0, 4), month = digits(text, 5, 2), day = digits(text, 8, 2);
    if (text.size() < 10 || text[4] != '-' || text[7] != '-' || year < 0 || month < 1 || month > 12 || day < 1 ||
        day > daysIn(year, month))
        return false;
    int hour = 0, minute = 0, second = 0;
    if (text.size() > 10) {
        if ((text[10] != 'T' && text[10] != 't' && text[10] != ' ') || (text.size() != 16 && text.size() != 19) ||
            text[13] != ':')
            return false;
        hour = digits(text, 11, 2);
        minute = digits(text, 14, 2);
        if (text.size() == 19) {
            if (text[16] != ':') return false;
            second = digits(text, 17, 2);
        }
        if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) return false;
    }
    char out[64];
    std::snprintf(out, sizeof out, "%04d-%02d-%02dT%02d:%02d:%02d", year, month, day, hour, minute, second);
    normalized = out;
    return true;
}

}  // namespace ndx
